#include "display/pointer_readout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis/peaks.h"
#include "display/spectrum_view.h"

namespace {

// The Hold image, which no label may cover.
constexpr RECT kHoldArea{display::kHoldX, display::kHoldY, display::kHoldX + display::kHoldWidth,
                         display::kHoldY + display::kHoldHeight};
// Labels stand in the bars' area: rows 0 up to the bar base row (the grid labels are below).
constexpr int kLabelAreaBottom = display::kBarBaseRow;

bool overlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// A text cell of `length` characters with its top-left corner at (left, top), moved inside
// the label area.
RECT cellAt(int left, int top, int length, TextCell cell) {
    const int width = length * cell.width;
    left = std::clamp(left, 0, std::max(0, display::kWidth - width));
    top = std::clamp(top, 0, std::max(0, kLabelAreaBottom - cell.height));
    return RECT{left, top, left + width, top + cell.height};
}

class Placer {
  public:
    explicit Placer(PointerReadout& readout) : readout_(readout) {}

    bool isFree(const RECT& box) const {
        if (overlap(box, kHoldArea)) return false;
        for (int i = 0; i < readout_.labelCount; ++i) {
            if (overlap(box, readout_.labels[i].box)) return false;
        }
        return true;
    }

    // Places the text at the first free place from `box` going up and down by whole cells
    // alternately; leaves it out when there is none.
    void place(RECT box, const char* text, int length, COLORREF colour) {
        const int step = box.bottom - box.top + 1;
        const int lastTop = kLabelAreaBottom - (box.bottom - box.top);
        for (int k = 0;; ++k) {
            const int up = box.top - k * step, down = box.top + k * step;
            if (up < 0 && down > lastTop) return;
            const int candidates[2] = {up, down};
            for (int c = 0; c < (k == 0 ? 1 : 2); ++c) {
                const int top = candidates[c];
                if (top < 0 || top > lastTop) continue;
                const RECT candidate{box.left, top, box.right, top + (box.bottom - box.top)};
                if (!isFree(candidate)) continue;
                ReadoutLabel& label = readout_.labels[readout_.labelCount++];
                label.box = candidate;
                label.length = std::min<int>(length, label.text.size() - 1);
                std::copy_n(text, label.length, label.text.begin());
                label.text[label.length] = '\0';
                label.colour = colour;
                return;
            }
        }
    }

  private:
    PointerReadout& readout_;
};

// The column nearest to a frequency in Hz (the bin layout: ten columns per semitone from C1).
int columnOf(double frequency) {
    const double c1 = cqscope::binFrequency(0, 0);
    const long column = std::lround(cqscope::kBinsPerOctave * std::log2(frequency / c1));
    return static_cast<int>(std::clamp<long>(column, 0, cqscope::kBinCount - 1));
}

}  // namespace

double sineLevelDb(double magnitude) noexcept {
    return 20.0 * std::log10(magnitude / kFullScaleMagnitude);
}

PointerReadout layoutPointerReadout(const cqscope::Magnitudes& magnitudes, bool barsShown,
                                    int column, int row, TextCell cell) {
    PointerReadout readout;
    column = std::clamp(column, 0, display::kWidth - 1);
    readout.column = column;
    const bool underHold = column >= kHoldArea.left && column < kHoldArea.right;
    readout.lineTop = underHold ? static_cast<int>(kHoldArea.bottom) : 0;
    Placer placer(readout);

    // The cursor's label: beside the line, its bottom just above the pointer, on the left of
    // the line where the right has no room; below the Hold image where it would cover it.
    const int octave = column / cqscope::kBinsPerOctave, bin = column % cqscope::kBinsPerOctave;
    const double magnitude = magnitudes[octave][bin];
    const cqscope::Peak here = cqscope::peakAt(cqscope::binFrequency(octave, bin), magnitude);
    char level[24];
    if (!barsShown) {
        std::snprintf(level, sizeof level, "silent");
    } else {
        std::snprintf(level, sizeof level, "%.1f dB", sineLevelDb(magnitude));
    }
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%.1f Hz, %s %+d cents, %s", here.frequency,
                                     cqscope::noteName(here.note).c_str(), here.cents, level);
    const int width = length * cell.width;
    int left = column + 1 + display::kReadoutGap;
    if (left + width > display::kWidth) left = column - display::kReadoutGap - width;
    RECT box = cellAt(left, row - display::kReadoutGap - cell.height, length, cell);
    if (overlap(box, kHoldArea)) box = cellAt(box.left, kHoldArea.bottom, length, cell);
    placer.place(box, text, length, display::kCursorYellow);

    if (!barsShown) return readout;
    // The strongest peaks, each centred over its bar with its bottom kReadoutGap rows above
    // the bar's top.
    for (const cqscope::Peak& peak : cqscope::findPeaks(magnitudes, display::kMaxPeakLabels)) {
        const int peakLength = std::snprintf(text, sizeof text, "%s %+d cents",
                                             cqscope::noteName(peak.note).c_str(), peak.cents);
        const int barTop = barTopRow(peak.magnitude).value_or(display::kBarBaseRow);
        const int peakColumn = columnOf(peak.frequency);
        const RECT peakBox =
            cellAt(peakColumn - peakLength * cell.width / 2,
                   barTop + 1 - display::kReadoutGap - cell.height, peakLength, cell);
        placer.place(peakBox, text, peakLength, display::kWhite);
    }
    return readout;
}

void drawPointerReadout(const DisplayResources& resources, const PointerReadout& readout) {
    if (readout.column < 0) return;
    HDC dc = resources.backDc;
    SetROP2(dc, R2_COPYPEN);
    SelectObject(dc, resources.cursorPen);
    MoveToEx(dc, readout.column, readout.lineTop, nullptr);
    LineTo(dc, readout.column, display::kGridEndRow);
    for (int i = 0; i < readout.labelCount; ++i) {
        const ReadoutLabel& label = readout.labels[i];
        SetTextColor(dc, label.colour);
        TextOutA(dc, label.box.left, label.box.top, label.text.data(), label.length);
    }
}
