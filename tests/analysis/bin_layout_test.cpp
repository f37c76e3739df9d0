#include "analysis/bin_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "analysis/kernel_set.h"

namespace cqscope {
namespace {

TEST(IntegerPower, ExactPowersAndNegativeExponents) {
    double expected = 1.0;
    for (int n = 0; n <= 7; ++n) {
        EXPECT_EQ(integerPower(2.0, n), expected) << n;
        expected *= 2.0;
    }
    EXPECT_EQ(integerPower(2.0, -2), 0.25);
    EXPECT_EQ(integerPower(3.0, 5), 243.0);
    EXPECT_EQ(integerPower(-2.0, 3), -8.0);
    EXPECT_EQ(integerPower(2.0, std::numeric_limits<std::int32_t>::min()), 0.0);
}

TEST(BinLayout, FrequenciesAndWindowLengthsAt44100) {
    struct Row {
        int octave;
        double f0, f90, f119;
        std::int32_t n0, n90, n119;
    };
    const Row table[] = {
        {0, 32.703196, 55, 65.029678, 32363, 19243, 16275},
        {1, 65.406391, 110, 130.059356, 16181, 9621, 8137},
        {2, 130.812783, 220, 260.118713, 8090, 4810, 4068},
        {3, 261.625565, 440, 520.237426, 4045, 2405, 2034},
        {4, 523.251131, 880, 1040.474852, 2022, 1202, 1017},
        {5, 1046.502261, 1760, 2080.949703, 1011, 601, 508},
        {6, 2093.004522, 3520, 4161.899407, 505, 300, 254},
        {7, 4186.009045, 7040, 8323.798814, 252, 150, 127},
    };
    for (const Row& r : table) {
        EXPECT_NEAR(binFrequency(r.octave, 0), r.f0, 1e-6) << r.octave;
        EXPECT_EQ(binFrequency(r.octave, 90), r.f90) << r.octave;  // an exact A
        EXPECT_NEAR(binFrequency(r.octave, 119), r.f119, 1e-6) << r.octave;
        EXPECT_EQ(windowLength(44100.0, binFrequency(r.octave, 0)), r.n0);
        EXPECT_EQ(windowLength(44100.0, binFrequency(r.octave, 90)), r.n90);
        EXPECT_EQ(windowLength(44100.0, binFrequency(r.octave, 119)), r.n119);
    }
}

TEST(BinLayout, CoefficientTotalsAt44100) {
    std::int64_t total = 0;
    std::int64_t octave0 = 0;
    for (int i = 0; i < kOctaves; ++i) {
        for (int j = 0; j < kBinsPerOctave; ++j) {
            const std::int32_t n = windowLength(44100.0, binFrequency(i, j));
            total += n;
            if (i == 0) octave0 += n;
            // Frequency rises bin by bin, so windows never grow.
            if (j > 0) {
                EXPECT_LE(n, windowLength(44100.0, binFrequency(i, j - 1)));
            }
        }
    }
    EXPECT_EQ(total, 5596696);
    EXPECT_EQ(octave0, 2809503);
}

}  // namespace
}  // namespace cqscope
