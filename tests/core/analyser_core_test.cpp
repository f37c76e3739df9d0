// The analyser core as a shell drives it: a rate it cannot serve shows no bars (the span,
// the magnitudes a Hold would draw) rather than bars of another rate's kernels, the lazy
// kernel policy builds nothing before it is needed, and how a host cuts its blocks never
// decides silence.
#include "core/analyser_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
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

}  // namespace
}  // namespace cqscope
