#include "analysis/analyser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "midi/note_table.h"
#include "signals.h"

namespace cqscope {
namespace {

using testing::kTwoPi;
using testing::loudestColumn;
using testing::StereoBlock;

// Plays `seconds` of a sine of `frequency` Hz at `rate` Hz through the analyser in blocks of
// 512 frames, continuing from frame `start`.
void playSine(Analyser& analyser, double rate, double frequency, double seconds,
              std::int64_t start = 0) {
    StereoBlock block(512);
    const auto total = static_cast<std::int64_t>(seconds * rate);
    for (std::int64_t done = 0; done < total; done += 512) {
        for (std::size_t k = 0; k < 512; ++k) {
            const double n = static_cast<double>(start + done + static_cast<std::int64_t>(k));
            block.left[k] = static_cast<float>(0.5 * std::sin(kTwoPi * frequency * n / rate));
            block.right[k] = block.left[k];
        }
        analyser.processBlock(block.in(), 512);
    }
}

// Fills the block with the next frames of a slow sine (amplitude 0.5) on the left and the same
// times `right` on the right, advancing `frame`.
void fillSlowSine(StereoBlock& block, std::int64_t& frame, float right) {
    for (std::size_t k = 0; k < block.left.size(); ++k, ++frame) {
        block.left[k] = static_cast<float>(0.5 * std::sin(0.05 * static_cast<double>(frame)));
        block.right[k] = right * block.left[k];
    }
}

TEST(Analyser, SinesLandInTheirBins) {
    Analyser analyser(44100.0);
    EXPECT_EQ(analyser.signalSpan(), 0.0f);
    for (const auto& m : analyser.magnitudes()) {
        for (double v : m) EXPECT_EQ(v, 0.0);  // before the first transform
    }
    const int bins[][2] = {{0, 90}, {1, 0}, {3, 90}, {4, 47}, {6, 90}, {7, 110}};
    for (const auto& b : bins) {
        playSine(analyser, 44100.0, binFrequency(b[0], b[1]), 0.8);
        // The last block holds at least part of a period of the +-0.5 sine.
        EXPECT_GT(analyser.signalSpan(), 0.5f);
        EXPECT_LE(analyser.signalSpan(), 1.0f);
        analyser.transform();
        EXPECT_EQ(loudestColumn(analyser.magnitudes()), b[0] * kBinsPerOctave + b[1])
            << b[0] << "," << b[1];
        EXPECT_NEAR(analyser.magnitudes()[b[0]][b[1]], 0.125, 1e-3);
    }
}

TEST(Analyser, FollowsTheSampleRateOnlyWhenAskedAndOnlyWithinRange) {
    Analyser analyser(44100.0);
    const std::uint32_t oldLength = analyser.bank().historyLength();
    for (double bad : {0.0, 7999.0, 192001.0, -48000.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(analyser.setSampleRate(bad), Analyser::RateChange::unsupported) << bad;
        EXPECT_EQ(analyser.analysisRate(), 44100.0);
    }
    EXPECT_EQ(analyser.setSampleRate(44100.0), Analyser::RateChange::unchanged);
    EXPECT_EQ(analyser.bank().historyLength(), oldLength);

    // At 44.1 kHz kernels, a 440 Hz tone played at 48 kHz reads as about 404 Hz.
    playSine(analyser, 48000.0, 440.0, 0.8);
    analyser.transform();
    EXPECT_NE(loudestColumn(analyser.magnitudes()), 3 * kBinsPerOctave + 90);

    EXPECT_EQ(analyser.setSampleRate(48000.0), Analyser::RateChange::switched);
    EXPECT_EQ(analyser.analysisRate(), 48000.0);
    EXPECT_EQ(analyser.bank().historyLength(), 35225u);  // 48000 * 24 / C1, truncated
    EXPECT_EQ(analyser.bank().windowLength(3, 90), 2618);
    EXPECT_EQ(analyser.bank().writeCount(), 0u);
    playSine(analyser, 48000.0, 440.0, 0.8);
    analyser.transform();
    EXPECT_EQ(loudestColumn(analyser.magnitudes()), 3 * kBinsPerOctave + 90);
    EXPECT_NEAR(analyser.magnitudes()[3][90], 0.125, 1e-3);
}

TEST(Analyser, HighestRateBuildsAndResolvesTheTopBin) {
    Analyser analyser(192000.0);
    EXPECT_EQ(analyser.bank().historyLength(), 140903u);  // 192000 * 24 / C1, truncated
    EXPECT_EQ(analyser.bank().windowLength(7, 119), 553);
    playSine(analyser, 192000.0, binFrequency(7, 119), 0.1);
    analyser.transform();
    EXPECT_EQ(loudestColumn(analyser.magnitudes()), 7 * kBinsPerOctave + 119);
    EXPECT_NEAR(analyser.magnitudes()[7][119], 0.125, 1e-3);
}

// A host's call with no frames (a parameter flush) changes nothing: not the span of the audio
// before it, not the history, and before any bank it does not count as audio waiting.
TEST(Analyser, EmptyBlocksChangeNothing) {
    Analyser waiting;
    StereoBlock block(512);
    for (std::int32_t frames : {0, -1}) waiting.processBlock(block.in(), frames);
    EXPECT_EQ(waiting.buildForWaitingAudio(8000.0, false), Analyser::RateChange::unchanged);
    EXPECT_FALSE(waiting.hasBank());

    Analyser analyser(8000.0);
    playSine(analyser, 8000.0, 440.0, 0.2);
    const float span = analyser.signalSpan();
    const std::uint32_t count = analyser.bank().writeCount();
    ASSERT_GT(span, 0.9f);
    for (std::int32_t frames : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
        analyser.processBlock(block.in(), frames);
        EXPECT_EQ(analyser.signalSpan(), span) << frames;
        EXPECT_EQ(analyser.bank().writeCount(), count) << frames;
    }
}

// Sampled at 8 or 16 kHz, a bin at or above half the rate would correlate with the alias of a
// lower tone (a 440 Hz tone at 8 kHz read as 7559 Hz): such bins read 0 in the exact and in the
// display's transform, and the tone's own bins are untouched.
TEST(Analyser, BinsAtOrAboveHalfTheRateReadZero) {
    struct Case {
        double rate, tone;
        int column;  // the tone's bin
    };
    for (const Case c : {Case{8000.0, 440.0, 3 * kBinsPerOctave + 90},
                         Case{16000.0, binFrequency(7, 100), 7 * kBinsPerOctave + 100}}) {
        Analyser analyser(c.rate);
        playSine(analyser, c.rate, c.tone, 0.8);
        int above = 0;
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 0) {
                analyser.transform();
            } else {
                analyser.transformShown([](double low, double high) noexcept {
                    return std::floor(std::log(low) * 50) == std::floor(std::log(high) * 50);
                });
            }
            const Magnitudes& m = analyser.magnitudes();
            EXPECT_EQ(loudestColumn(m), c.column) << c.rate;
            EXPECT_NEAR(m[c.column / kBinsPerOctave][c.column % kBinsPerOctave], 0.125, 2e-3);
            above = 0;
            for (int col = 0; col < kBinCount; ++col) {
                const int i = col / kBinsPerOctave, j = col % kBinsPerOctave;
                if (binFrequency(i, j) < c.rate / 2) {
                    ASSERT_GT(m[i][j], 0.0) << c.rate << " Hz, bin " << col;
                    continue;
                }
                ++above;
                ASSERT_EQ(m[i][j], 0.0) << c.rate << " Hz, bin " << col << ", pass " << pass;
            }
        }
        EXPECT_EQ(above, c.rate == 8000.0 ? 127 : 7);
    }
}

// The audio callback runs on one thread while another transforms, reads notes and switches
// the rate back and forth. Run under ThreadSanitizer (the tsan preset) to check the protocol.
TEST(Analyser, AudioTransformsNotesAndRateSwitchesRunConcurrently) {
    Analyser analyser(8000.0);
    NoteTable notes;
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> blocks{0};
    std::atomic<std::int64_t> transforms{0};

    std::thread audio([&] {
        StereoBlock block(256);
        std::int64_t frame = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            fillSlowSine(block, frame, 1.0f);
            analyser.processBlock(block.in(), 256);
            notes.applyMidi(0x90, static_cast<std::uint8_t>(frame % 128), 100);
            notes.applyMidi(0x80, static_cast<std::uint8_t>((frame + 64) % 128), 0);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    std::thread display([&] {
        int held = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            if (analyser.signalSpan() >= 0.005f) {
                analyser.transform();
                transforms.fetch_add(1, std::memory_order_relaxed);
            }
            for (int n = 0; n < 128; ++n) held += notes.noteState(n);
            for (const auto& octave : analyser.magnitudes()) {
                for (double v : octave) ASSERT_TRUE(std::isfinite(v));
            }
        }
        EXPECT_GE(held, 0);
    });

    const double rates[] = {11025.0, 8000.0, 12000.0, 8000.0};
    for (double rate : rates) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(analyser.setSampleRate(rate), Analyser::RateChange::switched);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    stop.store(true);
    audio.join();
    display.join();
    EXPECT_GT(blocks.load(), 0);
    EXPECT_GT(transforms.load(), 0);
    EXPECT_EQ(analyser.analysisRate(), 8000.0);
}

// Audio already flowing when the first bank appears: the display has it built beside while a
// resume asks for the same rate on another thread; the audio thread never waits for either.
// Run under ThreadSanitizer too.
TEST(Analyser, FirstBankBuiltWhileAudioFlowsAndAResumeRaces) {
    Analyser analyser;
    EXPECT_FALSE(analyser.hasBank());
    EXPECT_EQ(analyser.buildForWaitingAudio(8000.0, true), Analyser::RateChange::unchanged)
        << "no audio yet: nothing to build for";
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> analysedBlocks{0};
    std::thread audio([&] {
        StereoBlock block(256);
        std::int64_t frame = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            fillSlowSine(block, frame, -1.0f);
            analyser.processBlock(block.in(), 256);
            if (analyser.signalSpan() > 0.0f) analysedBlocks.fetch_add(1);
        }
    });
    std::thread display([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            analyser.buildForWaitingAudio(8000.0, true);
            analyser.transformShown([](double, double) noexcept { return true; });
        }
    });
    while (!analyser.hasBank()) std::this_thread::yield();
    EXPECT_EQ(analyser.setSampleRate(8000.0), Analyser::RateChange::unchanged)
        << "the display had it built first";
    EXPECT_EQ(analyser.requestSampleRate(8000.0, false), Analyser::RateChange::unchanged);
    while (analysedBlocks.load() < 10) std::this_thread::yield();
    stop.store(true);
    audio.join();
    display.join();
    EXPECT_TRUE(analyser.waitForBuild(std::chrono::seconds(30)));
    EXPECT_EQ(analyser.analysisRate(), 8000.0);
    EXPECT_EQ(analyser.lastBuild(), Analyser::RateChange::switched);
}

