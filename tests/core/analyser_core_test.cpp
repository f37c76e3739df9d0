// The analyser core as a shell drives it: a rate it cannot serve shows no bars (the span,
// the magnitudes a Hold would draw) rather than bars of another rate's kernels, the lazy
// kernel policy builds nothing before it is needed, a rate given with each block restarts
// only when it changes, how a host cuts its blocks never decides silence, and the notes every
// shell hands it.
#include "core/analyser_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "../abi/cut_blocks.h"
#include "analysis/kernel_set.h"
#include "display/display_model.h"

namespace cqscope {
namespace {

constexpr int kA4Column = 3 * kBinsPerOctave + 90;
// Far longer than any build: a build that never ends fails the test instead of hanging it.
constexpr std::chrono::seconds kBuildTimeout{60};

// Plays `seconds` of a 440 Hz sine of amplitude 0.5 at `rate` Hz in 512-frame blocks.
void playA4(AnalyserCore& core, double rate, double seconds) {
    std::vector<float> left(512);
    const float* inputs[2] = {left.data(), left.data()};
    const auto total = static_cast<long long>(seconds * rate);
    for (long long done = 0; done < total; done += 512) {
        for (int k = 0; k < 512; ++k) {
            left[k] = static_cast<float>(
                0.5 * std::sin(6.283185307179586 * 440.0 * static_cast<double>(done + k) / rate));
        }
        core.audio(inputs, 512);
    }
}

int loudestColumn(const AnalyserCore& core) {
    int best = 0;
    for (int c = 1; c < kBinCount; ++c) {
        if (core.magnitude(c / kBinsPerOctave, c % kBinsPerOctave) >
            core.magnitude(best / kBinsPerOctave, best % kBinsPerOctave)) {
            best = c;
        }
    }
    return best;
}

TEST(AnalyserCoreRates, AnUnservedRateShowsNoBarsUntilAServedOne) {
    AnalyserCore core(48000.0);
    EXPECT_EQ(core.start(), AnalyserCore::RateChange::building);
    ASSERT_TRUE(core.waitUntilReady(kBuildTimeout));
    EXPECT_EQ(core.lastBuild(), AnalyserCore::RateChange::switched);
    playA4(core, 48000.0, 0.8);
    core.transform();
    ASSERT_EQ(loudestColumn(core), kA4Column);

    // 48 kHz to 384 kHz: the 48 kHz kernels would put A4 near 55 Hz. Nothing is analysed, the
    // kernels go, and what a Hold would draw from is empty too.
    core.setSampleRate(384000.0);
    EXPECT_EQ(core.start(), AnalyserCore::RateChange::unsupported);
    EXPECT_FALSE(core.servesRate());
    EXPECT_EQ(core.analysisRate(), 0.0);
    playA4(core, 384000.0, 0.2);
    EXPECT_EQ(core.signalSpan(), 0.0f);
    core.prepareAnalysis();  // the display's refresh builds nothing for such a rate either
    ASSERT_TRUE(core.waitUntilReady(kBuildTimeout));
    core.transform();
    EXPECT_EQ(core.analysisRate(), 0.0);
    for (int c = 0; c < kBinCount; ++c) {
        ASSERT_EQ(core.magnitude(c / kBinsPerOctave, c % kBinsPerOctave), 0.0) << c;
    }

    core.setSampleRate(96000.0);
    EXPECT_EQ(core.start(), AnalyserCore::RateChange::building);
    ASSERT_TRUE(core.waitUntilReady(kBuildTimeout));
    EXPECT_TRUE(core.servesRate());
    playA4(core, 96000.0, 0.8);
    EXPECT_GT(core.signalSpan(), 0.9f);
    core.transform();
    EXPECT_EQ(loudestColumn(core), kA4Column);
}

TEST(AnalyserCoreRates, KernelsAreBuiltByTheFirstStartOrForWaitingAudio) {
    const int builtBefore = KernelSet::builtCount();
    {
        AnalyserCore core(44100.0);
        core.setSampleRate(8000.0);
        core.prepareAnalysis();  // no audio yet: nothing to build for
        ASSERT_TRUE(core.waitUntilReady(kBuildTimeout));
        EXPECT_EQ(KernelSet::builtCount(), builtBefore);
        playA4(core, 8000.0, 0.1);
        EXPECT_EQ(core.signalSpan(), 0.0f);
        core.prepareAnalysis();  // audio came first: the display has the recorded rate's built
        ASSERT_TRUE(core.waitUntilReady(kBuildTimeout));
        EXPECT_EQ(KernelSet::builtCount(), builtBefore + 1);
        EXPECT_EQ(core.analysisRate(), 8000.0);
        EXPECT_EQ(core.start(), AnalyserCore::RateChange::unchanged);
        EXPECT_EQ(KernelSet::builtCount(), builtBefore + 1);
    }
    EXPECT_EQ(KernelSet::liveCount(), 0);
}

// A steady tone at -20 dBFS in blocks of 1 to 512 frames, with a call of no frames just before
// each refresh, is loud enough for bars at every refresh; silence cut alike stays silent.
TEST(AnalyserCoreSilence, HowAHostCutsItsBlocksNeverDecidesSilence) {
    AnalyserCore core(48000.0);
    core.start();
    ASSERT_TRUE(core.waitUntilReady(kBuildTimeout));
    ASSERT_EQ(core.lastBuild(), AnalyserCore::RateChange::switched);
    long frame = 0;
    const auto play = [&](float** channels, std::uint32_t frames) {
        core.audio(channels, static_cast<std::int32_t>(frames));
    };
    for (std::uint32_t frames : {1u, 7u, 64u, 512u}) {
        playCutIntoBlocks(48000.0, frames, 0.3, 0.1, frame, play, [&] {
            EXPECT_TRUE(DisplayModel::loudEnough(core.signalSpan())) << frames << "-frame blocks";
        });
        playCutIntoBlocks(48000.0, frames, 0.3, 0.0, frame, play, [&] {
            EXPECT_EQ(core.signalSpan(), 0.0f) << frames << "-frame blocks of silence";
        });
    }
}

// What every shell hands the core: a MIDI message as its host delivers it (only note-ons and
// note-offs of three bytes are taken, and the same test tells a plug-in what to pass on to its
// UI), and a release of every held note at once.
TEST(AnalyserCoreNotes, TakesNoteMessagesOnlyAndReleasesEveryNote) {
    const std::uint8_t taken[][3] = {{0x90, 60, 1}, {0x9F, 61, 127}, {0x80, 62, 0}, {0x8F, 63, 64}};
    for (const auto& message : taken) EXPECT_TRUE(AnalyserCore::takesMidi(message, 3));
    const std::uint8_t ignored[][3] = {{0xA0, 60, 1}, {0xB0, 123, 0}, {0xC0, 5, 0},
                                       {0xE0, 0, 64}, {0xF8, 0, 0},   {0x3C, 60, 1}};
    for (const auto& message : ignored) EXPECT_FALSE(AnalyserCore::takesMidi(message, 3));
    EXPECT_FALSE(AnalyserCore::takesMidi(taken[0], 2));
    EXPECT_FALSE(AnalyserCore::takesMidi(taken[0], 4));
    EXPECT_FALSE(AnalyserCore::takesMidi(nullptr, 3));

    AnalyserCore core;
    for (int note = 0; note < 128; ++note) {
        const std::uint8_t on[3] = {0x90, static_cast<std::uint8_t>(note), 100};
        core.midiMessage(on, 3);
    }
    const std::uint8_t allNotesOff[3] = {0xB0, 123, 0};
    core.midiMessage(allNotesOff, 3);
    const std::uint8_t shortOff[2] = {0x80, 60};
    core.midiMessage(shortOff, 2);
    const std::uint8_t highOff[3] = {0x80, 200, 0};
    core.midiMessage(highOff, 3);
    for (int note = 0; note < 128; ++note) ASSERT_EQ(core.noteState(note), 1) << note;
    const std::uint8_t velocityZero[3] = {0x90, 61, 0};
    core.midiMessage(velocityZero, 3);
    EXPECT_EQ(core.noteState(61), 0);

    core.releaseAllNotes();
    for (int note = 0; note < 128; ++note) EXPECT_EQ(core.noteState(note), 0) << note;
}

// A shell whose host gives the rate with each block starts the core at the first block and
// whenever the rate changes, never for a block at the rate it runs.
TEST(AnalyserCoreRates, FollowRateStartsOnTheFirstBlockAndOnAChangeOnly) {
    AnalyserCore core(0);
    EXPECT_TRUE(core.followRate(kDefaultSampleRate)) << "the first block starts the core";
    ASSERT_TRUE(core.waitUntilReady(kBuildTimeout));
    EXPECT_EQ(core.analysisRate(), kDefaultSampleRate);
    EXPECT_FALSE(core.followRate(kDefaultSampleRate));
    EXPECT_TRUE(core.followRate(48000.0));
    ASSERT_TRUE(core.waitUntilReady(kBuildTimeout));
    EXPECT_EQ(core.analysisRate(), 48000.0);

    AnalyserCore started(48000.0);
    (void)started.start();
    EXPECT_FALSE(started.followRate(48000.0)) << "a host's start counts as the first block's";
    ASSERT_TRUE(started.waitUntilReady(kBuildTimeout));
}

}  // namespace
}  // namespace cqscope
