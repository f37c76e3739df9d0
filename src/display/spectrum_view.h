// The spectrum view: the routines that paint the back buffer of a display and the grid's
// label table. One column per constant-Q bin (C1 at column 0), green bars on a natural-log
// scale rising from the bar base row, blue stripes merged over held notes, a piano-keyboard
// grid with labels below the bars, and the Hold image at the top right (where each stands:
// display_geometry.h).
//
// Thread: user-interface thread, from the display window's message handling. The routines
// allocate nothing and need the objects that the display's open created.
#pragma once

#include <array>
#include <optional>

#include "core/display_source.h"
#include "display/display_resources.h"

// The 96 grid labels, one per semitone from C1 to B8 (index 12 x octave + semitone); the
// black keys have empty labels.
extern const std::array<const char*, 96> NoteLabelTable;

// The row that a bar of this magnitude reaches (the line covers the rows below it down to
// the bar base row), or nothing when no bar is drawn: zero, negative, NaN, infinite or too small.
// Rows above the top edge are reported as -1, which draws the same full column.
std::optional<int> barTopRow(double magnitude) noexcept;
// Whether every magnitude from `low` to `high` gets the same bar (or none): barTopRow is
// monotonic, so its two ends decide.
bool sameBar(double low, double high) noexcept;

// The left column of a held note's stripe (may lie left of column 0).
constexpr int noteStripeLeft(int note) {
    return display::kColumnsPerSemitone * note - display::kStripeOffset;
}

void clearBackBuffer(const DisplayResources& resources);
void drawSpectrumBars(const DisplayResources& resources, const DisplaySource& source);
void drawNoteStripes(const DisplayResources& resources, const DisplaySource& source);
void drawGridAndLabels(const DisplayResources& resources);
// Draws both Hold images, the white one for a held display and the grey one, into their
// bitmaps once they are made; the idle image stays selected in the hold DC.
void drawHoldImages(const DisplayResources& resources);
