// The offline transform: the magnitudes of many windows of one recording at once, for a
// program that knows all its moments in advance (cqscope-host's analyse). The live transform
// (ConstantQBank::transform) streams the whole kernel set from memory for every window and is
// bound by memory; this one reads each kernel group once for a batch of windows, a tile of
// rows at a time that stays in the core's cache while every window of the batch uses it, and
// adds the windows' independent sums side by side. Every magnitude is bit for bit the live
// transform's: each bin's products are added one at a time in increasing time, as there.
//
// Threads: one thread at a time calls `transform`, which shares each batch's kernel groups
// with the process's helper thread on a machine with more than one core (held from the first
// call until the batch transform is destroyed). Never on the audio thread (it allocates and
// waits for the helper).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/bin_layout.h"
#include "analysis/helper_thread.h"
#include "analysis/kernel_set.h"
#include "analysis/large_pages.h"

namespace cqscope {

class BatchTransform {
  public:
    // The most windows one pass over the kernels serves.
    static constexpr int kMaxBatch = 128;

    explicit BatchTransform(std::shared_ptr<const KernelSet> kernels);

    const KernelSet& kernels() const noexcept { return *kernels_; }
    std::uint32_t historyLength() const noexcept { return kernels_->historyLength(); }

    // How many windows whose ends lie `spacing` samples apart (spacing >= 1) to hand one call,
    // so that the samples the batch reads stay in cache: it depends on the kernels and the
    // spacing only, never on the length of the recording (1..kMaxBatch).
    int batchSize(std::int64_t spacing) const noexcept;

    // For each r < count: out[r] = the magnitudes ConstantQBank::transform gives when its
    // history, in time order, is samples[ends[r] - historyLength, ends[r]) (a bank at the same
    // rate that was fed exactly those samples last). Any count; the windows are taken
    // kMaxBatch at a time.
    // Requires: historyLength <= ends[r]; `samples` holds every index read; the windows of
    // kMaxBatch consecutive entries span fewer than 2^31 samples.
    // Throws std::bad_alloc when its working memory cannot be allocated.
    void transform(const double* samples, const std::int64_t* ends, int count, Magnitudes* out);

  private:
    void transformBatch(const double* samples, const std::int64_t* ends, int count,
                        Magnitudes* out);
    void correlateGroup(int g, const double* samples, const std::int64_t* ends, int count) noexcept;
    // How many samples other than 0.0 lie in [from, to) of the batch's samples.
    std::int64_t nonZeroIn(std::int64_t from, std::int64_t to) const noexcept;

    std::shared_ptr<const KernelSet> kernels_;
    // Each window's eight sums of each group, [window][group][lane].
    LargeVector<double> sums_;
    // nonZeroBefore_[i]: how many samples other than 0.0 precede index regionStart_ + i in the
    // batch's samples (a NaN counts). A tile whose samples are all zero adds nothing to any
    // sum, bit for bit, so it is skipped: silence costs no kernel reads.
    LargeVector<std::int32_t> nonZeroBefore_;
    std::int64_t regionStart_ = 0;
    // Whether window w of the batch holds no zero sample at all.
    bool windowAllSignal_[kMaxBatch] = {};
    // The second core of every batch, kept from one to the next.
    detail::HelperThread helper_;
};

}  // namespace cqscope
