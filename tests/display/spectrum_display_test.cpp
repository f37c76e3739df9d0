// The analyser core and the display driven as any shell drives them (audio blocks, note
// events, a parent window, the run call) give, pixel for pixel, the picture that the built
// VST 2 plug-in shows for the same input: live, held, after a Hold release, and at a rate the
// analysis cannot serve (grid, stripes and Hold image, no bars). The display asks a host's loop
// for its timer as a shell expects.
#include "display/spectrum_display.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "abi/loaded_module.h"
#include "core/analyser_core.h"
#include "display/display_geometry.h"
#include "platform/cqscope_platform.h"

namespace {

constexpr int kWidth = display::kWidth;
constexpr int kHeight = display::kHeight;
constexpr int kBlock = 512;
constexpr DWORD kStartMs = 50000;

using Picture = std::vector<std::uint32_t>;

// An A4 sine (amplitude 0.5) with a quieter E6, block `index` at `rate` Hz.
void chordBlock(std::vector<float>& samples, long index, double rate) {
    const double e6 = 440.0 * std::pow(2.0, 19.0 / 12.0);
    for (int k = 0; k < kBlock; ++k) {
        const double t = static_cast<double>(index * kBlock + k) / rate;
        samples[k] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440.0 * t) +
                                        0.05 * std::sin(2 * std::numbers::pi * e6 * t));
    }
}

// One way of showing the analyser: the input and the clock, the same for both.
class Shell {
  public:
    virtual ~Shell() = default;
    virtual void notes(const std::vector<int>& held) = 0;
    virtual void audio(const float* samples) = 0;
    // Moves the clock on by `ms` and lets the display run; answers what it shows.
    virtual Picture tick(DWORD ms) = 0;
    virtual Picture clickHold() = 0;
};

// The core and the display linked into this program, on its own window system, shown at
// `scale`: its pictures are read at that size and, once each k x k block is found to be of one
// colour, answered at factor 1.
class CoreShell : public Shell {
  public:
    explicit CoreShell(double rate, int scale = 1) : core(rate), scale(scale) {
        cqpSetManualClock(TRUE, kStartMs);
        parent = cqpCreateHostWindow(kWidth * scale, kHeight * scale);
        core.start();
        EXPECT_TRUE(core.waitUntilReady(std::chrono::seconds(60)));
        display = std::make_unique<SpectrumDisplay>(GetModuleHandleA(nullptr), core);
        display->setScale(scale);
        EXPECT_EQ(display->width(), kWidth * scale);
        EXPECT_TRUE(display->open(parent));
    }
    ~CoreShell() override {
        display.reset();
        DestroyWindow(parent);
        cqpSetManualClock(FALSE, 0);
    }
    void notes(const std::vector<int>& held) override {
        for (int note : held) core.midi(0x90, static_cast<std::uint8_t>(note), 100);
    }
    void audio(const float* samples) override {
        const float* inputs[2] = {samples, samples};
        core.audio(inputs, kBlock);
    }
    Picture tick(DWORD ms) override {
        cqpAdvanceClock(ms);
        display->run();
        return read();
    }
    Picture clickHold() override {
        // Where the button is shown: its bottom-right pixel at this scale.
        EXPECT_TRUE(cqpClick(parent, (display::kHoldX + display::kHoldWidth) * scale - 1,
                             (display::kHoldY + display::kHoldHeight) * scale - 1));
        display->run();
        return read();
    }

  private:
    Picture read() {
        const int width = kWidth * scale;
        Picture shown(static_cast<std::size_t>(width) * kHeight * scale);
        EXPECT_TRUE(cqpReadWindowPixels(parent, reinterpret_cast<DWORD*>(shown.data()), width,
                                        kHeight * scale));
        Picture picture(kWidth * kHeight);
        long mixed = 0;
        for (int y = 0; y < kHeight * scale; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint32_t pixel = shown[static_cast<std::size_t>(y) * width + x];
                std::uint32_t& block =
                    picture[static_cast<std::size_t>(y / scale) * kWidth + x / scale];
                if (x % scale == 0 && y % scale == 0)
                    block = pixel;
                else
                    mixed += pixel != block;
            }
        }
        EXPECT_EQ(mixed, 0) << "pixels unlike their block's first at factor " << scale;
        return picture;
    }

    cqscope::AnalyserCore core;
    int scale;
    HWND parent = nullptr;
    std::unique_ptr<SpectrumDisplay> display;
};

