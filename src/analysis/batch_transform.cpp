#include "analysis/batch_transform.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "analysis/batch_correlation.h"
#include "analysis/helper_thread.h"

namespace cqscope {
namespace {

// Kernel rows per tile: 2048 rows of 64 bytes (128 KiB) stay in the second-level cache while
// every window of the batch reads them, eight windows at a time. Measured on the 2-core
// development machine (analyse of a 10-minute song, processor time): 1024 to 2048 rows were
// fastest, 256 about 15% and 8192 about 10% slower.
constexpr std::int32_t kTileRows = 2048;

// The samples one batch reads, in bytes: its windows overlap, and what they span together is
// read once for each kernel group, so it should stay in the last-level cache (32 MiB on the
// development machine, shared by both cores). At 48 kHz every 0.1 s this gives the largest
// batch, 128 windows, which took 10 to 15% less processor time than 64 there, and a third of
// what 16 took: the kernels are still read from memory once a batch.
constexpr std::int64_t kSampleBudgetBytes = std::int64_t{8} << 20;

// Fewer windows than this barely share the kernel reads: a batch has at least this many, even
// where their samples exceed the budget, as long as they stay within the cap (windows far
// apart hold mostly samples that no window reads).
constexpr int kMinBatch = 8;
constexpr std::int64_t kSampleCapBytes = std::int64_t{32} << 20;

}  // namespace

BatchTransform::BatchTransform(std::shared_ptr<const KernelSet> kernels)
    : kernels_(std::move(kernels)) {}

int BatchTransform::batchSize(std::int64_t spacing) const noexcept {
    // How many windows spacing apart span at most `bytes` of samples (at least one).
    const auto windowsWithin = [&](std::int64_t bytes) {
        const std::int64_t beyondFirst = bytes / static_cast<std::int64_t>(sizeof(double)) -
                                         static_cast<std::int64_t>(historyLength());
        return beyondFirst <= 0 ? std::int64_t{1}
                                : 1 + beyondFirst / std::max<std::int64_t>(1, spacing);
    };
    const std::int64_t batch =
        std::max(windowsWithin(kSampleBudgetBytes),
                 std::min<std::int64_t>(kMinBatch, windowsWithin(kSampleCapBytes)));
    return static_cast<int>(std::clamp<std::int64_t>(batch, 1, kMaxBatch));
}

void BatchTransform::transform(const double* samples, const std::int64_t* ends, int count,
                               Magnitudes* out) {
    for (int first = 0; first < count; first += kMaxBatch) {
        transformBatch(samples, ends + first, std::min(kMaxBatch, count - first), out + first);
    }
}

void BatchTransform::transformBatch(const double* samples, const std::int64_t* ends, int count,
                                    Magnitudes* out) {
    const KernelSet& set = *kernels_;
    const std::int64_t length = historyLength();
    sums_.resize(static_cast<std::size_t>(count) * KernelSet::kGroupCount * KernelSet::kRowDoubles);

    // The samples the batch reads, and how many of them are not zero up to each.
    const auto [lowest, highest] = std::minmax_element(ends, ends + count);
    regionStart_ = *lowest - length;
    const std::int64_t regionLength = *highest - regionStart_;
    nonZeroBefore_.resize(static_cast<std::size_t>(regionLength) + 1);
    const double* region = samples + regionStart_;
    std::int32_t nonZero = 0;
    for (std::int64_t i = 0; i < regionLength; ++i) {
        nonZeroBefore_[static_cast<std::size_t>(i)] = nonZero;
        nonZero += region[i] != 0.0 ? 1 : 0;  // a NaN too
    }
    nonZeroBefore_[static_cast<std::size_t>(regionLength)] = nonZero;
    // A window without a zero sample has signal under every tile: no need to look.
    for (int w = 0; w < count; ++w) {
        windowAllSignal_[w] = nonZeroIn(ends[w] - length, ends[w]) == length;
    }

    // The groups are shared out between this thread and a helper, each taking the next
    // (largest first, as groups are laid out from the lowest octave up).
    std::atomic<int> next{0};
    auto work = [&]() noexcept {
        for (int g = next.fetch_add(1); g < KernelSet::kGroupCount; g = next.fetch_add(1)) {
            correlateGroup(g, samples, ends, count);
        }
    };
    helper_.runBeside(work);

    // The magnitude of a bin: the length of its (cosine, sine) sums over its window length,
    // as ConstantQBank computes it (0 for a bin without a window).
    for (int w = 0; w < count; ++w) {
        const double* windowSums = sums_.data() + static_cast<std::size_t>(w) *
                                                      KernelSet::kGroupCount *
                                                      KernelSet::kRowDoubles;
        for (int column = 0; column < kBinCount; ++column) {
            const double* groupSums =
                windowSums + (column / KernelSet::kLanes) * KernelSet::kRowDoubles;
            const double cosSum = groupSums[column % KernelSet::kLanes];
            const double sinSum = groupSums[KernelSet::kLanes + column % KernelSet::kLanes];
            const int octave = column / kBinsPerOctave;
            const int bin = column % kBinsPerOctave;
            out[w][octave][bin] = binMagnitude(cosSum, sinSum, set.windowLength(octave, bin));
        }
    }
}

std::int64_t BatchTransform::nonZeroIn(std::int64_t from, std::int64_t to) const noexcept {
    return nonZeroBefore_[static_cast<std::size_t>(to - regionStart_)] -
           nonZeroBefore_[static_cast<std::size_t>(from - regionStart_)];
}

void BatchTransform::correlateGroup(int g, const double* samples, const std::int64_t* ends,
                                    int count) noexcept {
    const KernelSet::Group& group = kernels_->group(g);
    const double* rows = kernels_->rows() + group.firstRow * KernelSet::kRowDoubles;
    double* sums[kMaxBatch];
    for (int w = 0; w < count; ++w) {
        sums[w] = sums_.data() + (static_cast<std::size_t>(w) * KernelSet::kGroupCount + g) *
                                     KernelSet::kRowDoubles;
        std::fill(sums[w], sums[w] + KernelSet::kRowDoubles, 0.0);
    }
    // Each tile of rows goes to every window that has a sample other than zero under it; the
    // tiles come in time order, so each window's sums go on from the tile before, as one pass
    // over its whole window would.
    const double* x[kMaxBatch];
    double* tileSums[kMaxBatch];
    for (std::int32_t from = 0; from < group.rows; from += kTileRows) {
        const std::int32_t to = std::min(group.rows, from + kTileRows);
        int active = 0;
        for (int w = 0; w < count; ++w) {
            const std::int64_t first = ends[w] - group.rows;  // sample under row 0
            if (!windowAllSignal_[w] && nonZeroIn(first + from, first + to) == 0) continue;
            x[active] = samples + first + from;
            tileSums[active++] = sums[w];
        }
        if (active == 0) continue;
        std::int32_t laneStart[KernelSet::kLanes];
        for (int lane = 0; lane < KernelSet::kLanes; ++lane) {
            laneStart[lane] = group.laneStart[lane] - from;
        }
        detail::correlateGroupWindows(
            rows + static_cast<std::size_t>(from) * KernelSet::kRowDoubles, x, active, to - from,
            laneStart, std::max(0, group.headRows - from), tileSums);
    }
}

}  // namespace cqscope
