// Built with -ffp-contract=off: every product is rounded before it is added, as in the plain
// transform, so the vector path gives the same bits.
#include "analysis/group_correlation.h"

#include <cstring>

namespace cqscope::detail {
namespace {

// Eight doubles: one kernel row. The generic vector type lowers to whatever the function's
// target offers (one AVX-512 register, two AVX registers, four SSE2 registers).
typedef double Row __attribute__((vector_size(64)));
typedef std::int64_t RowMask __attribute__((vector_size(64)));

[[gnu::always_inline]] inline void correlateBody(const double* rows, const double* x,
                                                 std::int32_t rowCount,
                                                 const std::int32_t laneStart[4],
                                                 std::int32_t headRows, double sums[8]) {
    Row acc;
    std::memcpy(&acc, sums, sizeof acc);
    const RowMask start = {laneStart[0], laneStart[1], laneStart[2], laneStart[3],
                           laneStart[0], laneStart[1], laneStart[2], laneStart[3]};
    std::int32_t t = 0;
    // Head: some lanes have not started. Their products are replaced by +0.0 (not multiplied
    // by a mask: a NaN or infinity outside a bin's window must not reach its sum), and adding
    // +0.0 keeps their sums at the +0.0 the plain loop starts from.
    for (; t < headRows && t < rowCount; ++t) {
        Row row;
        std::memcpy(&row, rows + static_cast<std::size_t>(t) * 8, sizeof row);
        const Row product = row * x[t];
        const RowMask active = start <= static_cast<std::int64_t>(t);
        acc += (Row)((RowMask)product & active);
    }
    for (; t < rowCount; ++t) {
        Row row;
        std::memcpy(&row, rows + static_cast<std::size_t>(t) * 8, sizeof row);
        acc += row * x[t];
    }
    std::memcpy(sums, &acc, sizeof acc);
}

typedef float FloatRow __attribute__((vector_size(32)));

[[gnu::always_inline]] inline void approxBody(const float* rows, const double* x,
                                              std::int32_t rowCount, double sums[8]) {
    // Two sums in turn, so that each addition waits on the one two rows back.
    Row even = {0, 0, 0, 0, 0, 0, 0, 0};
    Row odd = even;
    std::int32_t t = 0;
    for (; t + 2 <= rowCount; t += 2) {
        FloatRow a, b;
        std::memcpy(&a, rows + static_cast<std::size_t>(t) * 8, sizeof a);
        std::memcpy(&b, rows + static_cast<std::size_t>(t) * 8 + 8, sizeof b);
        even += __builtin_convertvector(a, Row) * x[t];
        odd += __builtin_convertvector(b, Row) * x[t + 1];
    }
    if (t < rowCount) {
        FloatRow a;
        std::memcpy(&a, rows + static_cast<std::size_t>(t) * 8, sizeof a);
        even += __builtin_convertvector(a, Row) * x[t];
    }
    Row acc;
    std::memcpy(&acc, sums, sizeof acc);
    acc += even + odd;
    std::memcpy(sums, &acc, sizeof acc);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define CQSCOPE_RUNTIME_DISPATCH 1

__attribute__((target("avx512f"))) void correlateAvx512(const double* rows, const double* x,
                                                        std::int32_t rowCount,
                                                        const std::int32_t laneStart[4],
                                                        std::int32_t headRows, double sums[8]) {
    correlateBody(rows, x, rowCount, laneStart, headRows, sums);
}

__attribute__((target("avx512f"))) void approxAvx512(const float* rows, const double* x,
                                                     std::int32_t rowCount, double sums[8]) {
    approxBody(rows, x, rowCount, sums);
}

__attribute__((target("avx2"))) void approxAvx2(const float* rows, const double* x,
                                                std::int32_t rowCount, double sums[8]) {
    approxBody(rows, x, rowCount, sums);
}

__attribute__((target("avx2"))) void correlateAvx2(const double* rows, const double* x,
                                                   std::int32_t rowCount,
                                                   const std::int32_t laneStart[4],
                                                   std::int32_t headRows, double sums[8]) {
    correlateBody(rows, x, rowCount, laneStart, headRows, sums);
}
#endif

void correlatePortable(const double* rows, const double* x, std::int32_t rowCount,
                       const std::int32_t laneStart[4], std::int32_t headRows, double sums[8]) {
    correlateBody(rows, x, rowCount, laneStart, headRows, sums);
}

void approxPortable(const float* rows, const double* x, std::int32_t rowCount, double sums[8]) {
    approxBody(rows, x, rowCount, sums);
}

using CorrelateFn = void (*)(const double*, const double*, std::int32_t, const std::int32_t*,
                             std::int32_t, double*);
using ApproxFn = void (*)(const float*, const double*, std::int32_t, double*);

struct Path {
    CorrelateFn fn;
    ApproxFn approx;
    const char* name;
};

Path choosePath() noexcept {
#ifdef CQSCOPE_RUNTIME_DISPATCH
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return {correlateAvx512, approxAvx512, "avx512f"};
    if (__builtin_cpu_supports("avx2")) return {correlateAvx2, approxAvx2, "avx2"};
#endif
    return {correlatePortable, approxPortable, "portable"};
}

// Chosen once, when the library is loaded, so no call ever pays for the check.
const Path chosenPath = choosePath();

}  // namespace

void correlateGroup(const double* rows, const double* x, std::int32_t rowCount,
                    const std::int32_t laneStart[4], std::int32_t headRows,
                    double sums[8]) noexcept {
    chosenPath.fn(rows, x, rowCount, laneStart, headRows, sums);
}

void correlateGroupApprox(const float* rows, const double* x, std::int32_t rowCount,
                          double sums[8]) noexcept {
    chosenPath.approx(rows, x, rowCount, sums);
}

const char* correlationPath() noexcept {
    return chosenPath.name;
}

int availableCorrelations(CorrelationImplementation* out, int capacity) noexcept {
    int count = 0;
    auto add = [&](const char* name, CorrelateFn fn) {
        if (count < capacity) out[count++] = {name, fn};
    };
    add("portable", correlatePortable);
#ifdef CQSCOPE_RUNTIME_DISPATCH
    if (__builtin_cpu_supports("avx2")) add("avx2", correlateAvx2);
    if (__builtin_cpu_supports("avx512f")) add("avx512f", correlateAvx512);
#endif
    return count;
}

}  // namespace cqscope::detail
