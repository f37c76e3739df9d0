// The inner loop of the transform: correlates one kernel group with the history.
// Internal to the analysis library.
#pragma once

#include <cstdint>

namespace cqscope::detail {

// Adds to `sums`, for each of the 8 lanes of a group (4 cosine, 4 sine), row[t][lane] * x[t]
// over the rows t at which the lane's bin is active (t >= laneStart[lane % 4]; a start may be
// negative), one product at a time in increasing t. `x` holds `rowCount` samples in time
// order, oldest first. From sums of 0.0, the result is bit-identical to a scalar loop over
// each lane's own window; a window may be correlated in consecutive pieces, each call going
// on from the sums of the one before.
void correlateGroup(const double* rows, const double* x, std::int32_t rowCount,
                    const std::int32_t laneStart[4], std::int32_t headRows,
                    double sums[8]) noexcept;

// Adds to `sums`, for each of the 8 lanes of a group, rows[t][lane] * x[t] over all
// `rowCount` rows, in any order: the kernels as floats, so half the bytes of correlateGroup
// are read. Not exact; the caller bounds the error (a float kernel is within 2^-24 of the
// double one, whose magnitude is at most 1).
void correlateGroupApprox(const float* rows, const double* x, std::int32_t rowCount,
                          double sums[8]) noexcept;

// Name of the instruction set the running machine uses for correlateGroup.
const char* correlationPath() noexcept;

// One implementation of correlateGroup, for tests that compare them all.
struct CorrelationImplementation {
    const char* name;
    void (*correlate)(const double* rows, const double* x, std::int32_t rowCount,
                      const std::int32_t laneStart[4], std::int32_t headRows, double sums[8]);
};
// Every implementation the running machine can execute (the portable one always).
// Writes up to `capacity` entries and answers how many it wrote.
int availableCorrelations(CorrelationImplementation* out, int capacity) noexcept;

}  // namespace cqscope::detail
