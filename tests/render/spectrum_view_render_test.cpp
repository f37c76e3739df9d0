// What the display shows, pixel by pixel: bar rows for chosen magnitudes, note stripes and
// their colours, the grid and its labels, and both Hold images.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "display/spectrum_view.h"
#include "editor_test_support.h"

using namespace editortest;

namespace {

// Columns that no grid line, stripe or Hold image touches in these tests.
constexpr int kFreeColumns[] = {5, 15, 25, 35, 45, 55, 65, 75, 85, 95, 105, 115};

// The first row of column x (from the top) that is green down to the bar base without a gap,
// or the row below the base when the base is not green.
int barTop(const Picture& picture, int x) {
    int y = display::kBarBaseRow;
    while (y >= 0 && picture.at(x, y) == kGreen) --y;
    return y + 1;
}

bool columnBlack(const Picture& picture, int x, int fromRow, int toRow) {
    for (int y = fromRow; y <= toRow; ++y) {
        if (picture.at(x, y) != kBlack) return false;
    }
    return true;
}

}  // namespace

TEST(SpectrumBars, MagnitudesMapToRowsOnTheNaturalLogScale) {
    OpenEditor editor;
    struct Case {
        double magnitude;
        int firstGreenRow;  // the label row: no bar at all
    };
    const Case cases[] = {
        {1.0, 0},  // full column
        {2.0, 0},  // above 1 still stops at the top edge
        {std::numeric_limits<double>::max(), 0},
        {std::exp(-2.0), 1},             // y = 0: the end point is not drawn
        {0.5, 0},                        // y = -66
        {0.1, 16},                       // y = 15
        {0.01, 131},                     // y = 130
        {1e-5, 476},                     // y = 475
        {6.2e-6, display::kBarBaseRow},  // y = 499: the single pixel at the base
        {6.1e-6, display::kLabelRow},    // y = 500: nothing
        {0.0, display::kLabelRow},
    };
    static_assert(std::size(cases) <= std::size(kFreeColumns));
    for (size_t i = 0; i < std::size(cases); ++i) {
        editor.source.setColumn(kFreeColumns[i], cases[i].magnitude);
    }
    editor.source.span = 1.0f;
    const Picture picture = editor.refresh();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int x = kFreeColumns[i];
        SCOPED_TRACE(::testing::Message()
                     << "magnitude " << cases[i].magnitude << ", column " << x);
        EXPECT_EQ(barTop(picture, x), cases[i].firstGreenRow);
        if (cases[i].firstGreenRow > 0) {
            EXPECT_TRUE(columnBlack(picture, x, 0, cases[i].firstGreenRow - 1));
        }
        EXPECT_NE(picture.at(x, display::kLabelRow), kGreen) << "bars never reach the label band";
    }
}

TEST(SpectrumBars, ValuesWithoutAFiniteLogarithmDrawNothing) {
    OpenEditor editor;
    const double inf = std::numeric_limits<double>::infinity();
    const double cases[] = {std::numeric_limits<double>::quiet_NaN(),
                            -std::numeric_limits<double>::quiet_NaN(),
                            inf,
                            -inf,
                            -1.0,
                            std::numeric_limits<double>::denorm_min(),
                            -0.0};
    for (size_t i = 0; i < std::size(cases); ++i)
        editor.source.setColumn(kFreeColumns[i], cases[i]);
    editor.source.span = 1.0f;
    const Picture picture = editor.refresh();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(::testing::Message() << "magnitude " << cases[i]);
        EXPECT_TRUE(columnBlack(picture, kFreeColumns[i], 0, 511));
    }
}

