#include "analysis/kernel_set.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>

#include "analysis/helper_thread.h"
#include "analysis/large_pages.h"

namespace cqscope {
namespace {

constexpr double kTwoPi = 6.283185307179586;

std::atomic<int> liveSets{0};
std::atomic<int> builtSets{0};

// The live sets by the bit pattern of their rate. An entry is removed with its set.
struct Registry {
    // Recursive: when the shared owner of a new set cannot be allocated, the set is released
    // at once, and its deleter takes this lock again on the same thread.
    std::recursive_mutex mutex;
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
    for (int g = 0; g < kGroupCount; ++g) groupsByRows_[g] = static_cast<std::int16_t>(g);
    std::stable_sort(groupsByRows_, groupsByRows_ + kGroupCount,
                     [this](int a, int b) { return groups_[a].rows < groups_[b].rows; });
    rows_ = static_cast<double*>(allocateLarge(rowCount_ * kRowDoubles * sizeof(double)));
    try {
        fillAllGroups();
    } catch (...) {
        freeLarge(rows_, rowCount_ * kRowDoubles * sizeof(double));
        throw;
    }
    liveSets.fetch_add(1, std::memory_order_relaxed);
    builtSets.fetch_add(1, std::memory_order_relaxed);
}

KernelSet::~KernelSet() {
    if (float* floats = floatRows_.load(std::memory_order_relaxed)) {
        freeLarge(floats, rowCount_ * kRowDoubles * sizeof(float));
    }
    freeLarge(rows_, rowCount_ * kRowDoubles * sizeof(double));
    liveSets.fetch_sub(1, std::memory_order_relaxed);
}

void KernelSet::fillGroup(int g) noexcept {
    const Group& group = groups_[g];
    const int octave = g * kLanes / kBinsPerOctave;
    const int firstBin = g * kLanes % kBinsPerOctave;
    double n[kLanes];
    double omega[kLanes];
    for (int b = 0; b < kLanes; ++b) {
        n[b] = static_cast<double>(windowLengths_[octave][firstBin + b]);
        omega[b] = kTwoPi * binFrequency(octave, firstBin + b);
    }
    // Row by row, so that each cache line of the storage is written once, whole.
    double* row = rows_ + group.firstRow * kRowDoubles;
    for (std::int32_t t = 0; t < group.rows; ++t, row += kRowDoubles) {
        for (int b = 0; b < kLanes; ++b) {
            if (t < group.laneStart[b]) {
                row[b] = 0.0;
                row[kLanes + b] = 0.0;
                continue;
            }
            const double k = static_cast<double>(t - group.laneStart[b]);
            // Periodic Hann window (divisor N), so w(0) = 0.
            const double w = 0.5 - std::cos(k * kTwoPi / n[b]) * 0.5;
            const double phi = (omega[b] * k) / analysisRate_;
            row[b] = std::cos(phi) * w;
            row[kLanes + b] = std::sin(phi) * w;
        }
    }
}

void KernelSet::fillAllGroups() {
    // Almost all of the construction is trigonometry, so a helper thread fills groups beside
    // the calling one; each takes the next unfilled group (largest first, as groups are laid
    // out from the lowest octave up).
    std::atomic<int> next{0};
    auto work = [this, &next]() noexcept {
        for (int g = next.fetch_add(1); g < kGroupCount; g = next.fetch_add(1)) fillGroup(g);
    };
    detail::runBeside(work);
}

const float* KernelSet::floatRows() const noexcept {
    if (float* floats = floatRows_.load(std::memory_order_acquire)) return floats;
    std::lock_guard<std::mutex> lock(floatMutex_);
    if (!floatTried_) {
        floatTried_ = true;
        try {
            auto* floats =
                static_cast<float*>(allocateLarge(rowCount_ * kRowDoubles * sizeof(float)));
            fillFloatRows(floats);
            floatRows_.store(floats, std::memory_order_release);
        } catch (const std::bad_alloc&) {
            // The display's transform then stays exact.
        }
    }
    return floatRows_.load(std::memory_order_acquire);
}

void KernelSet::fillFloatRows(float* floats) const noexcept {
    // Bound by memory (12 bytes a coefficient), so shared with a helper thread in slices.
    constexpr std::size_t kSliceRows = std::size_t{1} << 14;
    const std::size_t slices = (rowCount_ + kSliceRows - 1) / kSliceRows;
    std::atomic<std::size_t> next{0};
    auto work = [&]() noexcept {
        for (std::size_t s = next.fetch_add(1); s < slices; s = next.fetch_add(1)) {
            const std::size_t end = std::min(rowCount_, (s + 1) * kSliceRows) * kRowDoubles;
            for (std::size_t i = s * kSliceRows * kRowDoubles; i < end; ++i) {
                floats[i] = static_cast<float>(rows_[i]);
            }
        }
    };
    detail::runBeside(work);
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
    const std::uint64_t key = std::bit_cast<std::uint64_t>(rate);
    // Held while building, so that two effects created at once build a rate only once.
    std::lock_guard<std::recursive_mutex> lock(reg.mutex);
    auto [entry, fresh] = reg.sets.try_emplace(key);
    if (!fresh) {
        if (auto set = entry->second.lock()) return set;
    }
    try {
        // The last user's release also removes the registry entry, so that nothing of a
        // rate stays behind once its last bank is gone.
        std::shared_ptr<const KernelSet> set(new KernelSet(rate), [key](const KernelSet* done) {
            {
                Registry& r = registry();
                std::lock_guard<std::recursive_mutex> relock(r.mutex);
                if (auto it = r.sets.find(key); it != r.sets.end() && it->second.expired()) {
                    r.sets.erase(it);
                }
            }
            delete done;
        });
        entry->second = set;
        return set;
    } catch (...) {
        // The deleter may already have removed the entry.
        if (auto it = reg.sets.find(key); it != reg.sets.end() && it->second.expired()) {
            reg.sets.erase(it);
        }
        throw;
    }
}

int KernelSet::liveCount() noexcept {
    return liveSets.load(std::memory_order_relaxed);
}

int KernelSet::builtCount() noexcept {
    return builtSets.load(std::memory_order_relaxed);
}

}  // namespace cqscope
