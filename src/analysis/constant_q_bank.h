// One effect's analysis at one sample rate: the shared kernel set of that rate, the mono
// history ring that the audio callback fills, the frame counter `writeCount`, and the 960
// magnitudes of the last transform.
//
// Threads:
// - audio thread: `appendBlock` (the only writer of the history and of `writeCount`);
// - user-interface thread: `transform` and `magnitudes` (one thread at a time);
// - any thread: the read-only accessors.
// The history elements and `writeCount` are relaxed atomics, each written and read whole, so
// a transform may overlap an audio block; it then correlates a few newer samples at the
// oldest end of the longest windows, and never a torn value.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "analysis/bin_layout.h"
#include "analysis/helper_thread.h"
#include "analysis/kernel_set.h"

namespace cqscope {

class ConstantQBank {
  public:
    // A bank for `rate` Hz: shares the kernel set of that rate, allocates a zeroed history of
    // `historyLength` samples, `writeCount` 0, magnitudes 0.
    // Throws std::invalid_argument for an unsupported rate and std::bad_alloc without memory.
    explicit ConstantQBank(double rate);
    ConstantQBank(const ConstantQBank&) = delete;
    ConstantQBank& operator=(const ConstantQBank&) = delete;

    // The fewest frames the span of a block covers: a shorter block's span reaches back over
    // the frames before it, so that how a host cuts its blocks never decides silence.
    static constexpr std::int32_t kSpanFrames = 512;

    // Audio thread. Appends the mono mix 0.5 * left + 0.5 * right (single precision, widened
    // to double) of every frame of the two input channels to the history, advances
    // `writeCount` by `frames` (wrapping at 2^32) and answers the block's span:
    // max(0, largest sample) - min(0, smallest sample), NaNs ignored, over
    // - both input channels of the block (their raw samples), and,
    // - for a block of fewer than kSpanFrames frames, the mono history of the
    //   kSpanFrames - frames frames appended before it (zeros where the bank has not seen that
    //   many yet): the two channels of those frames are gone, their mix is what is kept.
    // A block of kSpanFrames frames or more is thus measured on its own two channels alone.
    // `frames` <= 0 does nothing and answers 0. Only reads the inputs: passing audio on is the
    // host shell's job.
    float appendBlock(const float* const* inputs, std::int32_t frames) noexcept;

    // User-interface thread. Recomputes all 960 magnitudes from the newest samples: each bin
    // correlates its newest N history samples with its kernels and divides the length of the
    // result by N. Bit-identical to `referenceTransform`. Shares the work with the process's
    // helper thread on a machine with more than one core (the first call starts it if no
    // other user keeps it running; no other call allocates). Long runs of
    // zero samples are skipped, so a transform over silence reads less.
    void transform() noexcept;

    // Whether every magnitude from `low` to `high` (low <= high; low may be 0 or less) is
    // shown alike: the display's rule, which must not depend on anything but its arguments.
    using ShownAlike = bool (*)(double low, double high) noexcept;

    // User-interface thread. As `transform`, but each magnitude only needs to be shown as the
    // exact one would be: the kernels are read as floats (half the bytes) and a bound on the
    // error is kept; a group of four bins whose bound reaches where `shownAlike` differs is
    // computed exactly instead. The magnitudes may differ from `transform`'s in their low bits.
    // The first call makes the kernel set's float copy (half its size again); without memory
    // for it, this is `transform`.
    void transformShown(ShownAlike shownAlike) noexcept;

    // User-interface thread. Takes the magnitudes planned ahead for exactly the window the
    // history holds now (planned_transforms.h) instead of transforming; answers whether there
    // were any. Frees the plans it passes; never on the audio thread.
    bool takePlanned() noexcept;

    // The magnitudes of the last transform, [octave][bin]; all 0 before the first.
    const Magnitudes& magnitudes() const noexcept { return magnitudes_; }

    const KernelSet& kernels() const noexcept { return *kernels_; }
    double analysisRate() const noexcept { return kernels_->analysisRate(); }
    std::uint32_t historyLength() const noexcept { return historyLength_; }
    std::int32_t windowLength(int octave, int bin) const noexcept {
        return kernels_->windowLength(octave, bin);
    }

    // Frames appended since construction, modulo 2^32. The next frame goes to
    // history[writeCount mod historyLength].
    std::uint32_t writeCount() const noexcept {
        return writeCount_.load(std::memory_order_acquire);
    }
    // For tests (the wrap at 2^32): moves the frame counter. Not for use while audio runs.
    void setWriteCount(std::uint32_t count) noexcept {
        writeCount_.store(count, std::memory_order_release);
    }
    // History element `index` (< historyLength), read whole.
    double historyAt(std::uint32_t index) const noexcept {
        return history_[index].load(std::memory_order_relaxed);
    }
    // For tests: writes history element `index` (< historyLength).
    void setHistoryAt(std::uint32_t index, double value) noexcept {
        history_[index].store(value, std::memory_order_relaxed);
    }
    const std::atomic<double>* history() const noexcept { return history_.get(); }

  private:
    // Audio thread: widens `high` and `low` to the extremes of the mono history over the
    // `frames` frames before frame `count` (frames <= historyLength), NaNs ignored.
    void widenByHistory(std::uint32_t count, std::uint32_t frames, float& high,
                        float& low) const noexcept;
    // Copies the ring into `timeOrdered_` and finds its spans.
    void orderHistory() noexcept;
    void findSpans() noexcept;
    // Calls piece(from, to) for each range of the group's rows inside a span, in time order.
    template <class Piece>
    void forEachPiece(const KernelSet::Group& group, Piece piece) const noexcept;
    // Group g's exact sums into groupSums_[g].
    void correlateExactly(int g) noexcept;
    // The magnitude of lane `lane` of group g, from groupSums_[g].
    double magnitudeOf(int g, int lane) const noexcept;
    void storeMagnitudes() noexcept;
    // Whether group g's approximate sums are shown as its exact ones would be.
    bool approximationShownAlike(int g, ShownAlike shownAlike) const noexcept;

    std::shared_ptr<const KernelSet> kernels_;
    std::uint32_t historyLength_;
    std::unique_ptr<std::atomic<double>[]> history_;
    std::atomic<std::uint32_t> writeCount_{0};
    // The history in time order, copied at the start of each transform (user-interface thread).
    std::unique_ptr<double[]> timeOrdered_;
    // The stretches of `timeOrdered_` that the transform correlates: every sample other than
    // 0.0 lies in one, and the zeros between two are a run of at least kShortestSkip. A product
    // with a zero sample adds nothing to a sum, bit for bit, so its kernel row need not be read:
    // silence before or inside a window costs no memory traffic.
    struct Span {
        std::uint32_t begin;  // first index
        std::uint32_t end;    // one past the last index
    };
    static constexpr std::uint32_t kShortestSkip = 64;
    std::unique_ptr<Span[]> spans_;
    std::uint32_t spanCount_ = 0;
    // Each group's eight sums in the last transform, a cache line each, so that the two
    // threads of a transform never write the same line.
    alignas(64) double groupSums_[KernelSet::kGroupCount][KernelSet::kRowDoubles];
    // Sum of |x| over each group's rows (transformShown's error bound).
    double absSums_[KernelSet::kGroupCount];
    Magnitudes magnitudes_{};
    // The second core of this bank's transforms: the process's helper, held from the first
    // transform until the bank is freed.
    detail::HelperThread helper_;
};

}  // namespace cqscope
