// The pointer readout of the display window, driven as a host drives it: the analyser core and
// the display fed with tones on the manual clock, the pointer moved over the host's window
// through the window library's own pointer input. Labels are found in the picture by drawing
// their expected text with the display's own label font.
#include "display/pointer_readout.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "core/analyser_core.h"
#include "display/display_geometry.h"
#include "display/spectrum_display.h"
#include "platform/cqscope_platform.h"

namespace {

constexpr int kWidth = display::kWidth;
constexpr int kHeight = display::kHeight;
constexpr int kBlock = 512;
constexpr double kRate = 44100.0;
constexpr RECT kHoldArea{display::kHoldX, display::kHoldY, display::kHoldX + display::kHoldWidth,
                         display::kHoldY + display::kHoldHeight};

using Picture = std::vector<std::uint32_t>;

struct Tone {
    double frequency;
    double amplitude;
};

// A text as the display draws it: its pixels (0x00RRGGBB), size and, once found, its place.
struct Text {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

bool overlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

class PointerReadoutDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        cqpSetManualClock(TRUE, 50000);
        parent_ = cqpCreateHostWindow(kWidth, kHeight);
        core_.start();
        ASSERT_TRUE(core_.waitUntilReady(std::chrono::seconds(60)));
        display_ = std::make_unique<SpectrumDisplay>(GetModuleHandleA(nullptr), core_);
        ASSERT_TRUE(display_->open(parent_));
    }
    void TearDown() override {
        display_.reset();
        DestroyWindow(parent_);
        cqpSetManualClock(FALSE, 0);
    }

    // Plays the tones for `seconds` (a refresh every 100 ms) and answers the last picture.
    Picture play(const std::vector<Tone>& tones, double seconds) {
        std::vector<float> samples(kBlock);
        const float* inputs[2] = {samples.data(), samples.data()};
        Picture picture;
        for (int refresh = 0; refresh < std::lround(seconds * 10); ++refresh) {
            const long until = std::lround((played_ + 0.1) * kRate) / kBlock;
            for (; block_ < until; ++block_) {
                for (int k = 0; k < kBlock; ++k) {
                    const double t = static_cast<double>(block_ * kBlock + k) / kRate;
                    double v = 0.0;
                    for (const Tone& tone : tones)
                        v += tone.amplitude * std::sin(2 * std::numbers::pi * tone.frequency * t);
                    samples[k] = static_cast<float>(v);
                }
                core_.audio(inputs, kBlock);
            }
            played_ += 0.1;
            cqpAdvanceClock(100);
            picture = run();
        }
        return picture;
    }
    Picture movePointer(int x, int y) {
        EXPECT_TRUE(cqpMovePointer(parent_, x, y));
        return run();
    }
    Picture leave() {
        EXPECT_TRUE(cqpPointerLeave(parent_));
        return run();
    }
    Picture clickHold() {
        EXPECT_TRUE(cqpClick(parent_, display::kHoldClickX, display::kHoldClickY));
        return run();
    }

