// PNG output through libpng: 8-bit RGB, no time stamp or other varying chunk, so the same
// pixels always give the same bytes. Main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace cqhost {

// Writes rows of 0x00RRGGBB pixels, top row first, to `path` atomically (a temporary in the
// same folder, renamed when complete). Throws HostError when the file cannot be written.
void writePng(const std::string& path, const std::uint32_t* pixels, int width, int height);

}  // namespace cqhost
