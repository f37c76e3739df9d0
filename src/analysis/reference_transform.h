// The plain constant-Q transform, kept as the oracle for tests and the baseline for the
// benchmarks: per-bin kernel arrays (one allocation per bin), one unsigned modulo per history
// element, one product at a time in increasing k. The production transform must give the
// same magnitudes bit for bit.
//
// Threads: whichever thread owns the objects; nothing is shared.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/bin_layout.h"
#include "analysis/kernel_set.h"

namespace cqscope {

// The kernels of a KernelSet copied into one array per bin and kernel, as a plain
// implementation would hold them.
struct ReferenceKernels {
    explicit ReferenceKernels(const KernelSet& set);

    std::uint32_t historyLength;
    WindowLengths windowLengths;
    // [octave * 120 + bin] -> N coefficients.
    std::vector<std::unique_ptr<double[]>> cosKernels;
    std::vector<std::unique_ptr<double[]>> sinKernels;
};

// Magnitudes of the newest windows of `history` (historyLength elements) when `writeCount`
// frames have been appended: bin (i, j) reads history[(L - N + writeCount + k) mod L] for
// k = 0 .. N-1, all index arithmetic in unsigned 32 bits.
void referenceTransform(const ReferenceKernels& kernels, const std::atomic<double>* history,
                        std::uint32_t writeCount, Magnitudes& out) noexcept;

}  // namespace cqscope