    // The text drawn as the display draws its labels: label font, opaque black background.
    Text text(const std::string& s, COLORREF colour) {
        HDC screen = GetDC(parent_);
        HDC dc = CreateCompatibleDC(screen);
        SelectObject(dc, display_->resources().labelFont);
        SIZE size{};
        EXPECT_TRUE(GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size));
        HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
        HGDIOBJ old = SelectObject(dc, bitmap);
        SetBkColor(dc, 0);
        SetTextColor(dc, colour);
        TextOutA(dc, 0, 0, s.c_str(), static_cast<int>(s.size()));
        Text out{static_cast<int>(size.cx), static_cast<int>(size.cy), {}};
        for (int y = 0; y < out.height; ++y) {
            for (int x = 0; x < out.width; ++x)
                out.pixels.push_back(display::pixelOf(GetPixel(dc, x, y)));
        }
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(parent_, screen);
        return out;
    }

    static bool shows(const Picture& picture, const Text& t, int left, int top) {
        if (left < 0 || top < 0 || left + t.width > kWidth || top + t.height > kHeight)
            return false;
        for (int y = 0; y < t.height; ++y) {
            for (int x = 0; x < t.width; ++x) {
                if (picture[static_cast<std::size_t>(top + y) * kWidth + left + x] !=
                    t.pixels[static_cast<std::size_t>(y) * t.width + x])
                    return false;
            }
        }
        return true;
    }

    // Where the picture shows one of the texts (the first found), searching the bars' area
    // between columns `from` and `to`; an empty box when none.
    static RECT find(const Picture& picture, const std::vector<Text>& texts, int from, int to) {
        for (const Text& t : texts) {
            for (int top = 0; top + t.height <= display::kBarBaseRow; ++top) {
                for (int left = std::max(0, from); left + t.width <= std::min(kWidth, to); ++left)
                    if (shows(picture, t, left, top))
                        return RECT{left, top, left + t.width, top + t.height};
            }
        }
        return RECT{0, 0, 0, 0};
    }

    // The label of a note read within `spread` cents of the tone, as the display writes it.
    std::vector<Text> peakLabels(const std::string& note, int spread) {
        std::vector<Text> texts;
        for (int cents = -spread; cents <= spread; ++cents) {
            char label[32];
            std::snprintf(label, sizeof label, "%s %+d cents", note.c_str(), cents);
            texts.push_back(text(label, display::kWhite));
        }
        return texts;
    }

    HWND parent_ = nullptr;
    cqscope::AnalyserCore core_{kRate};
    std::unique_ptr<SpectrumDisplay> display_;
    long block_ = 0;
    double played_ = 0.0;

  private:
    Picture run() {
        display_->run();
        Picture picture(static_cast<std::size_t>(kWidth) * kHeight);
        EXPECT_TRUE(cqpReadWindowPixels(parent_, reinterpret_cast<DWORD*>(picture.data()), kWidth,
                                        kHeight));
        return picture;
    }
};

// A 440 Hz sine of amplitude 0.5 with the pointer in its column: the cursor line, the label
// beside it reading 440.0 Hz, A4 +0 cents and the level (a 0.5 sine is 6 dB below full
// scale), and the peak labelled A4 within a cent above its bar.
TEST_F(PointerReadoutDisplay, ReadsTheColumnUnderThePointerAndNamesTheTonesPeak) {
    play({{440.0, 0.5}}, 1.2);
    const Picture picture = movePointer(450, 300);
    const std::uint32_t yellow = display::pixelOf(display::kCursorYellow);
    const Text prefix = text("440.0 Hz, A4 +0 cents, ", display::kCursorYellow);
    // The line from the top to the bar base, but where a label stands over it (the peak
    // finder also names the tone's side lobes, with labels above their own bars).
    int lineRows = 0;
    for (int y = 0; y < display::kBarBaseRow; ++y)
        lineRows += picture[static_cast<std::size_t>(y) * kWidth + 450] == yellow;
    EXPECT_GE(lineRows, display::kBarBaseRow - 4 * prefix.height);
    for (int y = 300; y < display::kBarBaseRow; ++y)
        ASSERT_EQ(picture[static_cast<std::size_t>(y) * kWidth + 450], yellow) << "row " << y;
    EXPECT_NE(picture[400u * kWidth + 449], yellow);

    const int labelLeft = 450 + 1 + display::kReadoutGap;
    const int labelTop = 300 - display::kReadoutGap - prefix.height;
    EXPECT_TRUE(shows(picture, prefix, labelLeft, labelTop)) << "the cursor's label";
    bool levelShown = false;
    for (const char* level : {"-6.1 dB", "-6.0 dB", "-5.9 dB"}) {
        levelShown = levelShown || shows(picture, text(level, display::kCursorYellow),
                                         labelLeft + prefix.width, labelTop);
    }
    EXPECT_TRUE(levelShown);

    const RECT peak = find(picture, peakLabels("A4", 1), 450 - 100, 450 + 100);
    ASSERT_GT(peak.right, peak.left) << "no A4 label within a cent";
    EXPECT_LE(std::abs((peak.left + peak.right) / 2 - 450), 6) << "centred over its bar";
    EXPECT_LT(peak.bottom, 20) << "above the bar, which reaches row 4";
}