TEST(SpectrumBars, EveryBinHasItsOwnColumnAcrossAllOctaves) {
    OpenEditor editor;
    // One bar per octave, at a different height each, away from grid columns.
    for (int octave = 0; octave < 8; ++octave)
        editor.source.magnitudes[octave][3] = 0.1 * std::pow(0.5, octave);
    editor.source.span = 1.0f;
    const Picture picture = editor.refresh();
    int previousTop = -1;
    for (int octave = 0; octave < 8; ++octave) {
        const int x = 120 * octave + 3;
        const int top = barTop(picture, x);
        EXPECT_GT(top, previousTop) << "octave " << octave;
        previousTop = top;
        EXPECT_TRUE(columnBlack(picture, x - 1, 24, display::kBarBaseRow)) << "octave " << octave;
        EXPECT_TRUE(columnBlack(picture, x + 1, 24, display::kBarBaseRow)) << "octave " << octave;
    }
}

TEST(NoteStripes, HeldNotesCoverTheirEightColumns) {
    OpenEditor editor;
    editor.source.notes[23] = 1;   // wholly left of column 0
    editor.source.notes[24] = 1;   // columns -4 to 3: only 0 to 3 show
    editor.source.notes[60] = 1;   // columns 356 to 363, centred on C4 at 360
    editor.source.notes[107] = 1;  // columns 826 to 833, the last stripe drawn
    editor.source.notes[108] = 1;  // never drawn
    editor.source.notes[70] = 2;   // only the value 1 counts as held
    const Picture picture = editor.refresh();

    auto isStripe = [&](int x, int y) { return picture.at(x, y) == kNoteBlue; };
    for (int y : {0, 250, 499}) {
        for (int x = 1; x <= 3; ++x) EXPECT_TRUE(isStripe(x, y)) << x << "," << y;
        EXPECT_EQ(picture.at(4, y), kBlack);
        for (int x = 356; x <= 363; ++x) {
            if (x != 360) {
                EXPECT_TRUE(isStripe(x, y)) << x << "," << y;
            }
        }
        EXPECT_EQ(picture.at(355, y), kBlack);
        EXPECT_EQ(picture.at(364, y), kBlack);
        for (int x = 826; x <= 833; ++x) {
            if (x != 830) {
                EXPECT_TRUE(isStripe(x, y)) << x << "," << y;
            }
        }
        for (int x = 836; x <= 843; ++x) EXPECT_NE(picture.at(x, y), kNoteBlue) << "note 108";
        for (int x = 456; x <= 463; ++x) EXPECT_NE(picture.at(x, y), kNoteBlue) << "byte 2";
    }
    // Stripes stop above the bar base; the grid lines stay on top of them.
    EXPECT_EQ(picture.at(357, display::kStripeEndRow), kBlack);
    EXPECT_EQ(picture.at(360, 250), kWhite);
    EXPECT_EQ(picture.at(0, 250), kWhite);
}

TEST(NoteStripes, MergeOverBarsAndKeepRowFiveHundredGreen) {
    OpenEditor editor;
    editor.source.notes[60] = 1;
    editor.source.setColumn(358, 1.0);  // full bar inside the stripe
    editor.source.setColumn(366, 1.0);  // full bar outside it
    editor.source.span = 1.0f;
    const Picture picture = editor.refresh();
    EXPECT_EQ(picture.at(358, 0), kStripeOverBar);
    EXPECT_EQ(picture.at(358, 499), kStripeOverBar);
    EXPECT_EQ(picture.at(358, display::kBarBaseRow), kGreen);
    EXPECT_EQ(picture.at(357, 100), kNoteBlue);
    EXPECT_EQ(picture.at(366, 100), kGreen);
}

