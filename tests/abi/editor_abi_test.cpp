// The editor through the built plug-in, as a Linux host drives it: the record's editor flag,
// get-rect before open, open in a parent window, idle, close, and a known signal with held
// notes rendered through the opcodes and checked in the picture.
//
// Set CQSCOPE_DISPLAY_PNG to a file name to keep the rendered picture as a PNG.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "abi/loaded_module.h"
#include "display/display_geometry.h"
#include "frame/host_interface.h"
#include "png_writer.h"

namespace {

// The plug-in's own window system, in which its editor's parent windows must live.
const CqpHostCalls& windows() {
    return moduleWindows(CQSCOPE_PLUGIN_PATH);
}

constexpr int kWidth = display::kWidth;
constexpr int kHeight = display::kHeight;
constexpr float kSampleRate = 44100.0f;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

using Entry = AEffect* (*)(audioMasterCallback);

// The plug-in loaded with dlopen, one effect made through its entry.
class LoadedEffect {
  public:
    LoadedEffect() {
        library = dlopen(CQSCOPE_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            ADD_FAILURE() << dlerror();
            return;
        }
        auto entry = reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain"));
        if (!entry) {
            ADD_FAILURE() << "no VSTPluginMain";
            return;
        }
        effect = entry(host);
    }
    ~LoadedEffect() {
        if (effect) dispatch(effClose);
        if (library) dlclose(library);
    }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    void* library = nullptr;
    AEffect* effect = nullptr;
};

class ManualClock {
  public:
    ManualClock() { windows().setManualClock(TRUE, 50000); }
    ~ManualClock() { windows().setManualClock(FALSE, 0); }
};

VstMidiEvent noteOn(int note) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.midiData[0] = static_cast<char>(0x90);
    event.midiData[1] = static_cast<char>(note);
    event.midiData[2] = 100;
    return event;
}

// Green channel at full strength: a bar, with or without a stripe over it.
bool barPixel(std::uint32_t pixel) {
    return ((pixel >> 8) & 0xFF) == 0xFF && pixel != 0xFFFFFF;
}

// Plays `blocks` 512-frame blocks of an A4 sine (amplitude 0.5) with a quieter E6 at `rate`
// Hz through the record, continuing from `frame`.
void playChord(LoadedEffect& loaded, double rate, int blocks, long& frame) {
    constexpr int kBlock = 512;
    std::vector<float> left(kBlock), right(kBlock), outLeft(kBlock), outRight(kBlock);
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};
    const double e6 = 440.0 * std::pow(2.0, 19.0 / 12.0);
    for (int block = 0; block < blocks; ++block) {
        for (int i = 0; i < kBlock; ++i, ++frame) {
            const double t = static_cast<double>(frame) / rate;
            left[i] = right[i] =
                static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440.0 * t) +
                                   0.05 * std::sin(2 * std::numbers::pi * e6 * t));
        }
        loaded.effect->processReplacing(loaded.effect, inputs, outputs, kBlock);
        ASSERT_EQ(outLeft, left);
    }
}

// The display's picture in the host's window.
struct Shown {
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kWidth * kHeight);
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * kWidth + x]; }
    int barHeight(int x) const {
        int height = 0;
        while (height <= display::kBarBaseRow && barPixel(at(x, display::kBarBaseRow - height)))
            ++height;
        return height;
    }
    // The tallest bar off the grid lines (every tenth column carries one).
    int tallestColumn() const {
        int tallest = 1;
        for (int x = 0; x < 900; ++x) {
            if (x % 10 != 0 && barHeight(x) > barHeight(tallest)) tallest = x;
        }
        return tallest;
    }
};

// One more tick and its paint, then the picture.
Shown tickAndRead(LoadedEffect& loaded, HWND parent) {
    windows().advanceClock(100);
    loaded.dispatch(effEditIdle);
    Shown shown;
    EXPECT_TRUE(windows().readWindowPixels(parent, reinterpret_cast<DWORD*>(shown.pixels.data()),
                                           kWidth, kHeight));
    return shown;
}

// The chord's picture: the tallest bar beside A4's column (450, under its grid line), a clear
// lower one beside E6's (640), little far from both.
void expectChordBars(const Shown& shown) {
    const int tallest = shown.tallestColumn();
    EXPECT_TRUE(tallest == 449 || tallest == 451) << "tallest bar at column " << tallest;
    EXPECT_GT(shown.barHeight(449), 480);
    EXPECT_GT(shown.barHeight(639), 300);
    EXPECT_LT(shown.barHeight(639), shown.barHeight(449));
    EXPECT_LT(shown.barHeight(125), 200);
}

}  // namespace

TEST(EditorAbi, RecordHasAnEditorWithTheDisplaysRectangleBeforeOpen) {
    LoadedEffect loaded;
    ASSERT_NE(loaded.effect, nullptr);
    EXPECT_EQ(loaded.effect->flags, 0x11);
    ERect* rect = nullptr;
    ASSERT_EQ(loaded.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, kHeight);
    EXPECT_EQ(rect->right, kWidth);
}

