// Writes a picture read back from the platform library (rows of 0x00RRGGBB, top row first)
// as an 8-bit RGB PNG file. Used to keep a picture of the display for the documentation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Returns false (and writes no complete file) when the file cannot be written.
bool writePng(const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
              int height);
