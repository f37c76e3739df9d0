#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "analysis/constant_q_bank.h"
#include "analysis/group_correlation.h"
#include "analysis/reference_transform.h"
#include "signals.h"

namespace cqscope {
namespace {

using testing::fillSine;

bool sameBits(const Magnitudes& a, const Magnitudes& b) {
    return std::memcmp(&a, &b, sizeof(Magnitudes)) == 0;
}

// A display-like rounding of a magnitude: whole steps of 1/50 of a natural log, one step for
// everything below e^-12 (and for zero, negative and non-finite values).
int shownStep(double m) noexcept {
    if (!(m > 0.0) || !std::isfinite(m)) return -600;
    return std::max(-600, static_cast<int>(std::floor(std::log(m) * 50.0)));
}

// Production against plain transform on the same history and counter.
void expectIdentical(ConstantQBank& bank, const ReferenceKernels& reference, const char* what) {
    Magnitudes expected{};
    referenceTransform(reference, bank.history(), bank.writeCount(), expected);
    bank.transform();
    ASSERT_TRUE(sameBits(bank.magnitudes(), expected))
        << what << " at " << bank.analysisRate() << " Hz, writeCount " << bank.writeCount();
}

class TransformAtRate : public ::testing::TestWithParam<double> {};

TEST_P(TransformAtRate, BitIdenticalToThePlainTransform) {
    ConstantQBank bank(GetParam());
    const ReferenceKernels reference(bank.kernels());
    const std::uint32_t length = bank.historyLength();
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    for (std::uint32_t i = 0; i < length; ++i) bank.setHistoryAt(i, sample(random));

    // Every place where the ring's index arithmetic changes course.
    const std::uint32_t counts[] = {0,
                                    1,
                                    5,
                                    length - 1,
                                    length,
                                    length + 1,
                                    0xFFFFFFFFu,
                                    0xFFFFFFFFu - 3,
                                    0xFFFFFFFFu - length + 2,
                                    0u - length / 2,
                                    static_cast<std::uint32_t>(random())};
    for (std::uint32_t count : counts) {
        bank.setWriteCount(count);
        expectIdentical(bank, reference, "random history");
    }
    // Large, tiny, denormal and mixed-sign values.
    for (std::uint32_t i = 0; i < length; ++i) {
        const double scale = (i % 3 == 0) ? 1e300 : (i % 3 == 1 ? 1e-310 : 1e-3);
        bank.setHistoryAt(i, sample(random) * scale);
    }
    bank.setWriteCount(12345);
    expectIdentical(bank, reference, "wide-range history");
    // Runs of zeros (+0.0 and -0.0) are skipped: long and short runs, at the oldest and the
    // newest end, and inside windows of every length.
    for (std::uint32_t i = 0; i < length; ++i) bank.setHistoryAt(i, sample(random));
    const std::uint32_t runs[][2] = {{0, 5000},          {9000, 63},         {9100, 64},
                                     {length / 2, 1000}, {length - 700, 64}, {length - 64, 64}};
    for (const auto& run : runs) {
        for (std::uint32_t i = run[0]; i < run[0] + run[1]; ++i) {
            bank.setHistoryAt(i, i % 2 ? 0.0 : -0.0);
        }
    }
    for (std::uint32_t count : {0u, 4000u, length - 10}) {
        bank.setWriteCount(count);
        expectIdentical(bank, reference, "history with runs of zeros");
    }
}

// The display's transform: float kernels with an error bound, exact where the bound reaches a
// boundary of what is shown. A rule like the display's (whole steps of 1/50 of a natural log,
// none below e^-12) must show every bin as the exact transform does.
TEST_P(TransformAtRate, ShownTransformIsShownAsTheExactOne) {
    ConstantQBank bank(GetParam());
    const std::uint32_t length = bank.historyLength();
    const ConstantQBank::ShownAlike display = [](double low, double high) noexcept {
        return shownStep(low) == shownStep(high);
    };
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    int approximated = 0;
    // Loud and quiet noise (many bins near the e^-12 floor), a sine, silence, a NaN.
    for (double level : {1.0, 1e-4, 3e-6, 0.0}) {
        for (std::uint32_t i = 0; i < length; ++i) bank.setHistoryAt(i, level * sample(random));
        if (level == 0.0) fillSine(bank, 1000.0, 0.5, 0.3);
        if (level == 1e-4) bank.setHistoryAt(length - 100, std::nan(""));
        bank.setWriteCount(static_cast<std::uint32_t>(random()));
        bank.transform();
        const Magnitudes exact = bank.magnitudes();
        bank.transformShown(display);
        const Magnitudes& shown = bank.magnitudes();
        for (int c = 0; c < kBinCount; ++c) {
            const int i = c / kBinsPerOctave, j = c % kBinsPerOctave;
            if (std::isnan(exact[i][j])) {
                ASSERT_TRUE(std::isnan(shown[i][j])) << "level " << level << " bin " << c;
                continue;
            }
            ASSERT_EQ(shownStep(shown[i][j]), shownStep(exact[i][j]))
                << "level " << level << " bin " << c;
            if (shown[i][j] != exact[i][j]) ++approximated;
        }
    }
    EXPECT_GT(approximated, kBinCount);  // the float kernels did serve
    // A rule that no approximation meets gives the exact transform, bit for bit.
    bank.transform();
    const Magnitudes exact = bank.magnitudes();
    bank.transformShown([](double, double) noexcept { return false; });
    EXPECT_TRUE(sameBits(bank.magnitudes(), exact));
}

TEST_P(TransformAtRate, NonFiniteSamplesReachOnlyTheBinsWhoseWindowsHoldThem) {
    ConstantQBank bank(GetParam());
    const ReferenceKernels reference(bank.kernels());
    const std::uint32_t length = bank.historyLength();
    fillSine(bank, 1000.0, 0.5, 0.3);
    // With writeCount 0 the sample at index u is (length - u) frames old.
    bank.setHistoryAt(length / 2, std::numeric_limits<double>::quiet_NaN());
    bank.setHistoryAt(length / 2 + 1, std::numeric_limits<double>::infinity());
    expectIdentical(bank, reference, "NaN and infinity");
    const Magnitudes& m = bank.magnitudes();
    EXPECT_TRUE(std::isnan(m[0][0]));
    EXPECT_FALSE(std::isnan(m[7][119]));  // the shortest window ends long after them
    // Bins whose windows start just after the bad samples stay finite.
    for (int c = 0; c < kBinCount; ++c) {
        const int i = c / kBinsPerOctave, j = c % kBinsPerOctave;
        const std::uint32_t n = static_cast<std::uint32_t>(bank.windowLength(i, j));
        if (n < length - length / 2 - 1) {
            ASSERT_TRUE(std::isfinite(m[i][j])) << i << "," << j;
        }
    }
    // Once a window's worth of clean samples has replaced them, nothing is left of them.
    fillSine(bank, 1000.0, 0.5, 0.3);
    bank.transform();
    for (const auto& octave : bank.magnitudes()) {
        for (double v : octave) ASSERT_TRUE(std::isfinite(v));
    }
}

// 8 and 16 kHz: bins at or above half the rate have no window.
INSTANTIATE_TEST_SUITE_P(Rates, TransformAtRate,
                         ::testing::Values(8000.0, 16000.0, 44100.0, 48000.0, 96000.0));

class TransformAt44100 : public ::testing::Test {
  protected:
    ConstantQBank bank{44100.0};
};

TEST_F(TransformAt44100, SilenceAndConstantsGiveNothing) {
    bank.transform();
    for (const auto& octave : bank.magnitudes()) {
        for (double v : octave) ASSERT_EQ(v, 0.0);
    }
    for (double d : {1.0, -0.37}) {
        for (std::uint32_t i = 0; i < bank.historyLength(); ++i) bank.setHistoryAt(i, d);
        bank.setWriteCount(777);
        bank.transform();
        for (const auto& octave : bank.magnitudes()) {
            for (double v : octave) ASSERT_LT(v, 1e-5 * std::fabs(d));
        }
    }
}

TEST_F(TransformAt44100, SinusoidAtABinGivesAQuarterOfItsAmplitude) {
    const double amplitude = 0.8;
    // Bins across the range, each with several phases.
    const int bins[][2] = {{0, 0}, {0, 90}, {2, 37}, {3, 90}, {5, 3}, {7, 119}};
    for (const auto& b : bins) {
        const double f = binFrequency(b[0], b[1]);
        for (double phase : {0.0, 1.0, 2.5}) {
            fillSine(bank, f, amplitude, phase, 1000);
            bank.transform();
            const Magnitudes& m = bank.magnitudes();
            EXPECT_NEAR(m[b[0]][b[1]], amplitude / 4, 1e-6 * amplitude)
                << b[0] << "," << b[1] << " phase " << phase;
            EXPECT_EQ(testing::loudestColumn(m), b[0] * kBinsPerOctave + b[1]);
        }
    }
}

TEST_F(TransformAt44100, NeighbourAndSemitoneResponses) {
    const double amplitude = 1.0;
    fillSine(bank, binFrequency(3, 90), amplitude, 0.4);
    bank.transform();
    const Magnitudes& m = bank.magnitudes();
    EXPECT_NEAR(m[3][89], 0.247 * amplitude, 0.002);
    EXPECT_NEAR(m[3][91], 0.247 * amplitude, 0.002);
    EXPECT_NEAR(m[3][80], 0.053 * amplitude, 0.002);   // a semitone below
    EXPECT_NEAR(m[3][100], 0.065 * amplitude, 0.002);  // a semitone above
}

}  // namespace
}  // namespace cqscope