// Three tones close together: three labels, apart, inside the bars' area and off the Hold
// image. Hold keeps the labels, and the picture while other audio plays, and the readout of a
// held display reads the held magnitudes as the pointer moves.
TEST_F(PointerReadoutDisplay, ThreeTonesGiveThreeLabelsApartWhichHoldKeeps) {
    const double c4 = 440.0 * std::pow(2.0, -9 / 12.0);
    const std::vector<Tone> chord{
        {c4, 0.25}, {c4 * std::pow(2.0, 4 / 12.0), 0.2}, {c4 * std::pow(2.0, 7 / 12.0), 0.15}};
    play(chord, 1.2);
    const Picture live = movePointer(200, 300);
    std::vector<RECT> boxes;
    for (const char* note : {"C4", "E4", "G4"}) {
        const RECT box = find(live, peakLabels(note, 2), 250, 550);
        ASSERT_GT(box.right, box.left) << "no label for " << note;
        EXPECT_FALSE(overlap(box, kHoldArea)) << note;
        for (const RECT& other : boxes) EXPECT_FALSE(overlap(box, other)) << note;
        boxes.push_back(box);
    }

    // The click takes the pointer onto the button; back over the display, the labels are
    // those of the held magnitudes.
    clickHold();
    const Picture held = movePointer(200, 300);
    for (const RECT& box : boxes) {
        for (long y = box.top; y < box.bottom; ++y) {
            for (long x = box.left; x < box.right; ++x)
                ASSERT_EQ(held[y * kWidth + x], live[y * kWidth + x]) << "label at " << x;
        }
    }
    EXPECT_EQ(play({{1000.0, 0.5}}, 0.5), held) << "held while other audio plays";
    const Picture moved = movePointer(205, 300);
    for (const char* note : {"C4", "E4", "G4"}) {
        const RECT box = find(moved, peakLabels(note, 2), 250, 550);
        EXPECT_GT(box.right, box.left) << note << " after the pointer moved on a held display";
    }
}

// Without the pointer the picture is what it always was: the readout comes with the pointer,
// and leaving, or going onto the Hold button, takes it away to the last pixel.
TEST_F(PointerReadoutDisplay, LeavingRestoresThePictureByteForByte) {
    const Picture before = play({{440.0, 0.5}}, 1.2);
    const Picture over = movePointer(450, 300);
    EXPECT_NE(over, before);
    EXPECT_EQ(display_->pointerColumn(), 450);
    EXPECT_EQ(leave(), before);
    EXPECT_EQ(display_->pointerColumn(), -1);
    EXPECT_EQ(movePointer(450, 300), over);
    EXPECT_EQ(movePointer(display::kHoldClickX, display::kHoldClickY), before)
        << "over the Hold button the pointer is not over the display";
}

// The layout alone, for crowded spectra and pointers at every edge: every label inside the
// bars' area, none over another or the Hold image, and the cursor's label always there.
TEST(PointerReadoutLayout, LabelsStayInsideApartAndOffTheHoldImageWhereverThePointerIs) {
    cqscope::Magnitudes crowded{};
    for (auto& octave : crowded) octave.fill(1e-4);
    // Full-height peaks under the Hold image and three more close together.
    for (int column : {905, 915, 950, 100, 104, 108}) {
        crowded[column / cqscope::kBinsPerOctave][column % cqscope::kBinsPerOctave] =
            column > 900 ? 1.0 : 0.2;
    }
    const TextCell cell;
    for (const bool bars : {true, false}) {
        for (const POINT at : {POINT{0, 0}, POINT{959, 0}, POINT{959, 511}, POINT{909, 30},
                               POINT{930, 100}, POINT{104, 5}, POINT{0, 499}, POINT{480, 250}}) {
            const PointerReadout r = layoutPointerReadout(crowded, bars, at.x, at.y, cell);
            EXPECT_EQ(r.column, at.x);
            EXPECT_EQ(r.lineTop, at.x >= display::kHoldX ? display::kHoldHeight : 0);
            ASSERT_EQ(r.labelCount, bars ? 1 + display::kMaxPeakLabels : 1) << at.x << "," << at.y;
            EXPECT_EQ(r.labels[0].colour, display::kCursorYellow);
            EXPECT_EQ(std::string(r.labels[0].text.data()).find("silent") != std::string::npos,
                      !bars);
            for (int i = 0; i < r.labelCount; ++i) {
                const RECT& box = r.labels[i].box;
                EXPECT_GE(box.left, 0);
                EXPECT_GE(box.top, 0);
                EXPECT_LE(box.right, kWidth);
                EXPECT_LE(box.bottom, display::kBarBaseRow);
                EXPECT_EQ(box.right - box.left, r.labels[i].length * cell.width);
                EXPECT_FALSE(overlap(box, kHoldArea)) << i << " at " << at.x << "," << at.y;
                for (int j = 0; j < i; ++j)
                    EXPECT_FALSE(overlap(box, r.labels[j].box)) << i << " and " << j;
            }
        }
    }
}

}  // namespace
