// Built with -ffp-contract=off, as group_correlation.cpp: every product is rounded before it
// is added, so each window's sums carry the bits of the one-window loop.
#include "analysis/batch_correlation.h"

#include <cstring>

namespace cqscope::detail {
namespace {

// One kernel row of eight doubles, as in group_correlation.cpp.
typedef double Row __attribute__((vector_size(64)));
typedef std::int64_t RowMask __attribute__((vector_size(64)));

// `Windows` windows side by side: their sums are independent chains of additions, so the
// processor overlaps them, where one window's chain waits on each addition in turn.
template <int Windows>
[[gnu::always_inline]] inline void windowsBody(const double* rows, const double* const* x,
                                               std::int32_t rowCount, const RowMask& start,
                                               std::int32_t headRows, double* const* sums) {
    Row acc[Windows];
    const double* in[Windows];
#pragma GCC unroll 8
    for (int w = 0; w < Windows; ++w) {
        std::memcpy(&acc[w], sums[w], sizeof(Row));
        in[w] = x[w];
    }
    std::int32_t t = 0;
    // Head: lanes that have not started get +0.0 instead of their product, as in
    // correlateGroup (a NaN or infinity outside a bin's window must not reach its sum).
    for (; t < headRows && t < rowCount; ++t) {
        Row row;
        std::memcpy(&row, rows + static_cast<std::size_t>(t) * 8, sizeof row);
        const RowMask active = start <= static_cast<std::int64_t>(t);
#pragma GCC unroll 8
        for (int w = 0; w < Windows; ++w) {
            acc[w] += (Row)((RowMask)(row * in[w][t]) & active);
        }
    }
    for (; t < rowCount; ++t) {
        Row row;
        std::memcpy(&row, rows + static_cast<std::size_t>(t) * 8, sizeof row);
        // The kernel tile comes from the second-level cache and each window's samples from
        // the last-level one, nine streams at once: asked for ahead, the loop waits less
        // (about 5% less processor time for analyse). A prefetch never faults, so one past
        // the end of a buffer is harmless.
        __builtin_prefetch(rows + static_cast<std::size_t>(t + 16) * 8);
#pragma GCC unroll 8
        for (int w = 0; w < Windows; ++w) {
            acc[w] += row * in[w][t];
            if ((t & 7) == 0) __builtin_prefetch(in[w] + t + 64);  // a line of 8 samples
        }
    }
#pragma GCC unroll 8
    for (int w = 0; w < Windows; ++w) std::memcpy(sums[w], &acc[w], sizeof(Row));
}

// Takes the windows `Widest` at a time (as many as the target's registers hold with the
// kernel row), then the rest by halves.
template <int Widest>
[[gnu::always_inline]] inline void windowsLoop(const double* rows, const double* const* x,
                                               int windowCount, std::int32_t rowCount,
                                               const std::int32_t laneStart[4],
                                               std::int32_t headRows, double* const* sums) {
    const RowMask start = {laneStart[0], laneStart[1], laneStart[2], laneStart[3],
                           laneStart[0], laneStart[1], laneStart[2], laneStart[3]};
    int w = 0;
    for (; w + Widest <= windowCount; w += Widest) {
        windowsBody<Widest>(rows, x + w, rowCount, start, headRows, sums + w);
    }
    if constexpr (Widest > 2) {
        if (w + Widest / 2 <= windowCount) {
            windowsBody<Widest / 2>(rows, x + w, rowCount, start, headRows, sums + w);
            w += Widest / 2;
        }
    }
    if constexpr (Widest > 4) {
        if (w + 2 <= windowCount) {
            windowsBody<2>(rows, x + w, rowCount, start, headRows, sums + w);
            w += 2;
        }
    }
    for (; w < windowCount; ++w) windowsBody<1>(rows, x + w, rowCount, start, headRows, sums + w);
}

using WindowsFn = void (*)(const double*, const double* const*, int, std::int32_t,
                           const std::int32_t*, std::int32_t, double* const*);

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define CQSCOPE_RUNTIME_DISPATCH 1

// 32 vector registers of eight doubles: eight windows' sums, the row and the samples.
__attribute__((target("avx512f"))) void windowsAvx512(const double* rows, const double* const* x,
                                                      int windowCount, std::int32_t rowCount,
                                                      const std::int32_t* laneStart,
                                                      std::int32_t headRows, double* const* sums) {
    windowsLoop<8>(rows, x, windowCount, rowCount, laneStart, headRows, sums);
}

// 16 registers of four doubles: four windows' sums take eight of them.
__attribute__((target("avx2"))) void windowsAvx2(const double* rows, const double* const* x,
                                                 int windowCount, std::int32_t rowCount,
                                                 const std::int32_t* laneStart,
                                                 std::int32_t headRows, double* const* sums) {
    windowsLoop<4>(rows, x, windowCount, rowCount, laneStart, headRows, sums);
}
#endif

// 16 registers of two doubles: two windows' sums take eight of them.
void windowsPortable(const double* rows, const double* const* x, int windowCount,
                     std::int32_t rowCount, const std::int32_t* laneStart, std::int32_t headRows,
                     double* const* sums) {
    windowsLoop<2>(rows, x, windowCount, rowCount, laneStart, headRows, sums);
}

struct Path {
    WindowsFn fn;
    const char* name;
};

Path choosePath() noexcept {
#ifdef CQSCOPE_RUNTIME_DISPATCH
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return {windowsAvx512, "avx512f"};
    if (__builtin_cpu_supports("avx2")) return {windowsAvx2, "avx2"};
#endif
    return {windowsPortable, "portable"};
}

// Chosen once, when the library is loaded.
const Path chosenPath = choosePath();

}  // namespace

void correlateGroupWindows(const double* rows, const double* const* x, int windowCount,
                           std::int32_t rowCount, const std::int32_t laneStart[4],
                           std::int32_t headRows, double* const* sums) noexcept {
    chosenPath.fn(rows, x, windowCount, rowCount, laneStart, headRows, sums);
}

const char* windowCorrelationPath() noexcept {
    return chosenPath.name;
}

int availableWindowCorrelations(WindowCorrelationImplementation* out, int capacity) noexcept {
    int count = 0;
    auto add = [&](const char* name, WindowsFn fn) {
        if (count < capacity) out[count++] = {name, fn};
    };
    add("portable", windowsPortable);
#ifdef CQSCOPE_RUNTIME_DISPATCH
    if (__builtin_cpu_supports("avx2")) add("avx2", windowsAvx2);
    if (__builtin_cpu_supports("avx512f")) add("avx512f", windowsAvx512);
#endif
    return count;
}

}  // namespace cqscope::detail
