#include "analysis/bin_layout.h"

#include <cmath>

namespace cqscope {

double integerPower(double x, std::int32_t n) noexcept {
    double result = 1.0;
    // Widen before negating so that n = INT32_MIN has a magnitude.
    std::uint64_t e = n < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(n))
                            : static_cast<std::uint64_t>(n);
    for (;;) {
        if (e & 1u) result *= x;
        e >>= 1;
        if (e == 0) break;
        x *= x;
    }
    return n < 0 ? 1.0 / result : result;
}

double binFrequency(int octave, int bin) noexcept {
    const double e = static_cast<double>(bin - 90) / 120.0;
    const double p = std::pow(2.0, e);
    const double q = integerPower(2.0, octave) * 55.0;
    return p * q;
}

std::int32_t windowLength(double analysisRate, double frequency) noexcept {
    if (frequency >= analysisRate * 0.5) return 0;
    return static_cast<std::int32_t>((analysisRate * kPeriodsPerWindow) / frequency);
}

double binMagnitude(double cosSum, double sinSum, std::int32_t n) noexcept {
    if (n == 0) return 0.0;
    return std::sqrt(sinSum * sinSum + cosSum * cosSum) / static_cast<double>(n);
}

bool isSupportedAnalysisRate(double rate) noexcept {
    return rate >= kMinAnalysisRate && rate <= kMaxAnalysisRate;
}

}  // namespace cqscope
