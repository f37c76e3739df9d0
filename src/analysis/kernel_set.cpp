#include "analysis/kernel_set.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>

namespace cqscope {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr std::align_val_t kRowAlignment{64};

std::atomic<int> liveSets{0};

// Built sets by the bit pattern of their rate. Entries expire with their last user and are
// pruned on the next lookup.
struct Registry {
    std::mutex mutex;
    std::map<std::uint64_t, std::weak_ptr<const KernelSet>> sets;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

KernelSet::KernelSet(double rate) : analysisRate_(rate) {
    for (int i = 0; i < kOctaves; ++i) {
        for (int j = 0; j < kBinsPerOctave; ++j) {
            windowLengths_[i][j] = cqscope::windowLength(rate, binFrequency(i, j));
        }
    }
    std::size_t row = 0;
    for (int g = 0; g < kGroupCount; ++g) {
        const int octave = g * kLanes / kBinsPerOctave;
        const int firstBin = g * kLanes % kBinsPerOctave;
        std::int32_t longest = 0;
        for (int b = 0; b < kLanes; ++b) {
            longest = std::max(longest, windowLengths_[octave][firstBin + b]);
        }
        Group& group = groups_[g];
        group.firstRow = row;
        group.rows = longest;
        group.headRows = 0;
        for (int b = 0; b < kLanes; ++b) {
            group.laneStart[b] = longest - windowLengths_[octave][firstBin + b];
            group.headRows = std::max(group.headRows, group.laneStart[b]);
        }
        row += static_cast<std::size_t>(longest);
    }
    rowCount_ = row;
    // Left uninitialised on purpose: fillGroup writes every element once, so the pages are
    // touched only once.
    rows_ = static_cast<double*>(
        ::operator new(rowCount_* kRowDoubles * sizeof(double), kRowAlignment));
    for (int g = 0; g < kGroupCount; ++g) fillGroup(g);
    liveSets.fetch_add(1, std::memory_order_relaxed);
}

KernelSet::~KernelSet() {
    ::operator delete(rows_, kRowAlignment);
    liveSets.fetch_sub(1, std::memory_order_relaxed);
}

void KernelSet::fillGroup(int g) noexcept {
    const Group& group = groups_[g];
    const int octave = g * kLanes / kBinsPerOctave;
    const int firstBin = g * kLanes % kBinsPerOctave;
    double* base = rows_ + group.firstRow * kRowDoubles;
    for (int b = 0; b < kLanes; ++b) {
        const double f = binFrequency(octave, firstBin + b);
        const std::int32_t n = windowLengths_[octave][firstBin + b];
        const std::int32_t start = group.laneStart[b];
        for (std::int32_t t = 0; t < start; ++t) {
            base[t * kRowDoubles + b] = 0.0;
            base[t * kRowDoubles + kLanes + b] = 0.0;
        }
        const double nd = static_cast<double>(n);
        const double omega = kTwoPi * f;
        double* out = base + static_cast<std::size_t>(start) * kRowDoubles;
        for (std::int32_t k = 0; k < n; ++k) {
            const double kd = static_cast<double>(k);
            // Periodic Hann window (divisor N), so w(0) = 0.
            const double w = 0.5 - std::cos(kd * kTwoPi / nd) * 0.5;
            const double phi = (omega * kd) / analysisRate_;
            out[k * kRowDoubles + b] = std::cos(phi) * w;
            out[k * kRowDoubles + kLanes + b] = std::sin(phi) * w;
        }
    }
}

double KernelSet::cosCoefficient(int octave, int bin, std::int32_t k) const noexcept {
    const int column = octave * kBinsPerOctave + bin;
    const Group& group = groups_[column / kLanes];
    const int lane = column % kLanes;
    return rows_[(group.firstRow + group.laneStart[lane] + k) * kRowDoubles + lane];
}

double KernelSet::sinCoefficient(int octave, int bin, std::int32_t k) const noexcept {
    const int column = octave * kBinsPerOctave + bin;
    const Group& group = groups_[column / kLanes];
    const int lane = column % kLanes;
    return rows_[(group.firstRow + group.laneStart[lane] + k) * kRowDoubles + kLanes + lane];
}

std::shared_ptr<const KernelSet> KernelSet::forRate(double rate) {
    if (!isSupportedAnalysisRate(rate)) {
        throw std::invalid_argument("analysis rate " + std::to_string(rate) +
                                    " Hz is outside 8000..192000 Hz");
    }
    Registry& reg = registry();
    // Held while building, so that two effects created at once build a rate only once.
    std::lock_guard<std::mutex> lock(reg.mutex);
    for (auto it = reg.sets.begin(); it != reg.sets.end();) {
        it = it->second.expired() ? reg.sets.erase(it) : std::next(it);
    }
    const std::uint64_t key = std::bit_cast<std::uint64_t>(rate);
    if (auto found = reg.sets.find(key); found != reg.sets.end()) {
        if (auto set = found->second.lock()) return set;
    }
    std::shared_ptr<const KernelSet> set(new KernelSet(rate));
    reg.sets[key] = set;
    return set;
}

int KernelSet::liveCount() noexcept {
    return liveSets.load(std::memory_order_relaxed);
}

}  // namespace cqscope
