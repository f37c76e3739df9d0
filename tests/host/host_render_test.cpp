// render: pictures of the display, through the built cqscope-host and cqscope.so. Skipped
// while cqscope.so has no editor.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "display/display_geometry.h"
#include "host_test_support.h"

namespace cqhost_test {
namespace {

constexpr std::uint32_t kWhite = display::pixelOf(display::kWhite);
constexpr std::uint32_t kGrey = display::pixelOf(display::kGrey);
// Merged into whatever lies below.
constexpr std::uint32_t kStripeBits = display::pixelOf(display::kNoteBlue);
constexpr std::uint32_t kGreenBits = display::pixelOf(display::kGreen);

class HostRender : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor yet";
        plugin_ = cqscopePlugin();
    }

    // Renders and returns the picture; fails the test on a non-zero exit.
    Image render(std::vector<std::string> args, const std::string& out) {
        args.insert(args.begin(), "render");
        args.insert(args.end(), {"--plugin", plugin_, "--out", out});
        const RunResult run = runHost(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return readPng(out);
    }

    std::string plugin_;
    ScratchDir dir_;
};

bool stripeAt(const Image& image, int x, int y) {
    return (image.at(x, y) & kStripeBits) == kStripeBits;
}

// The first row, from the top, at which column x shows a bar (green, alone or under a stripe);
// 501 when the column has none.
int barTop(const Image& image, int x) {
    for (int y = 0; y <= 500; ++y) {
        if ((image.at(x, y) & kGreenBits) == kGreenBits && image.at(x, y) != kWhite) return y;
    }
    return 501;
}

TEST_F(HostRender, DemoShowsBarsStripesGridAndLabels) {
    const RunResult run = runHost({"render", "--plugin", plugin_}, dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("cqscope-demo.png"), std::string::npos) << run.out;
    const Image image = readPng(dir_.file("cqscope-demo.png"));
    ASSERT_EQ(image.width, display::kWidth);
    ASSERT_EQ(image.height, display::kHeight);

    // Grid: white C lines, grey lines on the other white keys, over rows 0 to 499.
    EXPECT_EQ(image.at(120, 250), kWhite);
    EXPECT_EQ(image.at(840, 499), kWhite);
    EXPECT_EQ(image.at(20, 250), kGrey);
    EXPECT_EQ(image.at(950, 100), kGrey);
    // Labels below the grid: "C1" white at column 0, "D" grey at column 20.
    auto labelHas = [&](int x0, std::uint32_t colour) {
        for (int y = 501; y < 512; ++y)
            for (int x = x0; x < x0 + 8; ++x)
                if (image.at(x, y) == colour) return true;
        return false;
    };
    EXPECT_TRUE(labelHas(0, kWhite));
    EXPECT_TRUE(labelHas(20, kGrey));
    EXPECT_FALSE(labelHas(10, kWhite) || labelHas(10, kGrey));  // black key: no label

    // Stripes of the held chord C3, C4, E4, G4: 8 columns each, rows 0 to 499.
    for (int note : {48, 60, 64, 67}) {
        const int first = 10 * note - 244;
        EXPECT_TRUE(stripeAt(image, first, 300)) << note;
        EXPECT_TRUE(stripeAt(image, first + 7, 499)) << note;
        EXPECT_FALSE(stripeAt(image, first - 1, 300)) << note;
        EXPECT_FALSE(stripeAt(image, first + 8, 300)) << note;
        EXPECT_FALSE(stripeAt(image, first, 500)) << note;
    }
    EXPECT_FALSE(stripeAt(image, 10 * 62 - 244, 300));  // D4 is not held

    // Bars beside each fundamental's grid column reach well above the floor.
    for (int note : {48, 60, 64, 67}) {
        const int column = 10 * (note - 24);
        EXPECT_LT(barTop(image, column + 1), 400) << note;
    }
    // The idle Hold image: grey frame in the top right corner.
    EXPECT_EQ(image.at(display::kHoldX, display::kHoldY), kGrey);
    EXPECT_EQ(image.at(display::kWidth - 1, display::kHoldHeight - 1), kGrey);
}

TEST_F(HostRender, SameInputsGiveSameBytes) {
    const std::string first = dir_.file("a.png"), second = dir_.file("b.png");
    render({"--at", "2.5"}, first);
    render({"--at", "2.5"}, second);
    EXPECT_EQ(fileBytes(first), fileBytes(second));

    // --every writes numbered pictures into a folder; the one at 2 s matches a single render.
    const RunResult run =
        runHost({"render", "--plugin", plugin_, "--every", "1", "--out", dir_.file("frames")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> expected{"frame-0001.png", "frame-0002.png", "frame-0003.png",
                                            "frame-0004.png"};
    for (const auto& name : expected) {
        EXPECT_FALSE(fileBytes(dir_.file("frames/" + name)).empty()) << name;
    }
    render({"--at", "2"}, dir_.file("two.png"));
    EXPECT_EQ(fileBytes(dir_.file("frames/frame-0002.png")), fileBytes(dir_.file("two.png")));
}

TEST_F(HostRender, SineAt440HzPeaksInColumn450AtBothRates) {
    for (int rate : {44100, 48000}) {
        const std::string wav = dir_.file("a4-" + std::to_string(rate) + ".wav");
        writeAudio(wav, sine(440.0, rate, 1.0, 1), 1, rate);
        const Image image = render({wav, "--at", "1.0"}, wav + ".png");
        // Column 450 carries the grey grid line of A4 over its bar; the bar's foot shows in
        // the bar base row, and its neighbours stand tallest, evenly.
        EXPECT_EQ(image.at(450, display::kBarBaseRow) & kGreenBits, kGreenBits) << rate;
        int tallest = -1;
        for (int x = 0; x < display::kWidth; ++x) {
            if (x % 10 == 0) continue;  // grid columns hide their bars
            if (tallest < 0 || barTop(image, x) < barTop(image, tallest)) tallest = x;
        }
        EXPECT_TRUE(tallest == 449 || tallest == 451) << rate << ": " << tallest;
        EXPECT_LE(std::abs(barTop(image, 449) - barTop(image, 451)), 2) << rate;
        EXPECT_LT(barTop(image, 451), barTop(image, 448)) << rate;
        EXPECT_LT(barTop(image, 449), barTop(image, 452)) << rate;
    }
}

// --pointer: every picture shows the readout of the pointer resting at the point (the
// cursor line in its column), drawn only in the bars' area, also after a Hold click (the
// pointer comes back from the button), and every format render hosts draws the same
// pictures, since the pointer reaches each as real motion through its window.
TEST_F(HostRender, PointerRestsOverEveryPictureAlikeInEveryFormat) {
    const std::string wav = dir_.file("a4.wav");
    writeAudio(wav, sine(440.0, 44100, 2.0, 1), 1, 44100);
    const Image plain = render({wav, "--at", "1.0"}, dir_.file("plain.png"));
    const std::uint32_t yellow = display::pixelOf(display::kCursorYellow);
    std::vector<std::string> formats{plugin_};
    for (const char* bundle : {"/cqscope.clap", "/cqscope.vst3"}) {
        if (std::filesystem::exists(std::string(CQHOST_PLUGIN_DIR) + bundle))
            formats.push_back(std::string(CQHOST_PLUGIN_DIR) + bundle);
    }
    std::vector<std::uint32_t> first;
    for (const std::string& plugin : formats) {
        const std::string out = dir_.file("over-" + std::to_string(&plugin - formats.data()));
        const RunResult run = runHost({"render", wav, "--plugin", plugin, "--at", "0.5,1.0,1.5",
                                       "--hold-at", "1.2", "--pointer", "450,300", "--out", out});
        ASSERT_EQ(run.status, 0) << plugin << ": " << run.err;
        for (const char* name : {"/frame-0001.png", "/frame-0002.png", "/frame-0003.png"}) {
            const Image image = readPng(out + name);
            for (int y = 300; y < display::kBarBaseRow; ++y)
                ASSERT_EQ(image.at(450, y), yellow) << plugin << name << " row " << y;
        }
        const Image last = readPng(out + "/frame-0002.png");
        if (first.empty()) {
            first = last.pixels;
            int changed = 0;
            for (int y = 0; y < display::kHeight; ++y) {
                for (int x = 0; x < display::kWidth; ++x) {
                    if (last.at(x, y) == plain.at(x, y)) continue;
                    ++changed;
                    EXPECT_LT(y, display::kBarBaseRow) << "the grid's labels stay as they were";
                }
            }
            EXPECT_LT(changed, display::kWidth * display::kHeight / 20);
        } else {
            EXPECT_EQ(last.pixels, first) << plugin;
        }
    }
    const RunResult outside =
        runHost({"render", wav, "--plugin", plugin_, "--pointer", "960", "--out", dir_.file("x")});
    EXPECT_EQ(outside.status, 2);
    EXPECT_NE(outside.err.find("--pointer needs COLUMN[,ROW] within the display"),
              std::string::npos)
        << outside.err;
}

// The editor opens showing what a host paints at once: the picture of a silent refresh (grid,
// labels, Hold, no bars), already before its first refresh, however loud the audio.
TEST_F(HostRender, OpensShowingTheSilentPictureBeforeItsFirstRefresh) {
    const std::string silence = dir_.file("silence.wav");
    writeAudio(silence, std::vector<float>(44100, 0.0f), 1, 44100);
    const Image silent = render({silence, "--at", "0.5"}, dir_.file("silent.png"));
    ASSERT_EQ(silent.at(120, 250), kWhite) << "C2's grid line";
    const RunResult run =
        runHost({"render", "--plugin", plugin_, "--at", "0,0.05", "--out", dir_.file("start")});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* frame : {"frame-0001.png", "frame-0002.png"}) {
        EXPECT_EQ(readPng(dir_.file(std::string("start/") + frame)).pixels, silent.pixels) << frame;
    }
}

TEST_F(HostRender, MidiNoteStripeOnlyWhileHeld) {
    const std::string silence = dir_.file("silence.wav");
    writeAudio(silence, std::vector<float>(3 * 44100, 0.0f), 1, 44100);
    // Type 1: a tempo track at 60 per minute, changed to 240 per minute at 1 s; C5 starts at
    // 1 s and ends 960 ticks later, at 1.5 s.
    const std::string tempoTrack = midiTrack({{0, std::string("\xFF\x51\x03\x0F\x42\x40", 6)},
                                              {480, std::string("\xFF\x51\x03\x03\xD0\x90", 6)}});
    writeFile(dir_.file("c5.mid"),
              midiFile(1, 480,
                       {tempoTrack, midiTrack({{480, "\x90\x48\x64"},
                                               {960, std::string("\x80\x48\x00", 3)}})}));
    const RunResult run =
        runHost({"render", silence, "--plugin", plugin_, "--midi", dir_.file("c5.mid"), "--at",
                 "0.9,1.2,1.45,1.7", "--out", dir_.file("frames")});
    ASSERT_EQ(run.status, 0) << run.err;
    const int stripeColumn = 10 * 72 - 243;  // C5, beside its grid line
    const bool held[] = {false, true, true, false};
    for (int k = 0; k < 4; ++k) {
        const std::string file = dir_.file("frames/frame-000" + std::to_string(k + 1) + ".png");
        const Image image = readPng(file);
        EXPECT_EQ(stripeAt(image, stripeColumn, 200), held[k]) << file;
        EXPECT_EQ(stripeAt(image, stripeColumn - 10, 200), false) << file;  // B4 never held
    }
}

#ifdef CQHOST_FIXTURE_EDITOR

// The render loop itself, with a stand-in editor that draws its timer ticks, a held note and
// its Hold state: the clock follows the audio at any rate, MIDI arrives on time, Hold freezes.
class HostRenderLoop : public ::testing::Test {
  protected:
    static int ticksShown(const Image& image) {
        int width = 0;
        while (width < 900 && image.at(width, 5) == kWhite) ++width;
        return width;
    }
    static bool noteShown(const Image& image) { return image.at(110, 150) == kWhite; }
    static bool holdShown(const Image& image) { return image.at(930, 35) == kWhite; }

    RunResult render(std::vector<std::string> args) {
        args.insert(args.begin(), {"render", "--plugin", CQHOST_FIXTURE_EDITOR});
        return runHost(args);
    }

    ScratchDir dir_;
};

TEST_F(HostRenderLoop, ClockFollowsTheAudioAtAnyRate) {
    for (int rate : {44100, 48000}) {
        const std::string wav = dir_.file("silence.wav");
        writeAudio(wav, std::vector<float>(3 * rate, 0.0f), 1, rate);
        const RunResult run = render({wav, "--at", "0.55,1.5,2.95", "--out", dir_.file("at")});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ticksShown(readPng(dir_.file("at/frame-0001.png"))), 5) << rate;
        EXPECT_EQ(ticksShown(readPng(dir_.file("at/frame-0002.png"))), 15) << rate;
        EXPECT_EQ(ticksShown(readPng(dir_.file("at/frame-0003.png"))), 29) << rate;
    }
    // --every: one picture per period, up to and including the end.
    const RunResult run =
        render({dir_.file("silence.wav"), "--every", "0.5", "--out", dir_.file("every")});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(dir_.entries().size(), 3u);
    for (int k = 1; k <= 6; ++k) {
        const std::string file = dir_.file("every/frame-000" + std::to_string(k) + ".png");
        EXPECT_EQ(ticksShown(readPng(file)), 5 * k) << file;
    }
}

TEST_F(HostRenderLoop, MidiNotesArriveOnTimeAndHoldFreezes) {
    const std::string wav = dir_.file("silence.wav");
    writeAudio(wav, std::vector<float>(2 * 3 * 44100, 0.0f), 2, 44100);
    // Middle C from 1 s to 2 s at the default tempo. Neither lies on the block grid: the
    // refresh at 1 s sees the blocks that end before it, so the note shows from the refresh
    // at 1.1 s, and its end from the one at 2.1 s.
    writeFile(
        dir_.file("c4.mid"),
        midiFile(0, 480,
                 {midiTrack({{960, "\x90\x3C\x64"}, {960, std::string("\x80\x3C\x00", 3)}})}));
    RunResult run = render({wav, "--midi", dir_.file("c4.mid"), "--at",
                            "0.95,1.05,1.15,1.95,2.05,2.15", "--out", dir_.file("notes")});
    ASSERT_EQ(run.status, 0) << run.err;
    const bool expected[] = {false, false, true, true, true, false};
    for (int k = 0; k < 6; ++k) {
        const std::string file = dir_.file("notes/frame-000" + std::to_string(k + 1) + ".png");
        EXPECT_EQ(noteShown(readPng(file)), expected[k]) << file;
    }

    run = render({wav, "--midi", dir_.file("c4.mid"), "--hold-at", "1.5", "--at", "2.5", "--out",
                  dir_.file("held.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Image held = readPng(dir_.file("held.png"));
    EXPECT_TRUE(holdShown(held));
    EXPECT_EQ(ticksShown(held), 15);  // no tick after the click
    EXPECT_TRUE(noteShown(held));     // the picture of 1.5 s, note and all
}

#endif

}  // namespace
}  // namespace cqhost_test
