#include "analysis/constant_q_bank.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

#include "analysis/group_correlation.h"
#include "analysis/helper_thread.h"
#include "analysis/planned_transforms.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define CQSCOPE_SSE_INTAKE 1
#else
#define CQSCOPE_SSE_INTAKE 0
#endif

namespace cqscope {
namespace {

constexpr std::uint64_t kCounterRange = std::uint64_t{1} << 32;

}  // namespace

ConstantQBank::ConstantQBank(double rate)
    : kernels_(KernelSet::forRate(rate)),
      historyLength_(kernels_->historyLength()),
      history_(new std::atomic<double>[historyLength_]),
      timeOrdered_(new double[historyLength_]),
      spans_(new Span[historyLength_ / kShortestSkip + 2]) {
    for (std::uint32_t i = 0; i < historyLength_; ++i) {
        history_[i].store(0.0, std::memory_order_relaxed);
    }
}

void ConstantQBank::widenByHistory(std::uint32_t count, std::uint32_t frames, float& high,
                                   float& low) const noexcept {
    const std::uint32_t length = historyLength_;
    const std::atomic<double>* history = history_.get();
    // Eight extremes of each kind side by side, so that the comparisons do not wait on one
    // another. Each history element is a float widened, so the extremes compare and convert
    // back exactly; strict comparisons from +0.0 ignore NaNs and keep the same value in any
    // order.
    constexpr int kWays = 8;
    double highs[kWays] = {};
    double lows[kWays] = {};
    while (frames > 0) {
        // Frames count - 1, count - 2, ... lie at falling positions down to position 0; the
        // frame before that (counter 0 or not) is found again from its counter.
        const std::uint32_t newest = (count - 1u) % length;
        const std::uint32_t stretch = std::min(frames, newest + 1u);
        const std::atomic<double>* oldest = history + (newest + 1u - stretch);
        std::uint32_t i = 0;
        for (; i + kWays <= stretch; i += kWays) {
            for (int way = 0; way < kWays; ++way) {
                const double m = oldest[i + way].load(std::memory_order_relaxed);
                highs[way] = m > highs[way] ? m : highs[way];
                lows[way] = m < lows[way] ? m : lows[way];
            }
        }
        for (; i < stretch; ++i) {
            const double m = oldest[i].load(std::memory_order_relaxed);
            highs[0] = m > highs[0] ? m : highs[0];
            lows[0] = m < lows[0] ? m : lows[0];
        }
        count -= stretch;
        frames -= stretch;
    }
    for (int way = 0; way < kWays; ++way) {
        const auto h = static_cast<float>(highs[way]);
        const auto l = static_cast<float>(lows[way]);
        high = h > high ? h : high;
        low = l < low ? l : low;
    }
}

float ConstantQBank::appendBlock(const float* const* inputs, std::int32_t frames) noexcept {
    float high = 0.0f;
    float low = 0.0f;
    if (frames <= 0) return 0.0f;
    const float* in0 = inputs[0];
    const float* in1 = inputs[1];

    const std::uint32_t count = writeCount_.load(std::memory_order_relaxed);
    const std::uint32_t length = historyLength_;
    if (frames < kSpanFrames) {
        // Before the block is appended, so that it cannot overwrite what is read.
        widenByHistory(count, std::min(static_cast<std::uint32_t>(kSpanFrames - frames), length),
                       high, low);
    }
    std::uint32_t position = count % length;
    // Frames until the counter wraps to 0, where the write position jumps to 0.
    std::uint64_t untilWrap = kCounterRange - count;
    std::atomic<double>* history = history_.get();

#if CQSCOPE_SSE_INTAKE
    __m128 highsA = _mm_setzero_ps(), highsB = highsA, lowsA = highsA, lowsB = highsA;
#endif
    std::int32_t k = 0;
    while (k < frames) {
        // A stretch that meets neither the ring's end nor the counter's wrap.
        std::uint64_t stretch = static_cast<std::uint64_t>(frames - k);
        stretch = std::min<std::uint64_t>(stretch, length - position);
        stretch = std::min<std::uint64_t>(stretch, untilWrap);
        const std::int32_t end = k + static_cast<std::int32_t>(stretch);
        std::atomic<double>* slot = history + position - k;
#if CQSCOPE_SSE_INTAKE
        // Four frames at a time. maxps(a, high) is exactly "a > high ? a : high" (a NaN
        // compares false and keeps high), and minps likewise; per-lane extremes combine to
        // the frame-by-frame result because strict comparisons from +0.0 keep the largest
        // and the smallest value whatever the order.
        const __m128 half = _mm_set1_ps(0.5f);
        for (; k + 4 <= end; k += 4) {
            const __m128 a = _mm_loadu_ps(in0 + k);
            const __m128 b = _mm_loadu_ps(in1 + k);
            alignas(16) float m[4];
            _mm_store_ps(m, _mm_add_ps(_mm_mul_ps(half, a), _mm_mul_ps(half, b)));
            for (int lane = 0; lane < 4; ++lane) {
                slot[k + lane].store(static_cast<double>(m[lane]), std::memory_order_relaxed);
            }
            highsA = _mm_max_ps(a, highsA);
            highsB = _mm_max_ps(b, highsB);
            lowsA = _mm_min_ps(a, lowsA);
            lowsB = _mm_min_ps(b, lowsB);
        }
#endif
        for (; k < end; ++k) {
            const float a = in0[k];
            const float b = in1[k];
            const float m = 0.5f * a + 0.5f * b;
            slot[k].store(static_cast<double>(m), std::memory_order_relaxed);
            high = a > high ? a : high;
            high = b > high ? b : high;
            low = a < low ? a : low;
            low = b < low ? b : low;
        }
        position += static_cast<std::uint32_t>(stretch);
        untilWrap -= stretch;
        if (position == length) position = 0;
        if (untilWrap == 0) {
            position = 0;
            untilWrap = kCounterRange;
        }
    }
#if CQSCOPE_SSE_INTAKE
    alignas(16) float lanes[4][4];
    _mm_store_ps(lanes[0], highsA);
    _mm_store_ps(lanes[1], highsB);
    _mm_store_ps(lanes[2], lowsA);
    _mm_store_ps(lanes[3], lowsB);
    for (int lane = 0; lane < 4; ++lane) {
        high = lanes[0][lane] > high ? lanes[0][lane] : high;
        high = lanes[1][lane] > high ? lanes[1][lane] : high;
        low = lanes[2][lane] < low ? lanes[2][lane] : low;
        low = lanes[3][lane] < low ? lanes[3][lane] : low;
    }
#endif
    // Published after the samples, so a transform that sees the new count sees the block.
    writeCount_.store(count + static_cast<std::uint32_t>(frames), std::memory_order_release);
    return high - low;
}

void ConstantQBank::orderHistory() noexcept {
    const std::uint32_t now = writeCount_.load(std::memory_order_acquire);
    const std::uint32_t length = historyLength_;
    // Lay the ring out in time order: timeOrdered[u] = history[((now + u) mod 2^32) mod L].
    // A bin of window N then reads timeOrdered[L - N + k], exactly the element the plain index
    // arithmetic names, including across the counter's wrap.
    std::uint32_t position = now % length;
    std::uint64_t untilWrap = kCounterRange - now;
    for (std::uint32_t u = 0; u < length; ++u) {
        if (untilWrap == 0) position = 0;
        timeOrdered_[u] = history_[position].load(std::memory_order_relaxed);
        --untilWrap;
        if (++position == length) position = 0;
    }
    findSpans();
}

void ConstantQBank::findSpans() noexcept {
    const double* x = timeOrdered_.get();
    const std::uint32_t length = historyLength_;
    std::uint32_t count = 0;
    std::uint32_t u = 0;
    for (;;) {
        while (u < length && x[u] == 0.0) ++u;
        if (u == length) break;
        const std::uint32_t begin = u;
        std::uint32_t end = u;
        while (u < length) {
            if (x[u] != 0.0) {  // a NaN too
                end = ++u;
                continue;
            }
            const std::uint32_t zeros = u;
            while (u < length && x[u] == 0.0) ++u;
            if (u - zeros >= kShortestSkip) break;
        }
        spans_[count++] = {begin, end};
    }
    spanCount_ = count;
}

template <class Piece>
void ConstantQBank::forEachPiece(const KernelSet::Group& group, Piece piece) const noexcept {
    // The group's rows are the newest `group.rows` samples; the pieces of them inside spans,
    // in time order, as row ranges [from, to).
    const std::uint32_t first = historyLength_ - static_cast<std::uint32_t>(group.rows);
    const Span* spans = spans_.get();
    const Span* last = spans + spanCount_;
    const Span* span =
        std::partition_point(spans, last, [first](const Span& s) { return s.end <= first; });
    for (; span != last; ++span) {
        piece(static_cast<std::int32_t>(std::max(span->begin, first) - first),
              static_cast<std::int32_t>(span->end - first));
    }
}

void ConstantQBank::correlateExactly(int g) noexcept {
    const KernelSet::Group& group = kernels_->group(g);
    const double* rows = kernels_->rows() + group.firstRow * KernelSet::kRowDoubles;
    const double* x = timeOrdered_.get() + (historyLength_ - group.rows);
    double* sums = groupSums_[g];
    for (int lane = 0; lane < KernelSet::kRowDoubles; ++lane) sums[lane] = 0.0;
    // Each piece goes on from the sums of the one before, in time order, as one pass would.
    forEachPiece(group, [&](std::int32_t from, std::int32_t to) {
        std::int32_t laneStart[KernelSet::kLanes];
        for (int lane = 0; lane < KernelSet::kLanes; ++lane) {
            laneStart[lane] = group.laneStart[lane] - from;
        }
        detail::correlateGroup(rows + static_cast<std::size_t>(from) * KernelSet::kRowDoubles,
                               x + from, to - from, laneStart, std::max(0, group.headRows - from),
                               sums);
    });
}

double ConstantQBank::magnitudeOf(int g, int lane) const noexcept {
    const int column = g * KernelSet::kLanes + lane;
    const double cosSum = groupSums_[g][lane];
    const double sinSum = groupSums_[g][KernelSet::kLanes + lane];
    return binMagnitude(cosSum, sinSum,
                        kernels_->windowLength(column / kBinsPerOctave, column % kBinsPerOctave));
}

void ConstantQBank::storeMagnitudes() noexcept {
    for (int g = 0; g < KernelSet::kGroupCount; ++g) {
        const int column = g * KernelSet::kLanes;
        for (int lane = 0; lane < KernelSet::kLanes; ++lane) {
            magnitudes_[(column + lane) / kBinsPerOctave][(column + lane) % kBinsPerOctave] =
                magnitudeOf(g, lane);
        }
    }
}

bool ConstantQBank::takePlanned() noexcept {
    orderHistory();
    return cqscope::takePlanned(*kernels_, writeCount_.load(std::memory_order_acquire),
                                timeOrdered_.get(), historyLength_, magnitudes_);
}

void ConstantQBank::transform() noexcept {
    orderHistory();
    // Each group's sums depend on nothing but its rows and the history, so the groups are
    // shared out between this thread and a helper, each taking the next unfilled group
    // (largest first: groups are laid out from the lowest octave up). The transform streams
    // the whole kernel set and is bound by memory; two cores read it in about 60% of the time.
    std::atomic<int> next{0};
    auto work = [&]() noexcept {
        for (int g = next.fetch_add(1); g < KernelSet::kGroupCount; g = next.fetch_add(1)) {
            correlateExactly(g);
        }
    };
    helper_.runBeside(work);
    storeMagnitudes();
}

void ConstantQBank::transformShown(ShownAlike shownAlike) noexcept {
    const KernelSet& set = *kernels_;
    // The float copy, made on the first call, shares the helper this bank keeps.
    helper_.hold();
    const float* floats = set.floatRows();
    if (floats == nullptr) {
        transform();
        return;
    }
    orderHistory();
    const double* x = timeOrdered_.get();
    const std::uint32_t length = historyLength_;
    // Sum of |x| over each group's rows, from the newest sample back, in four interleaved
    // parts so that the additions do not wait on one another. Every term is at least 0, so in
    // any order the rounded sum is within length * 2^-53 of the true one, relatively.
    {
        double sum = 0.0;
        std::uint32_t from = length;
        for (int i = 0; i < KernelSet::kGroupCount; ++i) {
            const int g = set.groupsByRows()[i];
            const std::uint32_t start = length - static_cast<std::uint32_t>(set.group(g).rows);
            double parts[4] = {0.0, 0.0, 0.0, 0.0};
            std::uint32_t u = start;
            for (; u + 4 <= from; u += 4) {
                for (int k = 0; k < 4; ++k) parts[k] += std::fabs(x[u + k]);
            }
            for (; u < from; ++u) parts[0] += std::fabs(x[u]);
            sum += (parts[0] + parts[1]) + (parts[2] + parts[3]);
            from = std::min(from, start);
            absSums_[g] = sum;
        }
    }
    std::atomic<int> next{0};
    auto work = [&]() noexcept {
        for (int g = next.fetch_add(1); g < KernelSet::kGroupCount; g = next.fetch_add(1)) {
            const KernelSet::Group& group = set.group(g);
            const float* rows = floats + group.firstRow * KernelSet::kRowDoubles;
            const double* window = x + (length - group.rows);
            double* sums = groupSums_[g];
            for (int lane = 0; lane < KernelSet::kRowDoubles; ++lane) sums[lane] = 0.0;
            forEachPiece(group, [&](std::int32_t from, std::int32_t to) {
                detail::correlateGroupApprox(
                    rows + static_cast<std::size_t>(from) * KernelSet::kRowDoubles, window + from,
                    to - from, sums);
            });
            if (!approximationShownAlike(g, shownAlike)) correlateExactly(g);
        }
    };
    helper_.runBeside(work);
    storeMagnitudes();
}

bool ConstantQBank::approximationShownAlike(int g, ShownAlike shownAlike) const noexcept {
    // Each exact sum and its float-kernel approximation lie within the other's reach: every
    // kernel coefficient is within 2^-24 of its float, has magnitude at most 1, and n
    // roundings of sums of at most S = sum |x| add at most n * 2^-53 * S (n < 2^22) to both,
    // so the two differ by less than 2^-23 S. The magnitude moves at most sqrt(2) times as
    // far, over N; 2^-48 of it covers the roundings of the square root and division, and of
    // the bounds themselves.
    const double s = absSums_[g] * (1.0 + 0x1p-30);
    const int column = g * KernelSet::kLanes;
    for (int lane = 0; lane < KernelSet::kLanes; ++lane) {
        const double m = magnitudeOf(g, lane);
        const std::int32_t n = kernels_->windowLength((column + lane) / kBinsPerOctave,
                                                      (column + lane) % kBinsPerOctave);
        // A bin without a window reads 0 whatever its sums: nothing to approximate.
        if (n == 0) continue;
        const double reach = 0x1p-22 * s / static_cast<double>(n) + 0x1p-48 * m;
        // A NaN or an infinity in the window, or an overflow: only the exact sum will do.
        if (!std::isfinite(m) || !std::isfinite(reach)) return false;
        if (!shownAlike(m - reach, m + reach)) return false;
    }
    return true;
}

}  // namespace cqscope
