// The read-only half of the analysis: for one sample rate, the window length and the
// Hann-windowed cosine and sine kernels of all 960 bins.
//
// A kernel set depends only on the rate, so one set per rate is shared by every bank of that
// rate in the process: `forRate` hands out reference-counted sets, builds a set the first time
// a rate is asked for, and the set is freed with its last user.
//
// Storage: the bins of an octave are taken four at a time (a "group"). A group stores one row
// per sample of its longest window, and each row holds eight doubles: the cosine coefficients
// of the four bins, then their sine coefficients. All windows of a group end at the same
// newest sample, so a shorter window starts later; the rows before its start hold zeros in its
// lanes. One vector load thus feeds four bins at once, and the transform streams the whole set
// front to back exactly once. `cosCoefficient`/`sinCoefficient` give per-bin access.
// A bin at or above half the rate has no window (length 0): its lanes hold zeros in every row,
// and a group of such bins alone has no rows at all.
// A second copy of the rows, each coefficient rounded to a float, serves the display's
// transform, which reads half the bytes and falls back to the doubles where it must. It is
// made on the first display transform, so that a set no display draws from never holds it.
//
// Threads: `forRate` may be called from any thread except the audio thread (it may build,
// allocate and lock). A built set is immutable and may be read from any thread; `floatRows`
// may build its float copy and lock, so not on the audio thread either.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "analysis/bin_layout.h"

namespace cqscope {

class KernelSet {
  public:
    // Bins per group, and doubles per row (cosines of the group's bins, then sines).
    static constexpr int kLanes = 4;
    static constexpr int kRowDoubles = 2 * kLanes;
    static constexpr int kGroupCount = kBinCount / kLanes;

    struct Group {
        std::size_t firstRow;            // index of the group's first row in the row storage
        std::int32_t rows;               // number of rows: the longest window of the group
        std::int32_t laneStart[kLanes];  // row at which each bin's window begins
        std::int32_t headRows;           // rows before every lane is active (largest laneStart)
    };

    // The shared set for `rate` Hz, built on first use.
    // Requires: isSupportedAnalysisRate(rate); throws std::invalid_argument otherwise.
    // Throws std::bad_alloc when the kernels cannot be allocated.
    static std::shared_ptr<const KernelSet> forRate(double rate);

    // Number of kernel sets alive in the process (for leak tests), and built in the process
    // so far (for tests of when kernels are built).
    static int liveCount() noexcept;
    static int builtCount() noexcept;

    KernelSet(const KernelSet&) = delete;
    KernelSet& operator=(const KernelSet&) = delete;
    ~KernelSet();

    // The sample rate in Hz for which the kernels were built.
    double analysisRate() const noexcept { return analysisRate_; }
    // Window length N of bin (octave, bin), in samples at the analysis rate; 0 for a bin at or
    // above half the rate, which has no kernels and reads 0.
    std::int32_t windowLength(int octave, int bin) const noexcept {
        return windowLengths_[octave][bin];
    }
    const WindowLengths& windowLengths() const noexcept { return windowLengths_; }
    // Length of the history ring: the lowest bin's window, the longest of all.
    std::uint32_t historyLength() const noexcept {
        return static_cast<std::uint32_t>(windowLengths_[0][0]);
    }

    // Coefficient k (0 <= k < windowLength) of the cosine and sine kernel of a bin:
    // cos(phi(k)) * w(k) and sin(phi(k)) * w(k).
    double cosCoefficient(int octave, int bin, std::int32_t k) const noexcept;
    double sinCoefficient(int octave, int bin, std::int32_t k) const noexcept;

    // Group g covers bins kLanes*g .. kLanes*g+3 of display column order (octave g / 30).
    const Group& group(int g) const noexcept { return groups_[g]; }
    // Row storage: kRowDoubles doubles per row, 64-byte aligned.
    const double* rows() const noexcept { return rows_; }
    // The same rows with every coefficient rounded to the nearest float (within 2^-24 of it),
    // made on the first call; null when there was no memory for them.
    const float* floatRows() const noexcept;
    // Bytes of kernel storage (what one exact transform streams).
    std::size_t storageBytes() const noexcept { return rowCount_ * kRowDoubles * sizeof(double); }
    // The groups by their number of rows, fewest first.
    const std::int16_t* groupsByRows() const noexcept { return groupsByRows_; }

  private:
    explicit KernelSet(double rate);
    void fillAllGroups();
    void fillGroup(int g) noexcept;
    void fillFloatRows(float* floats) const noexcept;

    double analysisRate_;
    WindowLengths windowLengths_{};
    Group groups_[kGroupCount]{};
    std::size_t rowCount_ = 0;
    double* rows_ = nullptr;
    mutable std::atomic<float*> floatRows_{nullptr};
    mutable std::mutex floatMutex_;
    mutable bool floatTried_ = false;
    std::int16_t groupsByRows_[kGroupCount]{};
};

}  // namespace cqscope