VstIntPtr VSTCALLBACK pluginHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The built plug-in through its record, on the plug-in's own window system.
class PluginShell : public Shell {
  public:
    explicit PluginShell(double rate) : windows(moduleWindows(CQSCOPE_PLUGIN_PATH)) {
        windows.setManualClock(TRUE, kStartMs);
        parent = windows.createHostWindow(kWidth, kHeight);
        effect = module.pluginMain(pluginHost);
        if (effect == nullptr) {
            ADD_FAILURE() << "no effect";
            return;
        }
        dispatch(effSetSampleRate, 0, nullptr, static_cast<float>(rate));
        dispatch(effSetBlockSize, kBlock);
        dispatch(effMainsChanged, 1);
        EXPECT_TRUE(analysisReady(windows));
        EXPECT_EQ(dispatch(effEditOpen, 0, parent), 1);
    }
    ~PluginShell() override {
        if (effect != nullptr) {
            dispatch(effEditClose);
            dispatch(effClose);
        }
        windows.destroyWindow(parent);
        windows.setManualClock(FALSE, 0);
    }
    void notes(const std::vector<int>& held) override {
        std::vector<VstMidiEvent> events(held.size());
        std::vector<VstEvent*> pointers;
        for (std::size_t i = 0; i < held.size(); ++i) {
            events[i].type = kVstMidiType;
            events[i].byteSize = sizeof(VstMidiEvent);
            events[i].midiData[0] = static_cast<char>(0x90);
            events[i].midiData[1] = static_cast<char>(held[i]);
            events[i].midiData[2] = 100;
            pointers.push_back(reinterpret_cast<VstEvent*>(&events[i]));
        }
        // The list record declares two pointers; a host allocates room for as many as it sends.
        std::vector<unsigned char> storage(sizeof(VstEvents) + pointers.size() * sizeof(void*));
        auto* list = reinterpret_cast<VstEvents*>(storage.data());
        list->numEvents = static_cast<VstInt32>(pointers.size());
        for (std::size_t i = 0; i < pointers.size(); ++i) list->events[i] = pointers[i];
        dispatch(effProcessEvents, 0, list);
    }
    void audio(const float* samples) override {
        float* inputs[2] = {const_cast<float*>(samples), const_cast<float*>(samples)};
        float* outputs[2] = {out[0].data(), out[1].data()};
        effect->processReplacing(effect, inputs, outputs, kBlock);
    }
    Picture tick(DWORD ms) override {
        windows.advanceClock(ms);
        dispatch(effEditIdle);
        return read();
    }
    Picture clickHold() override {
        EXPECT_TRUE(windows.click(parent, display::kHoldClickX, display::kHoldClickY));
        dispatch(effEditIdle);
        return read();
    }

  private:
    VstIntPtr dispatch(VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, 0, value, ptr, opt);
    }
    Picture read() {
        Picture picture(kWidth * kHeight);
        EXPECT_TRUE(windows.readWindowPixels(parent, reinterpret_cast<DWORD*>(picture.data()),
                                             kWidth, kHeight));
        return picture;
    }

    const CqpHostCalls& windows;
    LoadedModule module{CQSCOPE_PLUGIN_PATH};
    HWND parent = nullptr;
    AEffect* effect = nullptr;
    std::vector<float> out[2] = {std::vector<float>(kBlock), std::vector<float>(kBlock)};
};

// The first pixel where two pictures differ, or -1.
long firstDifference(const Picture& a, const Picture& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return static_cast<long>(i);
    }
    return -1;
}

bool anyBar(const Picture& picture) {
    const std::uint32_t green = display::pixelOf(display::kGreen);
    for (int x = 0; x < display::kHoldX; ++x) {
        if (x % display::kColumnsPerSemitone == 0) continue;
        if ((picture[static_cast<std::size_t>(display::kBarBaseRow) * kWidth + x] & green) == green)
            return true;
    }
    return false;
}

// Plays the same input into both shells and checks each picture on the way; the core's display
// is shown at `scale`.
void expectSamePictures(double rate, bool barsExpected, int scale = 1) {
    CoreShell core(rate, scale);
    PluginShell plugin(rate);
    std::vector<float> samples(kBlock);
    Shell* shells[] = {&core, &plugin};
    for (Shell* shell : shells) shell->notes({60, 69});
    auto compare = [&](const char* what, auto take) {
        const Picture ours = take(static_cast<Shell&>(core));
        const Picture theirs = take(static_cast<Shell&>(plugin));
        const long at = firstDifference(ours, theirs);
        EXPECT_EQ(at, -1) << what << ": first difference at column " << at % kWidth << ", row "
                          << at / kWidth;
        // The first refreshes see a history still filling; from Hold on the bars are settled.
        if (std::string(what) != "refresh") {
            EXPECT_EQ(anyBar(ours), barsExpected) << what;
        }
    };
    long block = 0;
    // About 1.2 s at 44.1 kHz, more than the longest window; one refresh every 100 ms.
    for (int refresh = 0; refresh < 12; ++refresh) {
        const long until = static_cast<long>((refresh + 1) * 0.1 * rate) / kBlock;
        for (; block < until; ++block) {
            chordBlock(samples, block, rate);
            for (Shell* shell : shells) shell->audio(samples.data());
        }
        compare("refresh", [](Shell& s) { return s.tick(100); });
    }
    compare("held", [](Shell& s) { return s.clickHold(); });
    compare("held a refresh later", [](Shell& s) { return s.tick(100); });
    compare("released", [](Shell& s) { return s.clickHold(); });
    compare("live again", [](Shell& s) { return s.tick(100); });
}

