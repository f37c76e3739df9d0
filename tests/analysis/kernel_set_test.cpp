#include "analysis/kernel_set.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/constant_q_bank.h"
#include "signals.h"

namespace cqscope {
namespace {

using testing::kTwoPi;

TEST(KernelSet, CoefficientsFollowTheWindowedSinusoids) {
    const auto set = KernelSet::forRate(44100.0);
    EXPECT_EQ(set->analysisRate(), 44100.0);
    EXPECT_EQ(set->historyLength(), 32363u);
    EXPECT_EQ(set->windowLength(0, 0), 32363);
    EXPECT_EQ(set->windowLength(3, 90), 2405);
    EXPECT_EQ(set->windowLength(7, 119), 127);

    for (int i = 0; i < kOctaves; ++i) {
        for (int j = 0; j < kBinsPerOctave; ++j) {
            const std::int32_t n = set->windowLength(i, j);
            ASSERT_EQ(set->cosCoefficient(i, j, 0), 0.0) << i << "," << j;  // w(0) = 0
            ASSERT_EQ(set->sinCoefficient(i, j, 0), 0.0) << i << "," << j;
            if (n % 2 == 0) {
                // w(N/2) = 1: the coefficients are the bare cosine and sine there.
                const double phi = kTwoPi * binFrequency(i, j) * (n / 2) / 44100.0;
                ASSERT_NEAR(set->cosCoefficient(i, j, n / 2), std::cos(phi), 1e-12);
                ASSERT_NEAR(set->sinCoefficient(i, j, n / 2), std::sin(phi), 1e-12);
            }
        }
    }
    // Every element of the A bins, including the last, lane-interleaved or not.
    for (int i = 0; i < kOctaves; ++i) {
        const std::int32_t n = set->windowLength(i, 90);
        const double f = 55.0 * (1 << i);
        for (std::int32_t k = 0; k < n; ++k) {
            const double w = 0.5 - std::cos(k * kTwoPi / n) * 0.5;
            const double phi = kTwoPi * f * k / 44100.0;
            ASSERT_NEAR(set->cosCoefficient(i, 90, k), std::cos(phi) * w, 1e-12) << i << " " << k;
            ASSERT_NEAR(set->sinCoefficient(i, 90, k), std::sin(phi) * w, 1e-12) << i << " " << k;
        }
    }
}

// Below 16.6 kHz the top bins lie at or above half the rate: they get no window and no rows.
// A group keeps the rows of its longest window below half the rate, and a group wholly above
// it has none: 254,887 rows of the 255,920 at 8 kHz, 511,915 of 511,961 at 16 kHz.
TEST(KernelSet, NoKernelsForBinsAtOrAboveHalfTheRate) {
    struct Case {
        double rate;
        int firstAbove;  // display column of the lowest bin without a window
        std::size_t rows;
    };
    for (const Case c :
         {Case{8000.0, 6 * kBinsPerOctave + 113, 254887},
          Case{16000.0, 7 * kBinsPerOctave + 113, 511915},
          Case{16647.0, 7 * kBinsPerOctave + 119, 532693}, Case{16648.0, kBinCount, 532714}}) {
        const auto set = KernelSet::forRate(c.rate);
        for (int col = 0; col < kBinCount; ++col) {
            const int i = col / kBinsPerOctave, j = col % kBinsPerOctave;
            ASSERT_EQ(set->windowLength(i, j) == 0, col >= c.firstAbove) << c.rate << " " << col;
        }
        EXPECT_EQ(set->storageBytes(), c.rows * KernelSet::kRowDoubles * sizeof(double)) << c.rate;
    }
}

TEST(KernelSet, OneSetPerRateSharedAndFreedWithItsLastUser) {
    const int before = KernelSet::liveCount();
    {
        ConstantQBank first(8000.0);
        ConstantQBank second(8000.0);
        EXPECT_EQ(&first.kernels(), &second.kernels());
        EXPECT_EQ(KernelSet::liveCount(), before + 1);
        // Each bank has its own history and counter.
        EXPECT_NE(first.history(), second.history());
        first.setWriteCount(7);
        EXPECT_EQ(second.writeCount(), 0u);

        ConstantQBank other(11025.0);
        EXPECT_NE(&first.kernels(), &other.kernels());
        EXPECT_EQ(KernelSet::liveCount(), before + 2);
        EXPECT_EQ(other.historyLength(), 8090u);  // 11025 * 24 / C1, truncated
    }
    EXPECT_EQ(KernelSet::liveCount(), before);
    // A rate asked for again after its release is built afresh.
    const auto again = KernelSet::forRate(8000.0);
    EXPECT_EQ(KernelSet::liveCount(), before + 1);
    EXPECT_EQ(again->historyLength(), 5870u);
}

}  // namespace
}  // namespace cqscope
