// Built with -ffp-contract=off: each product is rounded before it is added.
#include "analysis/reference_transform.h"

#include <cmath>

namespace cqscope {

ReferenceKernels::ReferenceKernels(const KernelSet& set)
    : historyLength(set.historyLength()), windowLengths(set.windowLengths()) {
    cosKernels.reserve(kBinCount);
    sinKernels.reserve(kBinCount);
    for (int i = 0; i < kOctaves; ++i) {
        for (int j = 0; j < kBinsPerOctave; ++j) {
            const std::int32_t n = windowLengths[i][j];
            auto c = std::make_unique<double[]>(static_cast<std::size_t>(n));
            auto s = std::make_unique<double[]>(static_cast<std::size_t>(n));
            for (std::int32_t k = 0; k < n; ++k) {
                c[k] = set.cosCoefficient(i, j, k);
                s[k] = set.sinCoefficient(i, j, k);
            }
            cosKernels.push_back(std::move(c));
            sinKernels.push_back(std::move(s));
        }
    }
}

void referenceTransform(const ReferenceKernels& kernels, const std::atomic<double>* history,
                        std::uint32_t writeCount, Magnitudes& out) noexcept {
    const std::uint32_t now = writeCount;
    for (int i = 0; i < kOctaves; ++i) {
        for (int j = 0; j < kBinsPerOctave; ++j) {
            const std::int32_t n = kernels.windowLengths[i][j];
            double cosSum = 0.0;
            double sinSum = 0.0;
            if (n > 0) {
                const std::uint32_t length = kernels.historyLength;
                const std::uint32_t start = length - static_cast<std::uint32_t>(n) + now;
                const double* c = kernels.cosKernels[i * kBinsPerOctave + j].get();
                const double* s = kernels.sinKernels[i * kBinsPerOctave + j].get();
                for (std::int32_t k = 0; k < n; ++k) {
                    const double x = history[(start + static_cast<std::uint32_t>(k)) % length].load(
                        std::memory_order_relaxed);
                    cosSum = cosSum + c[k] * x;
                    sinSum = sinSum + s[k] * x;
                }
            }
            out[i][j] =
                n > 0 ? std::sqrt(sinSum * sinSum + cosSum * cosSum) / static_cast<double>(n) : 0.0;
        }
    }
}

}  // namespace cqscope