TEST(SpectrumDisplay, CoreAndDisplayShowThePluginsPicturePixelForPixel) {
    expectSamePictures(44100.0, /*barsExpected=*/true);
}

TEST(SpectrumDisplay, AtARateTheAnalysisCannotServeBothShowNoBars) {
    expectSamePictures(384000.0, /*barsExpected=*/false);
}

// At factor 2 and 3 each pixel of the plug-in's picture is a block, and Hold, clicked where
// the scaled button is shown, holds and releases as at factor 1.
TEST(SpectrumDisplay, AtFactorsTwoAndThreeShowsThePluginsPictureInBlocksAndHolds) {
    for (const int scale : {2, 3}) {
        SCOPED_TRACE(scale);
        expectSamePictures(44100.0, /*barsExpected=*/true, scale);
    }
}

// Mouse positions reach the display as points of the factor-1 picture: whole blocks, rounded
// towards minus infinity, so that a captured pointer left of the window never reads column 0.
TEST(SpectrumDisplay, MousePositionsAtAFactorBecomePicturePoints) {
    struct Case {
        int x, y, factor, pictureX, pictureY;
    };
    for (const Case& c : {Case{1919, 1023, 2, 959, 511}, Case{2, 5, 3, 0, 1},
                          Case{-1, -3, 3, -1, -1}, Case{-4, 7, 3, -2, 2}, Case{-1, 0, 1, -1, 0}}) {
        const POINT at = SpectrumDisplay::picturePoint(MAKELPARAM(c.x, c.y), c.factor);
        EXPECT_EQ(at.x, c.pictureX) << c.x << " at factor " << c.factor;
        EXPECT_EQ(at.y, c.pictureY) << c.y << " at factor " << c.factor;
    }
}

// A host loop that records what the display asks of it, and grants timers or not.
struct RecordingLoop : HostLoop {
    explicit RecordingLoop(bool grantsTimers) : grantsTimers(grantsTimers) {}
    bool startTimer(std::uint32_t periodMs) noexcept override {
        calls.push_back("start " + std::to_string(periodMs));
        return grantsTimers;
    }
    void stopTimer() noexcept override { calls.push_back("stop"); }
    bool watchDescriptor(int fd) noexcept override {
        calls.push_back("watch " + std::to_string(fd));
        return true;
    }
    void unwatchDescriptor(int fd) noexcept override {
        calls.push_back("unwatch " + std::to_string(fd));
    }
    bool grantsTimers;
    std::vector<std::string> calls;
};

// The display holds the host's timer for its whole life and gives it back once; where the host
// grants none, the shell is told to run it from elsewhere. A parent of our own window system
// has no event descriptor, so none is watched.
TEST(SpectrumDisplay, TakesTheHostsTimerForItsLifeAndSaysWhenItNeedsRunCalls) {
    cqscope::AnalyserCore core;
    const HWND parent = cqpCreateHostWindow(kWidth, kHeight);
    for (const bool grants : {true, false}) {
        RecordingLoop loop(grants);
        {
            SpectrumDisplay display(GetModuleHandleA(nullptr), core, &loop);
            EXPECT_EQ(display.needsRunCalls(), !grants && !SpectrumDisplay::kRefreshesItself);
            ASSERT_TRUE(display.open(parent));
            ASSERT_TRUE(display.open(parent));
            EXPECT_EQ(display.eventDescriptor(), -1);
            display.onHostDescriptor(0, true);
        }
        const std::vector<std::string> expected = grants
                                                      ? std::vector<std::string>{"start 50", "stop"}
                                                      : std::vector<std::string>{"start 50"};
        EXPECT_EQ(loop.calls, expected) << "timer granted: " << grants;
    }
    DestroyWindow(parent);
}

}  // namespace
