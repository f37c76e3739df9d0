// The display's geometry and colours: where the spectrum view draws what in its picture,
// stated once for the editor, cqscope-host (render, validate), the Windows capture and the
// tests. Columns and rows are pixels of the picture, counted from its top-left corner; a
// range given as first and end excludes its end. Depends on nothing, so that any program may
// include it.
#pragma once

#include <cstdint>

namespace display {

// The picture, and the editor's rectangle: one column per constant-Q bin.
constexpr int kWidth = 960;
constexpr int kHeight = 512;

// Bars rise from kBarBaseRow by kPixelsPerLogUnit rows per natural-log unit of magnitude; a
// magnitude of 1 would reach kUnitMagnitudeRow, above the top edge, so every magnitude from
// e^-2 up fills its column.
constexpr int kBarBaseRow = 500;
constexpr double kPixelsPerLogUnit = 50.0;
constexpr int kUnitMagnitudeRow = -100;

// Note stripes cover rows 0 up to the bar base (kStripeEndRow excluded), kStripeWidth
// columns each, the stripe of MIDI note n starting at column kColumnsPerSemitone x n -
// kStripeOffset.
constexpr int kStripeEndRow = kBarBaseRow;
constexpr int kStripeWidth = 8;
constexpr int kStripeOffset = 244;

// Grid lines stand every kColumnsPerSemitone columns at the white keys, rows 0 up to the bar
// base; labels are written from kLabelRow down, in the band below the bars.
constexpr int kColumnsPerSemitone = 10;
constexpr int kGridEndRow = kBarBaseRow;
constexpr int kLabelRow = kBarBaseRow + 1;

// The Hold image at the top right, which is also the Hold button; "Hold" is written at
// (kHoldTextX, kHoldTextY) inside it, and a click at (kHoldClickX, kHoldClickY) presses it.
constexpr int kHoldWidth = 50;
constexpr int kHoldHeight = 24;
constexpr int kHoldX = kWidth - kHoldWidth;
constexpr int kHoldY = 0;
constexpr int kHoldTextX = 6;
constexpr int kHoldTextY = 4;
constexpr int kHoldClickX = kHoldX + kHoldWidth / 2;
constexpr int kHoldClickY = kHoldY + kHoldHeight / 2;

// While the pointer is over the display: a cursor line in its column (rows from the top, or
// from below the Hold image in the Hold image's columns, down to the bar base) with a label
// kReadoutGap columns beside it, and peak labels kReadoutGap rows above their bars; every
// label stays within rows 0 to the bar base and off the Hold image.
constexpr int kReadoutGap = 2;
constexpr int kMaxPeakLabels = 3;

// Colours as GDI takes them (COLORREF: 0x00BBGGRR).
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kGrey = 0x808080;
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kNoteBlue = 0xFF5000;      // red 0, green 80, blue 255
constexpr std::uint32_t kCursorYellow = 0x00FFFF;  // the cursor line and its label

// A colour as the pictures read back hold it (0x00RRGGBB).
constexpr std::uint32_t pixelOf(std::uint32_t colour) {
    return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

}  // namespace display
