// The inner loop of the transform: correlates one kernel group with the history.
// Internal to the analysis library.
#pragma once

#include <cstdint>

namespace cqscope::detail {

// Sums, for each of the 8 lanes of a group (4 cosine, 4 sine), row[t][lane] * x[t] over the
// rows t at which the lane's bin is active (t >= laneStart[lane % 4]), one product at a time in
// increasing t, starting from 0.0. `x` holds `rows` samples in time order, oldest first.
// The result is bit-identical to a scalar loop over each lane's own window.
void correlateGroup(const double* rows, const double* x, std::int32_t rowCount,
                    const std::int32_t laneStart[4], std::int32_t headRows,
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
