#include "display/spectrum_view.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Notes whose stripes are drawn: MIDI 12 to 107 (those below 24 fall left of the view).
constexpr int kFirstStripeNote = 12;
constexpr int kLastStripeNote = 107;

constexpr int kLabelCount = 96;

// Draws one Hold image (frame and "Hold") with the pen and text colour.
void renderHoldImage(const DisplayResources& resources, HBITMAP image, HGDIOBJ pen,
                     COLORREF textColor) {
    HDC dc = resources.holdDc;
    SelectObject(dc, image);
    // The image keeps its interior as created except for the text cell: start it black.
    PatBlt(dc, 0, 0, display::kHoldWidth, display::kHoldHeight, BLACKNESS);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SelectObject(dc, pen);
    // A one-pixel frame along the edges; the null brush leaves the interior.
    Rectangle(dc, 0, 0, display::kHoldWidth, display::kHoldHeight);
    SelectObject(dc, resources.holdFont);
    SetTextColor(dc, textColor);
    SetBkColor(dc, 0);
    TextOutA(dc, display::kHoldTextX, display::kHoldTextY, "Hold", 4);
}

}  // namespace

const std::array<const char*, 96> NoteLabelTable = [] {
    static const char* const octaveNames[8] = {"C1", "C2", "C3", "C4", "C5", "C6", "C7", "C8"};
    static const char* const semitoneNames[12] = {"", "",  "D", "",  "E", "F",
                                                  "", "G", "",  "A", "",  "B"};
    std::array<const char*, 96> table{};
    for (int octave = 0; octave < 8; ++octave) {
        for (int semitone = 0; semitone < 12; ++semitone) {
            table[12 * octave + semitone] =
                semitone == 0 ? octaveNames[octave] : semitoneNames[semitone];
        }
    }
    return table;
}();

std::optional<int> barTopRow(double magnitude) noexcept {
    // Zero, negative and NaN magnitudes have no finite logarithm: no bar.
    if (!(magnitude > 0.0)) return std::nullopt;
    const double v = std::log(magnitude) * display::kPixelsPerLogUnit;
    // Converting a value outside the 32-bit range (or an infinity) is undefined; no bar then.
    if (!std::isfinite(v) || v >= 2147483648.0 || v <= -2147483649.0) return std::nullopt;
    const auto truncated = static_cast<std::int32_t>(v);  // toward zero
    const std::int64_t row = std::int64_t{display::kUnitMagnitudeRow} - truncated;
    if (row > display::kBarBaseRow) return std::nullopt;
    // Everything above the top edge is clipped alike; keep coordinates small.
    return static_cast<int>(row < -1 ? -1 : row);
}

bool sameBar(double low, double high) noexcept {
    return barTopRow(low) == barTopRow(high);
}

void clearBackBuffer(const DisplayResources& resources) {
    PatBlt(resources.backDc, 0, 0, display::kWidth, display::kHeight, BLACKNESS);
}

void drawSpectrumBars(const DisplayResources& resources, const DisplaySource& source) {
    HDC dc = resources.backDc;
    SetROP2(dc, R2_COPYPEN);
    SelectObject(dc, resources.greenPen);
    for (int octave = 0; octave < cqscope::kOctaves; ++octave) {
        for (int bin = 0; bin < cqscope::kBinsPerOctave; ++bin) {
            const std::optional<int> top = barTopRow(source.magnitude(octave, bin));
            if (!top) continue;
            const int column = cqscope::kBinsPerOctave * octave + bin;
            MoveToEx(dc, column, display::kBarBaseRow, nullptr);
            LineTo(dc, column, *top);
        }
    }
}

void drawNoteStripes(const DisplayResources& resources, const DisplaySource& source) {
    HDC dc = resources.backDc;
    SetROP2(dc, R2_MERGEPEN);
    SelectObject(dc, GetStockObject(NULL_PEN));
    SelectObject(dc, resources.noteBrush);
    for (int note = kFirstStripeNote; note <= kLastStripeNote; ++note) {
        if (source.noteState(note) != 1) continue;
        // With the null pen only the fill is drawn, which stops one short of the right and
        // bottom edges.
        const int left = noteStripeLeft(note);
        Rectangle(dc, left, 0, left + display::kStripeWidth + 1, display::kStripeEndRow + 1);
    }
}

void drawGridAndLabels(const DisplayResources& resources) {
    HDC dc = resources.backDc;
    SetROP2(dc, R2_COPYPEN);
    for (int index = 0; index < kLabelCount; ++index) {
        const char* label = NoteLabelTable[index];
        if (label[0] == '\0') continue;
        const bool isC = index % 12 == 0;
        SetTextColor(dc, isC ? display::kWhite : display::kGrey);
        SelectObject(dc, isC ? resources.whitePen : resources.greyPen);
        const int column = display::kColumnsPerSemitone * index;
        TextOutA(dc, column, display::kLabelRow, label, static_cast<int>(std::strlen(label)));
        MoveToEx(dc, column, 0, nullptr);
        LineTo(dc, column, display::kGridEndRow);
    }
    SelectObject(resources.holdDc,
                 resources.holdActive ? resources.holdImageActive : resources.holdImageIdle);
    BitBlt(dc, display::kHoldX, display::kHoldY, display::kHoldWidth, display::kHoldHeight,
           resources.holdDc, 0, 0, SRCCOPY);
}

void drawHoldImages(const DisplayResources& resources) {
    renderHoldImage(resources, resources.holdImageActive, GetStockObject(WHITE_PEN),
                    display::kWhite);
    renderHoldImage(resources, resources.holdImageIdle, resources.greyPen, display::kGrey);
}
