// The display's pictures as H.264 takes them: 4:2:0 YCbCr, BT.601 limited range (what the
// video is tagged as), the colour of each 2 x 2 block from the block's mean. Written for the
// render's pictures (a few flat colours, every other frame new): one pass, integer only, a
// few times faster than the general converter of FFmpeg's libswscale. Any thread.
#pragma once

#include <cstdint>

namespace cqhost {

struct YuvPlanes {
    std::uint8_t* y;
    std::uint8_t* u;
    std::uint8_t* v;
    int yStride, uStride, vStride;  // bytes from one row to the next
};

// Converts width x height pixels 0x00RRGGBB (top row first, `width` to a row) into `planes`,
// whose chroma planes hold (width + 1) / 2 x (height + 1) / 2 samples. An odd last column or
// row counts twice in its blocks.
void convertToYuv420(const std::uint32_t* pixels, int width, int height, const YuvPlanes& planes);

}  // namespace cqhost
