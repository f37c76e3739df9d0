#include "render/yuv_picture.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace cqhost {
namespace {

// BT.601 luma weights, and the limited range's spans (219 steps of luma, 224 of chroma).
constexpr double kRed = 0.299, kGreen = 0.587, kBlue = 0.114;
constexpr double kLumaSpan = 219.0 / 255.0, kChromaSpan = 224.0 / 255.0;

// Weights in fixed point: luma of one pixel with 16 fraction bits; chroma of the sum of a
// block's four pixels with 18 (16, and 2 for the division by four).
constexpr int kLumaShift = 16, kChromaShift = 18;
constexpr int fixedPoint(double weight, int shift) {
    return static_cast<int>(weight * (1 << shift) + (weight < 0 ? -0.5 : 0.5));
}
constexpr int kYR = fixedPoint(kRed * kLumaSpan, kLumaShift);
constexpr int kYG = fixedPoint(kGreen * kLumaSpan, kLumaShift);
constexpr int kYB = fixedPoint(kBlue * kLumaSpan, kLumaShift);
// Cb = (B - Y) / (2 (1 - kBlue)), Cr = (R - Y) / (2 (1 - kRed)), each scaled to its span.
constexpr double kCb = kChromaSpan / (2.0 * (1.0 - kBlue));
constexpr double kCr = kChromaSpan / (2.0 * (1.0 - kRed));
constexpr int kUR = fixedPoint(-kRed * kCb, kLumaShift);
constexpr int kUG = fixedPoint(-kGreen * kCb, kLumaShift);
constexpr int kUB = fixedPoint((1.0 - kBlue) * kCb, kLumaShift);
constexpr int kVR = fixedPoint((1.0 - kRed) * kCr, kLumaShift);
constexpr int kVG = fixedPoint(-kGreen * kCr, kLumaShift);
constexpr int kVB = fixedPoint(-kBlue * kCr, kLumaShift);
constexpr int kLumaBase = (16 << kLumaShift) + (1 << (kLumaShift - 1));
constexpr int kChromaBase = (128 << kChromaShift) + (1 << (kChromaShift - 1));

inline int red(std::uint32_t p) {
    return static_cast<int>((p >> 16) & 0xFFu);
}
inline int green(std::uint32_t p) {
    return static_cast<int>((p >> 8) & 0xFFu);
}
inline int blue(std::uint32_t p) {
    return static_cast<int>(p & 0xFFu);
}

inline std::uint8_t lumaOf(std::uint32_t p) {
    return static_cast<std::uint8_t>((kYR * red(p) + kYG * green(p) + kYB * blue(p) + kLumaBase) >>
                                     kLumaShift);
}

// Along a row the display's colours come in runs, so each pixel first asks whether it has
// the colour of the one before.
void lumaRow(const std::uint32_t* row, int width, std::uint8_t* out) {
    std::uint32_t last = row[0];
    std::uint8_t value = lumaOf(last);
    for (int x = 0; x < width; ++x) {
        if (row[x] != last) {
            last = row[x];
            value = lumaOf(last);
        }
        out[x] = value;
    }
}

// The chroma of the blocks of two rows (the same row twice for an odd last row).
void chromaRow(const std::uint32_t* top, const std::uint32_t* bottom, int width, std::uint8_t* u,
               std::uint8_t* v) {
    const int chromaWidth = (width + 1) / 2;
    // The colour of the block before when it was of one colour; never a pixel's value.
    constexpr std::uint32_t kNoColour = 0xFF000000u;
    std::uint32_t lastFlat = kNoColour;
    for (int c = 0; c < chromaWidth; ++c) {
        const int left = 2 * c;
        const int right = std::min(left + 1, width - 1);
        const std::uint32_t a = top[left], b = top[right], d = bottom[left], e = bottom[right];
        // A block of one colour, the colour of the block before: its chroma again.
        if (c > 0 && a == b && a == d && a == e && a == lastFlat) {
            u[c] = u[c - 1];
            v[c] = v[c - 1];
            continue;
        }
        lastFlat = a == b && a == d && a == e ? a : kNoColour;
        const int r = red(a) + red(b) + red(d) + red(e);
        const int g = green(a) + green(b) + green(d) + green(e);
        const int bl = blue(a) + blue(b) + blue(d) + blue(e);
        u[c] =
            static_cast<std::uint8_t>((kUR * r + kUG * g + kUB * bl + kChromaBase) >> kChromaShift);
        v[c] =
            static_cast<std::uint8_t>((kVR * r + kVG * g + kVB * bl + kChromaBase) >> kChromaShift);
    }
}

}  // namespace

void convertToYuv420(const std::uint32_t* pixels, int width, int height, const YuvPlanes& planes) {
    const int chromaWidth = (width + 1) / 2;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof *pixels;
    // The display's rows mostly repeat the row above (its bars and grid are vertical lines),
    // so a row equal to the one before takes that row's luma, and a pair of rows equal to the
    // pair before takes its chroma: a comparison instead of the arithmetic.
    const std::uint32_t* lastRow = nullptr;
    const std::uint8_t* lastLuma = nullptr;
    auto luma = [&](const std::uint32_t* row, std::uint8_t* out) {
        if (lastRow != nullptr && std::memcmp(row, lastRow, rowBytes) == 0) {
            std::memcpy(out, lastLuma, static_cast<std::size_t>(width));
        } else {
            lumaRow(row, width, out);
        }
        lastRow = row;
        lastLuma = out;
    };
    const std::uint32_t* lastTop = nullptr;
    const std::uint32_t* lastBottom = nullptr;
    for (int y = 0; y < height; y += 2) {
        const std::uint32_t* top = pixels + static_cast<std::size_t>(y) * width;
        const std::uint32_t* bottom = y + 1 < height ? top + width : top;
        luma(top, planes.y + static_cast<std::size_t>(y) * planes.yStride);
        if (y + 1 < height)
            luma(bottom, planes.y + static_cast<std::size_t>(y + 1) * planes.yStride);
        std::uint8_t* u = planes.u + static_cast<std::size_t>(y / 2) * planes.uStride;
        std::uint8_t* v = planes.v + static_cast<std::size_t>(y / 2) * planes.vStride;
        if (lastTop != nullptr && std::memcmp(top, lastTop, rowBytes) == 0 &&
            std::memcmp(bottom, lastBottom, rowBytes) == 0) {
            std::memcpy(u, u - planes.uStride, static_cast<std::size_t>(chromaWidth));
            std::memcpy(v, v - planes.vStride, static_cast<std::size_t>(chromaWidth));
        } else {
            chromaRow(top, bottom, width, u, v);
        }
        lastTop = top;
        lastBottom = bottom;
    }
}

}  // namespace cqhost
