// PNG output through libpng. Pictures of a display are flat colours: a handful of distinct
// values, long runs, and rows that mostly repeat the row above. So a picture of at most 256
// colours is written as a palette image of the smallest bit depth that holds them, every row
// filtered against the row above, and compressed with run-length matching; one with more
// colours is written as 8-bit RGB with the same filter and compression. No time stamp or other
// varying chunk, so the same pixels always give the same bytes. Safe to call from any thread:
// nothing is shared between calls.
#pragma once

#include <cstdint>
#include <string>

namespace cqhost {

// The PNG file for rows of 0x00RRGGBB pixels, top row first. Throws HostError when libpng
// fails.
std::string encodePng(const std::uint32_t* pixels, int width, int height);

// Writes `bytes` to `path` as an AtomicOutputFile, published with the run's other outputs.
// A file in a StagedFolder (`inStagedFolder`) is written straight to its place there, neither
// flushed on its own nor held back: the folder is flushed and published whole. Throws
// HostError when the file cannot be written.
void writeFileAtomically(const std::string& path, const std::string& bytes,
                         bool inStagedFolder = false);

// encodePng and writeFileAtomically in one.
void writePng(const std::string& path, const std::uint32_t* pixels, int width, int height);

}  // namespace cqhost