TEST(EditorAbi, OpenIdleCloseCyclesReleaseEverything) {
    ManualClock clock;
    HWND parent = windows().createHostWindow(kWidth, kHeight);
    ASSERT_NE(parent, nullptr);
    const int baseline = windows().liveObjectCount();
    {
        LoadedEffect loaded;
        ASSERT_NE(loaded.effect, nullptr);
        loaded.dispatch(effMainsChanged, 0, 1);
        int afterFirstClose = -1;
        for (int cycle = 0; cycle < 10; ++cycle) {
            ASSERT_EQ(loaded.dispatch(effEditOpen, 0, 0, parent), 1);
            for (int tick = 0; tick < 3; ++tick) {
                windows().advanceClock(100);
                loaded.dispatch(effEditIdle);
            }
            loaded.dispatch(effEditClose);
            if (cycle == 0) afterFirstClose = windows().liveObjectCount();
            EXPECT_EQ(windows().liveObjectCount(), afterFirstClose) << "cycle " << cycle;
        }
        // Closing the effect with its editor open removes the display as well.
        ASSERT_EQ(loaded.dispatch(effEditOpen, 0, 0, parent), 1);
    }
    EXPECT_EQ(windows().liveObjectCount(), baseline);
    windows().destroyWindow(parent);
}

TEST(EditorAbi, KnownSignalWithHeldNotesShowsItsBarAndStripes) {
    ManualClock clock;
    HWND parent = windows().createHostWindow(kWidth, kHeight);
    ASSERT_NE(parent, nullptr);
    LoadedEffect loaded;
    ASSERT_NE(loaded.effect, nullptr);
    loaded.dispatch(effSetSampleRate, 0, 0, nullptr, kSampleRate);
    loaded.dispatch(effSetBlockSize, 0, 512);
    loaded.dispatch(effMainsChanged, 0, 1);
    ASSERT_TRUE(analysisReady(windows()));
    ASSERT_EQ(loaded.dispatch(effEditOpen, 0, 0, parent), 1);

    // A4 and C4 held; an A4 sine (440 Hz, amplitude 0.5) with a quieter E6 (1318.5 Hz).
    VstMidiEvent a4 = noteOn(69);
    VstMidiEvent c4 = noteOn(60);
    VstEvents events{};
    events.numEvents = 2;
    events.events[0] = reinterpret_cast<VstEvent*>(&a4);
    events.events[1] = reinterpret_cast<VstEvent*>(&c4);
    loaded.dispatch(effProcessEvents, 0, 0, &events);

    long frame = 0;
    playChord(loaded, kSampleRate, 100, frame);  // about 1.2 s, more than the longest window
    const Shown shown = tickAndRead(loaded, parent);
    if (const char* path = std::getenv("CQSCOPE_DISPLAY_PNG")) {
        EXPECT_TRUE(writePng(path, shown.pixels, kWidth, kHeight)) << path;
    }
    auto at = [&](int x, int y) { return shown.at(x, y); };
    expectChordBars(shown);

    // Stripes: A4 over its bars, C4 (columns 356 to 363) over black at the top.
    EXPECT_EQ(at(449, 100), display::pixelOf(display::kNoteBlue | display::kGreen));
    EXPECT_EQ(at(357, 0), display::pixelOf(display::kNoteBlue));
    EXPECT_EQ(at(364, 0), display::pixelOf(display::kBlack));
    // The grid stays on top and the idle Hold image sits in the corner.
    EXPECT_EQ(at(450, 100), display::pixelOf(display::kGrey));
    EXPECT_EQ(at(360, 100), display::pixelOf(display::kWhite));
    EXPECT_EQ(at(display::kHoldX, display::kHoldY), display::pixelOf(display::kGrey));

    loaded.dispatch(effEditClose);
    windows().destroyWindow(parent);
}

// A host that opens the editor and plays without ever switching the effect on: the first
// blocks pass through unanalysed, the display's next tick builds the kernels for the host's
// rate, and once the history has filled the picture is the one a resumed effect shows.
TEST(EditorAbi, EditorOpenedBeforeAnyResumeShowsTheSignalOnceAudioFlows) {
    ManualClock clock;
    HWND parent = windows().createHostWindow(kWidth, kHeight);
    ASSERT_NE(parent, nullptr);
    LoadedEffect loaded;
    ASSERT_NE(loaded.effect, nullptr);
    constexpr double kRate = 48000.0;
    loaded.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    ASSERT_EQ(loaded.dispatch(effEditOpen, 0, 0, parent), 1);
    EXPECT_EQ(tickAndRead(loaded, parent).barHeight(449), 0) << "no audio, no bars";

    long frame = 0;
    playChord(loaded, kRate, 10, frame);
    EXPECT_EQ(tickAndRead(loaded, parent).barHeight(449), 0) << "audio not analysed yet";
    // That refresh had the kernels built beside.
    ASSERT_TRUE(analysisReady(windows()));
    playChord(loaded, kRate, 100, frame);
    expectChordBars(tickAndRead(loaded, parent));

    loaded.dispatch(effEditClose);
    windows().destroyWindow(parent);
}
