#include <gtest/gtest.h>

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
