// The pointer readout: what the display adds to its picture while the pointer rests over it. A
// thin cursor line in the pointer's column, labelled with the column's frequency, its nearest
// equal-tempered note with cents and the level of the sine that would read the column's
// magnitude (dB, a full-scale sine is 0 dB); and the strongest peaks (up to three, the
// host's peak finder) labelled with note and cents just above their bars. Labels never overlap
// each other or the Hold image and stay inside the picture (where each stands:
// display_geometry.h). Every coordinate is a pixel of the picture at its own size.
//
// Thread: user-interface thread, from the display window's message handling (layout is a pure
// function of its arguments; it allocates only in the peak finder).
#pragma once

#include <array>

#include "analysis/bin_layout.h"
#include "display/display_resources.h"

// What a full-scale sine (amplitude 1) reads in its bin: the Hann window halves the
// correlation of each of cosine and sine again, so an amplitude A reads A / 4.
inline constexpr double kFullScaleMagnitude = 0.25;

struct ReadoutLabel {
    RECT box{0, 0, 0, 0};  // where its text cell stands (right and bottom excluded)
    std::array<char, 48> text{};
    int length = 0;
    COLORREF colour = 0;
};

struct PointerReadout {
    int column = -1;  // the cursor line's column; -1 when the pointer is not over the display
    int lineTop = 0;  // the cursor line's first row (it ends above the bar base row)
    int labelCount = 0;
    std::array<ReadoutLabel, 1 + display::kMaxPeakLabels> labels{};  // the cursor's first
};

// The size of one character cell of the label font (a fixed-pitch font), in pixels.
struct TextCell {
    int width = 6;
    int height = 9;
};

// The level in dB of the sine that reads `magnitude` (0 dB at kFullScaleMagnitude); minus
// infinity for zero, NaN for a negative or NaN magnitude.
double sineLevelDb(double magnitude) noexcept;

// Lays the readout out for a pointer at (column, row) over a picture that draws `magnitudes`
// (with bars when `barsShown`; without, the level reads "silent" and no peak is labelled).
// A label that finds no free place is left out.
PointerReadout layoutPointerReadout(const cqscope::Magnitudes& magnitudes, bool barsShown,
                                    int column, int row, TextCell cell);

// Draws the readout over the back buffer (after the grid, labels and Hold image); draws
// nothing without a column. Uses the label font and the opaque black text background that
// the back buffer holds.
void drawPointerReadout(const DisplayResources& resources, const PointerReadout& readout);
