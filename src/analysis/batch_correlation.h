// The inner loop of the batched transform: one kernel group correlated with several windows
// at once, so that each kernel row is loaded once for all of them and the windows' sums,
// which do not depend on one another, are added side by side. Internal to the analysis
// library; any thread (it touches only its arguments).
#pragma once

#include <cstdint>

namespace cqscope::detail {

// For each of `windowCount` windows w: adds to sums[w][lane], for each of the 8 lanes of a
// group, rows[t][lane] * x[w][t] over the rows t at which the lane's bin is active
// (t >= laneStart[lane % 4]; a start may be negative), one product at a time in increasing t,
// exactly as correlateGroup does for one window: from the same sums, each window's result is
// bit for bit what correlateGroup gives for it. Each x[w] holds `rowCount` samples in time
// order, oldest first; windows may overlap. Pieces of a window may be correlated by
// consecutive calls.
void correlateGroupWindows(const double* rows, const double* const* x, int windowCount,
                           std::int32_t rowCount, const std::int32_t laneStart[4],
                           std::int32_t headRows, double* const* sums) noexcept;

// Name of the instruction set the running machine uses for correlateGroupWindows.
const char* windowCorrelationPath() noexcept;

// One implementation of correlateGroupWindows, for tests that compare them all.
struct WindowCorrelationImplementation {
    const char* name;
    void (*correlate)(const double* rows, const double* const* x, int windowCount,
                      std::int32_t rowCount, const std::int32_t* laneStart, std::int32_t headRows,
                      double* const* sums);
};
// Every implementation the running machine can execute (the portable one always).
// Writes up to `capacity` entries and answers how many it wrote.
int availableWindowCorrelations(WindowCorrelationImplementation* out, int capacity) noexcept;

}  // namespace cqscope::detail