namespace cqscope {
namespace {

// Every vector path this machine can run (not only the one chosen for it) against a plain
// per-lane loop, bit for bit, on every group of a kernel set, with a NaN in some heads.
TEST(TransformPaths, EveryInstructionSetGivesThePlainSums) {
    const auto set = KernelSet::forRate(8000.0);
    const std::uint32_t length = set->historyLength();
    std::vector<double> x(length);
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    for (double& v : x) v = sample(random);
    x[length - set->group(0).rows + 1] = std::numeric_limits<double>::quiet_NaN();

    detail::CorrelationImplementation paths[4];
    const int count = detail::availableCorrelations(paths, 4);
    ASSERT_GE(count, 1);
    for (int g = 0; g < KernelSet::kGroupCount; ++g) {
        const KernelSet::Group& group = set->group(g);
        const double* rows = set->rows() + group.firstRow * KernelSet::kRowDoubles;
        const double* window = x.data() + (length - group.rows);
        double expected[8];
        for (int lane = 0; lane < 8; ++lane) {
            double sum = 0.0;
            for (std::int32_t t = group.laneStart[lane % 4]; t < group.rows; ++t) {
                sum = sum + rows[t * KernelSet::kRowDoubles + lane] * window[t];
            }
            expected[lane] = sum;
        }
        for (int p = 0; p < count; ++p) {
            double sums[8] = {};
            paths[p].correlate(rows, window, group.rows, group.laneStart, group.headRows, sums);
            ASSERT_EQ(std::memcmp(sums, expected, sizeof sums), 0)
                << paths[p].name << " group " << g;
        }
    }
}

}  // namespace
}  // namespace cqscope