// Builds asked for beside: the caller returns at once while the old bank serves; a build
// superseded by a later request, by a return to the rate in use or by an unsupported rate is
// freed and never published; destroying the analyser while it builds waits for the build and
// leaves nothing behind. Run under AddressSanitizer and ThreadSanitizer too.
TEST(Analyser, BuildsBesideAreSupersededNeverStaleAndEndWithTheAnalyser) {
    const int liveBefore = KernelSet::liveCount();
    {
        Analyser analyser(8000.0);
        EXPECT_EQ(analyser.requestSampleRate(16000.0, false), Analyser::RateChange::building);
        EXPECT_EQ(analyser.requestSampleRate(16000.0, false), Analyser::RateChange::building)
            << "the same rate again joins the build in progress";
        EXPECT_EQ(analyser.requestSampleRate(22050.0, true), Analyser::RateChange::building);
        playSine(analyser, 8000.0, 440.0, 0.2);  // the old bank serves meanwhile
        ASSERT_TRUE(analyser.waitForBuild(std::chrono::seconds(60)));
        EXPECT_EQ(analyser.analysisRate(), 22050.0) << "the last request wins";
        EXPECT_EQ(analyser.lastBuild(), Analyser::RateChange::switched);
        EXPECT_TRUE(analyser.servesRate());
        playSine(analyser, 22050.0, 440.0, 1.0);
        analyser.transformShown([](double, double) noexcept { return true; });
        EXPECT_EQ(loudestColumn(analyser.magnitudes()), 3 * kBinsPerOctave + 90) << "A4";

        // Asked for and dropped again before it could be published.
        EXPECT_EQ(analyser.requestSampleRate(48000.0, false), Analyser::RateChange::building);
        EXPECT_EQ(analyser.requestSampleRate(22050.0, false), Analyser::RateChange::unchanged);
        ASSERT_TRUE(analyser.waitForBuild(std::chrono::seconds(60)));
        EXPECT_EQ(analyser.analysisRate(), 22050.0);

        EXPECT_EQ(analyser.requestSampleRate(48000.0, false), Analyser::RateChange::building);
        EXPECT_EQ(analyser.requestSampleRate(400000.0, false), Analyser::RateChange::unsupported);
        ASSERT_TRUE(analyser.waitForBuild(std::chrono::seconds(60)));
        EXPECT_FALSE(analyser.hasBank()) << "refused: neither the old bank nor the stale one";
        EXPECT_FALSE(analyser.servesRate());
        EXPECT_EQ(KernelSet::liveCount(), liveBefore);

        EXPECT_EQ(analyser.requestSampleRate(44100.0, false), Analyser::RateChange::building);
        EXPECT_TRUE(waitForAnalysisBuilds(std::chrono::seconds(60)));
        EXPECT_EQ(analyser.analysisRate(), 44100.0);
        EXPECT_TRUE(analyser.servesRate());
        EXPECT_EQ(analyser.requestSampleRate(96000.0, false), Analyser::RateChange::building);
    }  // destroyed while building 96 kHz
    EXPECT_EQ(KernelSet::liveCount(), liveBefore);
    EXPECT_TRUE(waitForAnalysisBuilds(std::chrono::seconds(0)));
}

}  // namespace
}  // namespace cqscope
