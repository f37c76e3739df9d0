// The analysis and the note table of the built module, driven as a host drives them: audio
// through the record's replacing-process entry, MIDI through opcode 25, the sample rate through
// opcodes 10 and 12. Results are read through the effect's display source, as its editor
// reads them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

#include "../frame/recording_host.h"
#include "core/display_source.h"
#include "cut_blocks.h"
#include "display/display_model.h"
#include "loaded_module.h"
#include "plugin/myvst.h"
#include "plugin/vendor_calls.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int kA4Column = 3 * 120 + 90;

VstIntPtr send(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
               void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// What the effect's editor reads: the record's object is the effect.
DisplaySource& displayOf(AEffect* e) {
    return static_cast<MyVST*>(static_cast<AudioEffect*>(e->object))->core();
}

// Plays `seconds` of a sine (amplitude 0.5) on both channels in 512-frame blocks.
void playSine(AEffect* e, double rate, double frequency, double seconds) {
    std::vector<float> left(512), right(512), outLeft(512), outRight(512);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    const auto total = static_cast<std::int64_t>(seconds * rate);
    for (std::int64_t done = 0; done < total; done += 512) {
        for (int k = 0; k < 512; ++k) {
            left[k] = static_cast<float>(
                0.5 * std::sin(kTwoPi * frequency * static_cast<double>(done + k) / rate));
            right[k] = left[k];
        }
        e->processReplacing(e, inputs, outputs, 512);
        ASSERT_EQ(outLeft, left);
    }
}

int loudestColumn(DisplaySource& source) {
    int best = 0;
    double bestValue = -1.0;
    for (int c = 0; c < 960; ++c) {
        const double v = source.magnitude(c / 120, c % 120);
        if (v > bestValue) {
            bestValue = v;
            best = c;
        }
    }
    return best;
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

struct MidiList {
    // Room for the events a test sends; a host allocates the list with as many pointers.
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[8] = {};
    VstEvents* record() { return reinterpret_cast<VstEvents*>(this); }
};

VstMidiEvent midi(unsigned char status, unsigned char note, unsigned char velocity) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(note);
    event.midiData[2] = static_cast<char>(velocity);
    return event;
}

class AnalysisThroughTheRecord : public ::testing::Test {
  protected:
    void SetUp() override {
        RecordingHost::reset(2400);
        ASSERT_NE(module.pluginMain, nullptr);
    }
    AEffect* create() {
        AEffect* e = module.pluginMain(RecordingHost::callback);
        EXPECT_NE(e, nullptr);
        return e;
    }
    // Switches the effect on and waits, as cqscope-host's capture does, for the kernels it
    // builds beside: through the effect's vendor-specific wait, which answers 1 once they are
    // in use (the tones below land where they do only with them).
    void switchOn(AEffect* e) {
        send(e, effMainsChanged, 0, 1);
        EXPECT_EQ(send(e, effVendorSpecific, kVendorCallCode, kVendorCallWait, nullptr, 60000.0f),
                  1);
    }
    // An effect switched on at `rate` Hz, its kernels ready.
    AEffect* startAt(float rate) {
        AEffect* e = create();
        if (e == nullptr) return nullptr;
        send(e, effSetSampleRate, 0, 0, nullptr, rate);
        switchOn(e);
        return e;
    }
    LoadedModule module;
};

TEST_F(AnalysisThroughTheRecord, ToneAt48kHzLandsOnA4AfterResume) {
    AEffect* e = create();
    ASSERT_NE(e, nullptr);
    DisplaySource& display = displayOf(e);
    EXPECT_EQ(display.signalSpan(), 0.0f);

    send(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    // Until the effect is first resumed it has no kernels: the audio passes through unanalysed.
    playSine(e, 48000.0, 440.0, 0.8);
    EXPECT_EQ(display.signalSpan(), 0.0f);
    display.transform();
    EXPECT_EQ(display.magnitude(3, 90), 0.0);

    switchOn(e);
    playSine(e, 48000.0, 440.0, 0.8);
    EXPECT_NEAR(display.signalSpan(), 1.0f, 1e-3);
    display.transform();
    EXPECT_EQ(loudestColumn(display), kA4Column);
    EXPECT_NEAR(display.magnitude(3, 90), 0.125, 1e-3);

    // A new rate takes effect at the next resume: until then the 48 kHz kernels stay.
    send(e, effMainsChanged, 0, 0);
    send(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    playSine(e, 48000.0, 440.0, 0.8);
    display.transform();
    EXPECT_EQ(loudestColumn(display), kA4Column);
    switchOn(e);
    playSine(e, 48000.0, 440.0, 0.8);
    display.transform();
    EXPECT_NE(loudestColumn(display), kA4Column) << "44.1 kHz kernels read a 48 kHz A4 flat";

    // A rate the analysis cannot serve shows no bars rather than bars of another rate's
    // kernels, until a resume at a rate it serves.
    send(e, effMainsChanged, 0, 0);
    send(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    switchOn(e);
    send(e, effMainsChanged, 0, 0);
    send(e, effSetSampleRate, 0, 0, nullptr, 4000.0f);
    switchOn(e);
    playSine(e, 48000.0, 440.0, 0.8);
    EXPECT_EQ(display.signalSpan(), 0.0f);
    display.transform();
    EXPECT_EQ(display.magnitude(3, 90), 0.0);
    send(e, effMainsChanged, 0, 0);
    send(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    switchOn(e);
    playSine(e, 48000.0, 440.0, 0.8);
    display.transform();
    EXPECT_EQ(loudestColumn(display), kA4Column);
    EXPECT_EQ(send(e, effClose), 1);
}

// A host that knows the audio in advance plans the display's refreshes through the module's
// host calls, as cqscope-host's render does: the module measures each block as the effect does,
// and the display's transform is then exact (its float copy of the kernels is not made).
TEST_F(AnalysisThroughTheRecord, RefreshesPlannedThroughTheHostCallsAreExact) {
    ASSERT_NE(module.windows, nullptr);
    const CqpHostCalls& calls = *module.windows;
    ASSERT_TRUE(hasTransformAhead(calls));
    int batch = 0;
    EXPECT_EQ(calls.openTransformAhead(4000.0, 400, &batch), nullptr) << "a rate not served";

    AEffect* e = startAt(48000.0f);
    ASSERT_NE(e, nullptr);
    DisplaySource& display = displayOf(e);
    void* ahead = calls.openTransformAhead(48000.0, 4800, &batch);
    ASSERT_NE(ahead, nullptr);
    EXPECT_GE(batch, 1);
    EXPECT_LE(batch, 128);
    std::vector<float> left(512), right(512), outLeft(512), outRight(512);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    for (int done = 0; done < 48000; done += 512) {
        for (int k = 0; k < 512; ++k) {
            left[k] = static_cast<float>(0.5 * std::sin(kTwoPi * 440.0 * (done + k) / 48000.0));
            right[k] = 0.5f * left[k];
        }
        const float span = calls.transformAheadAudio(ahead, left.data(), right.data(), 512);
        e->processReplacing(e, inputs, outputs, 512);
        ASSERT_EQ(span, display.signalSpan()) << "at frame " << done;
        if (done % (10 * 512) == 0) calls.transformAheadRefresh(ahead);
    }
    calls.transformAheadRefresh(ahead);
    EXPECT_EQ(calls.transformAheadFlush(ahead), TRUE);

    // Were the float copy asked for, it would be ready now and the shown magnitudes would
    // differ in their low bits.
    display.prepareAnalysis();
    EXPECT_TRUE(analysisReady(calls));
    display.transformShown([](double, double) noexcept { return true; });
    std::vector<double> shown;
    for (int c = 0; c < 960; ++c) shown.push_back(display.magnitude(c / 120, c % 120));
    display.transform();
    for (int c = 0; c < 960; ++c) ASSERT_EQ(shown[c], display.magnitude(c / 120, c % 120)) << c;
    EXPECT_EQ(loudestColumn(display), kA4Column);
    calls.closeTransformAhead(ahead);
    EXPECT_EQ(send(e, effClose), 1);
}

// Other hosts' vendor-specific calls (another code, another selector, ours with the code and
// selector swapped) are not ours: each is answered 0, as before.
TEST_F(AnalysisThroughTheRecord, OnlyOurVendorCallWaits) {
    AEffect* e = startAt(48000.0f);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(send(e, effVendorSpecific, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(send(e, effVendorSpecific, kVendorCallCode, 0, nullptr, 60000.0f), 0);
    EXPECT_EQ(send(e, effVendorSpecific, 0x4e764566, kVendorCallWait, nullptr, 60000.0f), 0);
    EXPECT_EQ(send(e, effVendorSpecific, static_cast<VstInt32>(kVendorCallWait), kVendorCallCode,
                   nullptr, 60000.0f),
              0);
    // Nothing pending: ours answers at once, whatever its timeout (none, or not a number).
    EXPECT_EQ(send(e, effVendorSpecific, kVendorCallCode, kVendorCallWait, nullptr, 0.0f), 1);
    EXPECT_EQ(send(e, effVendorSpecific, kVendorCallCode, kVendorCallWait, nullptr, NAN), 1);
    EXPECT_EQ(send(e, effClose), 1);
}

// Hosts split blocks at automation points and loop ends, and call with no frames to flush
// parameters: a steady tone at -20 dBFS cut into blocks of any size, with an empty call just
// before each refresh, is loud enough for bars at every refresh; silence stays silent.
TEST_F(AnalysisThroughTheRecord, HowAHostCutsItsBlocksNeverDecidesSilence) {
    AEffect* e = startAt(48000.0f);
    ASSERT_NE(e, nullptr);
    DisplaySource& display = displayOf(e);
    std::vector<float> outLeft(512), outRight(512);
    float* outputs[] = {outLeft.data(), outRight.data()};
    const auto play = [&](float** inputs, std::uint32_t frames) {
        e->processReplacing(e, inputs, outputs, static_cast<VstInt32>(frames));
    };
    long frame = 0;
    for (std::uint32_t frames : {1u, 7u, 64u, 512u}) {
        playCutIntoBlocks(48000.0, frames, 0.3, 0.1, frame, play, [&] {
            EXPECT_TRUE(cqscope::DisplayModel::loudEnough(display.signalSpan()))
                << frames << "-frame blocks";
        });
        display.transform();
        EXPECT_EQ(loudestColumn(display), kA4Column);
        playCutIntoBlocks(48000.0, frames, 0.3, 0.0, frame, play, [&] {
            EXPECT_EQ(display.signalSpan(), 0.0f) << frames << "-frame blocks of silence";
        });
    }
    EXPECT_EQ(send(e, effClose), 1);
}

// At 8 kHz the bins at and above 4 kHz read 0: no alias of a 440 Hz tone near 7.56 kHz.
TEST_F(AnalysisThroughTheRecord, BinsAtOrAboveHalfTheRateReadZero) {
    AEffect* e = startAt(8000.0f);
    ASSERT_NE(e, nullptr);
    DisplaySource& display = displayOf(e);
    playSine(e, 8000.0, 440.0, 1.0);
    display.transform();
    EXPECT_EQ(loudestColumn(display), kA4Column);
    for (int c = 0; c < 960; ++c) {
        const bool below = 55.0 * std::exp2((c - 90) / 120.0) < 4000.0;
        ASSERT_EQ(display.magnitude(c / 120, c % 120) > 0.0, below) << c;
    }
    EXPECT_EQ(send(e, effClose), 1);
}

TEST_F(AnalysisThroughTheRecord, TwoInstancesKeepTheirOwnHistoryAndNotes) {
    AEffect* first = create();
    AEffect* second = create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    switchOn(first);
    switchOn(second);
    playSine(first, 44100.0, 440.0, 0.8);
    VstMidiEvent on = midi(0x90, 60, 100);
    MidiList list;
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&on);
    EXPECT_EQ(send(first, effProcessEvents, 0, 0, list.record()), 1);

    DisplaySource& a = displayOf(first);
    DisplaySource& b = displayOf(second);
    EXPECT_GT(a.signalSpan(), 0.9f);
    EXPECT_EQ(b.signalSpan(), 0.0f);
    a.transform();
    b.transform();
    EXPECT_EQ(loudestColumn(a), kA4Column);
    EXPECT_EQ(b.magnitude(3, 90), 0.0);
    EXPECT_EQ(a.noteState(60), 1);
    EXPECT_EQ(b.noteState(60), 0);
    EXPECT_EQ(send(first, effClose), 1);
    // The survivor still runs on the kernels the two shared.
    playSine(second, 44100.0, 440.0, 0.8);
    b.transform();
    EXPECT_EQ(loudestColumn(b), kA4Column);
    EXPECT_EQ(send(second, effClose), 1);
}

TEST_F(AnalysisThroughTheRecord, EventListsAreReadSafely) {
    AEffect* e = create();
    ASSERT_NE(e, nullptr);
    DisplaySource& display = displayOf(e);
    EXPECT_EQ(send(e, effProcessEvents, 0, 0, nullptr), 1);

    VstMidiEvent outOfRange = midi(0x90, 200, 100);
    VstMidiEvent sysex = midi(0x90, 61, 100);
    sysex.type = kVstSysExType;
    VstMidiEvent on = midi(0x91, 62, 100);
    VstMidiEvent off = midi(0x80, 62, 0);
    VstMidiEvent onAgain = midi(0x9F, 63, 1);
    MidiList list;
    list.numEvents = 6;
    list.events[0] = nullptr;
    list.events[1] = reinterpret_cast<VstEvent*>(&outOfRange);
    list.events[2] = reinterpret_cast<VstEvent*>(&sysex);
    list.events[3] = reinterpret_cast<VstEvent*>(&on);
    list.events[4] = reinterpret_cast<VstEvent*>(&off);
    list.events[5] = reinterpret_cast<VstEvent*>(&onAgain);
    EXPECT_EQ(send(e, effProcessEvents, 0, 0, list.record()), 1);
    EXPECT_EQ(display.noteState(61), 0);
    EXPECT_EQ(display.noteState(62), 0);
    EXPECT_EQ(display.noteState(63), 1);
    for (int n = 0; n < 128; ++n) {
        EXPECT_EQ(display.noteState(n), n == 63 ? 1 : 0) << n;
    }
    list.numEvents = -3;
    EXPECT_EQ(send(e, effProcessEvents, 0, 0, list.record()), 1);
    EXPECT_EQ(send(e, effClose), 1);
}

TEST_F(AnalysisThroughTheRecord, TheBankGoesWithItsEffect) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizer allocators keep freed memory resident; their leak check covers it";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    GTEST_SKIP() << "sanitizer allocators keep freed memory resident; their leak check covers it";
#endif
#endif
    // The kernels alone are about 85 MiB at 44.1 kHz.
    constexpr std::size_t kKernelBytes = std::size_t{60} << 20;
    send(create(), effClose);  // the module's own one-time allocations happen here
    for (int round = 0; round < 3; ++round) {
        const std::size_t before = residentBytes();
        AEffect* e = create();
        ASSERT_NE(e, nullptr);
        switchOn(e);
        EXPECT_GT(residentBytes(), before + kKernelBytes);
        EXPECT_EQ(send(e, effClose), 1);
        EXPECT_LT(residentBytes(), before + (std::size_t{8} << 20)) << "round " << round;
    }
}

}  // namespace
