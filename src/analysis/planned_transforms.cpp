#include "analysis/planned_transforms.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

namespace cqscope {
namespace {

// One refresh's magnitudes and the window they were computed from: `length` samples of
// `samples` from `start`, shared by the refreshes of one flush.
struct Planned {
    const KernelSet* kernels;
    std::uint32_t writeCount;  // frames fed when the window ends, modulo 2^32
    std::shared_ptr<const LargeVector<double>> samples;
    std::size_t start;
    Magnitudes magnitudes;
};

// Plans nobody takes (a display that stopped refreshing) are dropped beyond this many, oldest
// first, so that a long render's store stays a few MB.
constexpr std::size_t kMostPlanned = 4 * BatchTransform::kMaxBatch;

struct Store {
    std::mutex mutex;
    std::deque<Planned> planned;
    std::atomic<int> open{0};  // TransformAheads alive
};

Store& store() {
    static Store instance;
    return instance;
}

}  // namespace

bool transformsPlanned() noexcept {
    return store().open.load(std::memory_order_acquire) > 0;
}

bool takePlanned(const KernelSet& kernels, std::uint32_t writeCount, const double* window,
                 std::uint32_t length, Magnitudes& out) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto found = std::find_if(s.planned.begin(), s.planned.end(), [&](const Planned& p) {
        return p.kernels == &kernels && p.writeCount == writeCount;
    });
    if (found == s.planned.end()) return false;
    const bool same = found->samples->size() >= found->start + length &&
                      std::memcmp(found->samples->data() + found->start, window,
                                  std::size_t{length} * sizeof(double)) == 0;
    if (same) {
        out = found->magnitudes;
        s.planned.erase(s.planned.begin(), found + 1);
    } else {
        s.planned.erase(found);
    }
    return same;
}

TransformAhead::TransformAhead(double sampleRate, std::int64_t spacing)
    : bank_(sampleRate),
      batch_(KernelSet::forRate(sampleRate)),
      batchSize_(batch_.batchSize(std::max<std::int64_t>(1, spacing))),
      tapeStart_(-static_cast<std::int64_t>(bank_.historyLength())) {
    // The most the tape holds (see audio): two histories, a batch's spread and a block. Made
    // that large at once, so that it is neither moved nor faulted in again as it grows.
    const std::size_t length = bank_.historyLength();
    tape_.reserve(2 * length + 4096 +
                  static_cast<std::size_t>(batchSize_) *
                      static_cast<std::size_t>(std::max<std::int64_t>(1, spacing)));
    tape_.assign(length, 0.0);
    store().open.fetch_add(1, std::memory_order_acq_rel);
}

TransformAhead::~TransformAhead() {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.open.fetch_sub(1, std::memory_order_acq_rel) == 1) s.planned.clear();
}

float TransformAhead::audio(const float* left, const float* right, std::int32_t frames) {
    if (frames <= 0) return 0.0f;
    const float* inputs[2] = {left, right};
    const std::uint32_t length = bank_.historyLength();
    const std::uint32_t before = bank_.writeCount();
    const float span = bank_.appendBlock(inputs, frames);
    // What the intake stored is the mix, bit for bit, whatever its arithmetic.
    for (std::int32_t k = 0; k < frames; ++k) {
        tape_.push_back(bank_.historyAt((before + static_cast<std::uint32_t>(k)) % length));
    }
    fed_ += frames;
    // No window asked for yet reaches further back than a history before now (or before the
    // oldest refresh asked for): the rest goes, a history's length at a time.
    const std::int64_t keepFrom =
        (pending_.empty() ? fed_ : pending_.front()) - static_cast<std::int64_t>(length);
    if (keepFrom - tapeStart_ >= static_cast<std::int64_t>(length)) {
        tape_.erase(tape_.begin(), tape_.begin() + (keepFrom - tapeStart_));
        tapeStart_ = keepFrom;
    }
    return span;
}

void TransformAhead::refresh() {
    pending_.push_back(fed_);
}

std::shared_ptr<const LargeVector<double>> TransformAhead::windowCopy(const double* from,
                                                                      const double* to) {
    // Only this object hands out its copies, and only to the store, which drops them under its
    // lock: a copy whose count is 1 under that lock is out of every other hand and cannot come
    // back into one.
    std::shared_ptr<LargeVector<double>> copy;
    {
        std::lock_guard<std::mutex> lock(store().mutex);
        for (const auto& held : windowCopies_) {
            if (held.use_count() == 1) {
                copy = held;
                break;
            }
        }
    }
    if (!copy) {
        copy = std::make_shared<LargeVector<double>>();
        windowCopies_.push_back(copy);
    }
    copy->assign(from, to);
    return copy;
}

void TransformAhead::flush() {
    if (pending_.empty()) return;
    const std::int64_t length = bank_.historyLength();
    const int count = static_cast<int>(pending_.size());
    std::vector<std::int64_t> ends(pending_);
    for (std::int64_t& end : ends) end -= tapeStart_;
    const std::int64_t first = ends.front() - length;
    try {
        magnitudes_.resize(pending_.size());
        batch_.transform(tape_.data(), ends.data(), count, magnitudes_.data());
        // The windows the displays will compare, kept while any of their plans is.
        std::shared_ptr<const LargeVector<double>> samples =
            windowCopy(tape_.data() + first, tape_.data() + ends.back());
        Store& s = store();
        std::lock_guard<std::mutex> lock(s.mutex);
        for (int r = 0; r < count; ++r) {
            s.planned.push_back({&batch_.kernels(), static_cast<std::uint32_t>(pending_[r]),
                                 samples, static_cast<std::size_t>(ends[r] - length - first),
                                 magnitudes_[r]});
        }
        while (s.planned.size() > kMostPlanned) s.planned.pop_front();
    } catch (...) {
        pending_.clear();
        throw;
    }
    pending_.clear();
}

}  // namespace cqscope
