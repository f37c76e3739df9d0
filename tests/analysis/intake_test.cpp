#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "analysis/constant_q_bank.h"
#include "signals.h"

namespace cqscope {
namespace {

using testing::StereoBlock;

class Intake : public ::testing::Test {
  protected:
    ConstantQBank bank{44100.0};  // historyLength 32363
};

TEST_F(Intake, CopiesMixesAndMeasuresTheSpan) {
    StereoBlock block(64);
    for (std::size_t k = 0; k < 64; ++k) {
        block.left[k] = 0.25f;
        block.right[k] = 0.25f;
    }
    EXPECT_EQ(bank.appendBlock(block.in(), 64), 0.25f);
    EXPECT_EQ(bank.writeCount(), 64u);
    for (std::uint32_t i = 0; i < 64; ++i) ASSERT_EQ(bank.historyAt(i), 0.25);
    EXPECT_EQ(bank.historyAt(64), 0.0);

    // Opposite channels cancel; the span covers both.
    for (std::size_t k = 0; k < 64; ++k) {
        block.left[k] = 1.0f;
        block.right[k] = -1.0f;
    }
    EXPECT_EQ(bank.appendBlock(block.in(), 64), 2.0f);
    for (std::uint32_t i = 64; i < 128; ++i) ASSERT_EQ(bank.historyAt(i), 0.0);

    // One loud frame in a silent block.
    std::fill(block.left.begin(), block.left.end(), 0.0f);
    std::fill(block.right.begin(), block.right.end(), 0.0f);
    block.left[10] = 0.5f;
    block.right[10] = -0.25f;
    EXPECT_EQ(bank.appendBlock(block.in(), 64), 0.75f);
    EXPECT_EQ(bank.historyAt(128 + 10), 0.125);
}

// The block-wise intake against a frame-by-frame model, on blocks of every length up to 40
// (vector bodies and tails) with signed zeros, NaNs, infinities and denormals mixed in: outputs
// the mix rounded in single precision, NaNs never an extreme.
TEST_F(Intake, MatchesTheFrameByFrameRuleOnAwkwardSamples) {
    std::mt19937 random(3);
    const float specials[] = {0.0f,
                              -0.0f,
                              std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::denorm_min(),
                              -1e-40f};
    std::uniform_real_distribution<float> level(-2.0f, 2.0f);
    std::uint32_t expectedCount = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const std::int32_t frames = trial % 41;
        StereoBlock block(static_cast<std::size_t>(frames) + 1);
        for (std::int32_t k = 0; k < frames; ++k) {
            for (float* sample : {&block.left[k], &block.right[k]}) {
                const unsigned pick = random() % 16;
                *sample = pick < 7 ? specials[pick] : level(random) * (trial % 3 == 0 ? -1 : 1);
            }
        }
        // A signalling NaN with a payload must reach the output untouched too.
        if (frames > 0) block.left[0] = std::bit_cast<float>(0x7FA00001u);
        // Silence before the block, so that its span is its own (short blocks reach back).
        for (std::uint32_t back = 1; back <= 512; ++back) {
            bank.setHistoryAt((expectedCount - back) % bank.historyLength(), 0.0);
        }
        float high = 0.0f, low = 0.0f;
        for (std::int32_t k = 0; k < frames; ++k) {
            const float a = block.left[k], b = block.right[k];
            if (a > high) high = a;
            if (b > high) high = b;
            if (a < low) low = a;
            if (b < low) low = b;
        }
        const float span = bank.appendBlock(block.in(), frames);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(span), std::bit_cast<std::uint32_t>(high - low))
            << "trial " << trial;
        for (std::int32_t k = 0; k < frames; ++k) {
            const float m = 0.5f * block.left[k] + 0.5f * block.right[k];
            const double stored = bank.historyAt((expectedCount + k) % bank.historyLength());
            // Which NaN payload a sum of two NaNs carries depends on operand order.
            if (std::isnan(m)) {
                ASSERT_TRUE(std::isnan(stored)) << "trial " << trial << " frame " << k;
                continue;
            }
            ASSERT_EQ(std::bit_cast<std::uint64_t>(stored),
                      std::bit_cast<std::uint64_t>(static_cast<double>(m)))
                << "trial " << trial << " frame " << k;
        }
        expectedCount += static_cast<std::uint32_t>(frames);
        ASSERT_EQ(bank.writeCount(), expectedCount);
    }
}

// A block shorter than 512 frames is measured together with the mono history of the frames
// before it, back to 512 frames in all: exactly to that frame, over the mix (not the channels,
// which are gone), NaNs ignored. A block of 512 frames or more is measured alone.
TEST_F(Intake, ShortBlocksReachBackOverTheMonoHistoryTo512Frames) {
    StereoBlock earlier(1000);
    earlier.left[488] = earlier.right[488] = -0.7f;  // 512 frames before the next one: outside
    earlier.left[489] = earlier.right[489] = 0.3f;   // 511 frames before: inside
    earlier.left[900] = 0.8f;                        // channels that cancel in the mix
    earlier.right[900] = -0.8f;
    earlier.left[950] = std::numeric_limits<float>::quiet_NaN();
    earlier.left[999] = earlier.right[999] = -0.2f;
    EXPECT_EQ(bank.appendBlock(earlier.in(), 1000), 1.6f);  // its own channels: 0.8 - (-0.8)

    StereoBlock quiet(512);
    EXPECT_EQ(bank.appendBlock(quiet.in(), 1), 0.3f + 0.2f);
    // 510 frames reach back two: over the 1-frame block to the -0.2; 511 only over the 510.
    EXPECT_EQ(bank.appendBlock(quiet.in(), 510), 0.2f);
    EXPECT_EQ(bank.appendBlock(quiet.in(), 511), 0.0f);
    earlier.left[0] = earlier.right[0] = 0.1f;
    EXPECT_EQ(bank.appendBlock(earlier.in(), 1), 0.1f);
    EXPECT_EQ(bank.appendBlock(quiet.in(), 512), 0.0f);  // measured alone
}

