// The constant-Q bin layout: eight octaves of 120 bins, ten bins to the equal-tempered
// semitone, from C1 (32.703196 Hz) to 8323.798814 Hz. Bin (octave, bin) is display column
// 120 * octave + bin. Pure functions; any thread.
#pragma once

#include <array>
#include <cstdint>

namespace cqscope {

inline constexpr int kOctaves = 8;
inline constexpr int kBinsPerOctave = 120;
inline constexpr int kBinCount = kOctaves * kBinsPerOctave;

// Every window spans this many periods of its bin's frequency.
inline constexpr double kPeriodsPerWindow = 24.0;

// The sample rates, in Hz, for which kernels are built. Kernel memory grows linearly with the
// rate: about 85 MiB at 44.1 kHz and 372 MiB at 192 kHz.
inline constexpr double kMinAnalysisRate = 8000.0;
inline constexpr double kMaxAnalysisRate = 192000.0;

// One magnitude per bin, indexed [octave][bin].
using Magnitudes = std::array<std::array<double, kBinsPerOctave>, kOctaves>;
// One window length (in samples) per bin, indexed [octave][bin].
using WindowLengths = std::array<std::array<std::int32_t, kBinsPerOctave>, kOctaves>;

// x raised to the integer power n by repeated squaring; exact for powers of two.
double integerPower(double x, std::int32_t n) noexcept;

// Centre frequency of bin (octave, bin) in Hz: 2^((bin - 90) / 120) * 2^octave * 55, so bin 90
// of every octave is an A (55 Hz * 2^octave).
double binFrequency(int octave, int bin) noexcept;

// Window length in samples at `analysisRate` Hz for a bin of `frequency` Hz: 24 periods,
// truncated toward zero. 0 for a bin at or above half the rate: sampled at that rate, its
// kernels would correlate with an alias of a lower frequency, so such a bin has no window, no
// kernels, and reads 0.
// Requires: the quotient fits in a signed 32-bit integer (true for every supported rate).
std::int32_t windowLength(double analysisRate, double frequency) noexcept;

// The magnitude of a bin from its correlation sums and window length `n`:
// sqrt(sinSum^2 + cosSum^2) / n, and 0 for a bin without a window (n = 0).
double binMagnitude(double cosSum, double sinSum, std::int32_t n) noexcept;

// True if kernels can be built for `rate` Hz (kMinAnalysisRate..kMaxAnalysisRate, not NaN).
bool isSupportedAnalysisRate(double rate) noexcept;

}  // namespace cqscope