TEST(Grid, LinesStandAtTheWhiteKeysOnly) {
    OpenEditor editor;
    const Picture picture = editor.refresh();
    std::set<int> white;
    std::set<int> grey;
    for (int x = 0; x < display::kWidth; ++x) {
        const DWORD pixel = picture.at(x, 250);
        if (pixel == kWhite)
            white.insert(x);
        else if (pixel == kGrey)
            grey.insert(x);
        else
            EXPECT_EQ(pixel, kBlack) << "column " << x;
        // A line covers rows 0 to 499 (row 500 is its end point); the Hold image covers the
        // top of the last columns.
        const int firstRow = x >= display::kHoldX ? display::kHoldHeight : 0;
        for (int y = firstRow; y < display::kGridEndRow; ++y) {
            if (picture.at(x, y) != pixel) {
                ADD_FAILURE() << "column " << x << " changes at row " << y;
                break;
            }
        }
        EXPECT_EQ(picture.at(x, display::kBarBaseRow), kBlack) << "column " << x;
    }
    EXPECT_EQ(white, (std::set<int>{0, 120, 240, 360, 480, 600, 720, 840}));
    EXPECT_EQ(grey.size(), 48u);
    const int greyOffsets[] = {20, 40, 50, 70, 90, 110};  // D E F G A B
    for (int octave = 0; octave < 8; ++octave) {
        for (int offset : greyOffsets)
            EXPECT_TRUE(grey.count(120 * octave + offset)) << 120 * octave + offset;
    }
}

TEST(Grid, LabelsSitInTheBandBelowTheBars) {
    OpenEditor editor;
    const Picture picture = editor.refresh();
    // Each label cell (from its column, a few glyphs wide) holds text in its own colour only.
    for (int index = 0; index < 96; ++index) {
        const char* label = NoteLabelTable[index];
        if (!*label) continue;
        const DWORD colour = index % 12 == 0 ? kWhite : kGrey;
        int inked = 0;
        for (int y = display::kLabelRow; y < display::kHeight; ++y) {
            const int left = display::kColumnsPerSemitone * index;
            for (int x = left; x < left + display::kColumnsPerSemitone && x < display::kWidth;
                 ++x) {
                const DWORD pixel = picture.at(x, y);
                if (pixel == colour)
                    ++inked;
                else
                    EXPECT_EQ(pixel, kBlack) << label << " at " << x << "," << y;
            }
        }
        EXPECT_GT(inked, 3) << "label " << index << " " << label;
    }
    EXPECT_STREQ(NoteLabelTable[0], "C1");
    EXPECT_STREQ(NoteLabelTable[1], "");
    EXPECT_STREQ(NoteLabelTable[95], "B");
    EXPECT_STREQ(NoteLabelTable[84], "C8");
}

TEST(HoldImage, GreyWhileLiveAndWhiteWhileHeld) {
    OpenEditor editor;
    editor.source.setColumn(display::kHoldClickX, 1.0);  // a bar under the image is hidden by it
    editor.source.span = 1.0f;
    auto checkImage = [](const Picture& picture, DWORD colour) {
        int text = 0;
        constexpr int kLeft = display::kHoldX, kRight = kLeft + display::kHoldWidth - 1;
        constexpr int kTop = display::kHoldY, kBottom = kTop + display::kHoldHeight - 1;
        for (int y = kTop; y <= kBottom; ++y) {
            for (int x = kLeft; x <= kRight; ++x) {
                const DWORD pixel = picture.at(x, y);
                const bool edge = y == kTop || y == kBottom || x == kLeft || x == kRight;
                if (edge) {
                    EXPECT_EQ(pixel, colour) << x << "," << y;
                } else if (pixel == colour) {
                    ++text;
                } else {
                    EXPECT_EQ(pixel, kBlack) << x << "," << y;
                }
            }
        }
        EXPECT_GT(text, 20) << "the word Hold";
    };
    Picture picture = editor.refresh();
    checkImage(picture, kGrey);
    EXPECT_EQ(picture.at(display::kHoldClickX, display::kHoldHeight), kGreen)
        << "the bar shows below the image";

    ASSERT_TRUE(
        cqpClick(editor.gui().getHoldButton(), display::kHoldWidth / 2, display::kHoldHeight / 2));
    picture = editor.capture();
    checkImage(picture, kWhite);
}