// Blocks of every kind of length against a model that keeps every mixed frame, on a small ring
// that wraps many times, from a counter that wraps to 0 on the way: the reach back follows the
// frames across both wraps. Each block has a level of its own, so a reach one frame too far or
// too short changes the span.
TEST(IntakeReach, FollowsTheFramesAcrossRingAndCounterWraps) {
    ConstantQBank bank(8000.0);  // historyLength 5870
    bank.setWriteCount(0xFFFFFFFFu - 3000);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> decades(-4.0f, 0.0f);
    std::vector<float> mixed(512, 0.0f);  // the frames before the first: the history's zeros
    const std::int32_t lengths[] = {1, 7, 64, 511, 512, 513, 0, 300, 2, 1000};
    for (int trial = 0; trial < 300; ++trial) {
        const std::int32_t frames = lengths[trial % 10];
        const float level = std::pow(10.0f, decades(random));
        StereoBlock block(static_cast<std::size_t>(frames) + 1);
        float high = 0.0f, low = 0.0f;
        for (std::int32_t k = 0; k < frames; ++k) {
            block.left[k] = level * unit(random);
            block.right[k] = level * unit(random);
            high = std::max({high, block.left[k], block.right[k]});
            low = std::min({low, block.left[k], block.right[k]});
        }
        for (std::int32_t back = 1; frames > 0 && back <= 512 - frames; ++back) {
            high = std::max(high, mixed[mixed.size() - back]);
            low = std::min(low, mixed[mixed.size() - back]);
        }
        ASSERT_EQ(bank.appendBlock(block.in(), frames), frames > 0 ? high - low : 0.0f)
            << "trial " << trial;
        for (std::int32_t k = 0; k < frames; ++k) {
            mixed.push_back(0.5f * block.left[k] + 0.5f * block.right[k]);
        }
    }
    EXPECT_LT(bank.writeCount(), 0xFFFFFFFFu - 3000);  // the counter wrapped
    EXPECT_GT(mixed.size(), 512u + 4 * 5870u);         // the ring wrapped
}

TEST_F(Intake, EmptyAndNegativeBlocksTouchNothing) {
    StereoBlock block(4);
    block.left = {1, 2, 3, 4};
    for (std::int32_t frames : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_EQ(bank.appendBlock(block.in(), frames), 0.0f);
        EXPECT_EQ(bank.writeCount(), 0u);
    }
}

TEST_F(Intake, RingEndAndCounterWrap) {
    StereoBlock block(3);
    block.left = {1.0f, 2.0f, 3.0f};
    block.right = block.left;
    bank.setWriteCount(32362);
    bank.appendBlock(block.in(), 3);
    EXPECT_EQ(bank.historyAt(32362), 1.0);
    EXPECT_EQ(bank.historyAt(0), 2.0);
    EXPECT_EQ(bank.historyAt(1), 3.0);
    EXPECT_EQ(bank.writeCount(), 32365u);

    // 4294967295 mod 32363 = 8839; after the wrap the position jumps to 0.
    bank.setWriteCount(0xFFFFFFFFu);
    block.left = {4.0f, 5.0f, 6.0f};
    block.right = block.left;
    bank.appendBlock(block.in(), 3);
    EXPECT_EQ(bank.historyAt(8839), 4.0);
    EXPECT_EQ(bank.historyAt(0), 5.0);
    EXPECT_EQ(bank.historyAt(1), 6.0);
    EXPECT_EQ(bank.writeCount(), 2u);
}

TEST_F(Intake, LongBlocksWrapTheRingManyTimes) {
    const std::int32_t frames = 1 << 20;
    StereoBlock block(frames);
    for (std::int32_t k = 0; k < frames; ++k) {
        block.left[k] = static_cast<float>(k % 1000) / 1000.0f;
        block.right[k] = -block.left[k];
    }
    block.left[frames - 1] = 0.75f;
    block.right[frames - 1] = 0.25f;
    bank.setWriteCount(0xFFFFFFFFu - 100000);
    EXPECT_EQ(bank.appendBlock(block.in(), frames), 0.999f + 0.999f);
    const std::uint32_t end = 0xFFFFFFFFu - 100000 + static_cast<std::uint32_t>(frames);
    EXPECT_EQ(bank.writeCount(), end);
    // The newest frame sits just before the next write position.
    EXPECT_EQ(bank.historyAt((end - 1) % 32363), 0.5);
    EXPECT_EQ(bank.historyAt((end - 2) % 32363), 0.0);
}

}  // namespace
}  // namespace cqscope
