#include "analysis/analyser.h"

#include <new>
#include <stdexcept>
#include <system_error>

#include "analysis/planned_transforms.h"

namespace cqscope {
namespace {

// How many analysers of this module have their builder at work, for waitForAnalysisBuilds.
struct BuildCount {
    std::mutex mutex;
    std::condition_variable none;
    int running = 0;
};

BuildCount& buildCount() {
    static BuildCount count;
    return count;
}

void countBuilder(int change) {
    BuildCount& count = buildCount();
    std::lock_guard<std::mutex> lock(count.mutex);
    count.running += change;
    if (count.running == 0) count.none.notify_all();
}

}  // namespace

bool waitForAnalysisBuilds(std::chrono::milliseconds timeout) {
    BuildCount& count = buildCount();
    std::unique_lock<std::mutex> lock(count.mutex);
    return count.none.wait_for(lock, timeout, [&count] { return count.running == 0; });
}

Analyser::Analyser(double sampleRate)
    : current_(new ConstantQBank(sampleRate)), analysisRate_(sampleRate) {}

Analyser::~Analyser() {
    std::thread builder;
    {
        std::lock_guard<std::mutex> lock(buildMutex_);
        stopping_ = true;
        ++generation_;
        builder = std::move(builder_);
    }
    // The build in progress finishes and is thrown away; nothing is published after this.
    if (builder.joinable()) builder.join();
    delete current_.load(std::memory_order_acquire);
}

void Analyser::processBlock(const float* const* inputs, std::int32_t frames) noexcept {
    // An empty block (a host flushing parameters) brings no audio: the span of the audio that
    // did come stays.
    if (frames <= 0) return;
    // Announce the bank before using it, then check that it is still current: a switch that
    // replaced it in between either sees the announcement (and waits before freeing it) or has
    // already published the new bank, which the check then finds. Retries only while a switch
    // is publishing; never waits on another thread.
    ConstantQBank* bank = current_.load(std::memory_order_seq_cst);
    if (bank == nullptr) {
        // Nothing to analyse with yet (and nothing a switch could free).
        if (!audioWaiting_.load(std::memory_order_relaxed)) {
            audioWaiting_.store(true, std::memory_order_relaxed);
        }
        signalSpan_.store(0.0f, std::memory_order_relaxed);
        return;
    }
    for (;;) {
        audioInUse_.store(bank, std::memory_order_seq_cst);
        ConstantQBank* again = current_.load(std::memory_order_seq_cst);
        if (again == bank) break;
        bank = again;
    }
    const float span = bank->appendBlock(inputs, frames);
    audioInUse_.store(nullptr, std::memory_order_release);
    signalSpan_.store(span, std::memory_order_relaxed);
}

template <class Run>
void Analyser::transformWith(Run run) {
    std::lock_guard<std::mutex> lock(bankMutex_);
    ConstantQBank* bank = current_.load(std::memory_order_acquire);
    if (bank == nullptr) return;
    run(*bank);
    magnitudes_ = bank->magnitudes();
}

void Analyser::transform() {
    transformWith([](ConstantQBank& bank) { bank.transform(); });
}

bool Analyser::prepareFloatCopy() {
    if (!hasBank() || floatsReady_.load(std::memory_order_acquire)) return true;
    // While magnitudes are planned ahead, the display's transform takes those (or is exact):
    // the kernels need no float copy.
    if (transformsPlanned()) return false;
    std::lock_guard<std::mutex> lock(buildMutex_);
    if (!floatsAsked_ && !stopping_) {
        floatsAsked_ = true;
        if (!startBuilder()) floatsAsked_ = false;
    }
    return false;
}

void Analyser::transformShown(ConstantQBank::ShownAlike shownAlike) {
    if (transformsPlanned()) {
        // The exact magnitudes, worked out ahead where they were planned: drawn the same.
        transformWith([](ConstantQBank& bank) {
            if (!bank.takePlanned()) bank.transform();
        });
        return;
    }
    if (!prepareFloatCopy()) {
        // Making the float copy here would hold this thread for longer than a transform: the
        // builder makes it, and this refresh is exact (drawn the same).
        transform();
        return;
    }
    transformWith([shownAlike](ConstantQBank& bank) { bank.transformShown(shownAlike); });
}

Analyser::RateChange Analyser::setSampleRate(double sampleRate) {
    if (!isSupportedAnalysisRate(sampleRate)) return RateChange::unsupported;
    std::lock_guard<std::mutex> switching(switchMutex_);
    if (sampleRate == analysisRate()) return RateChange::unchanged;
    ConstantQBank* fresh = nullptr;
    try {
        // Built before any lock: a transform on the user-interface thread goes on meanwhile.
        fresh = new ConstantQBank(sampleRate);
    } catch (const std::bad_alloc&) {
        return RateChange::outOfMemory;
    }
    publish(fresh, sampleRate, false);
    return RateChange::switched;
}

void Analyser::publish(ConstantQBank* fresh, double rate, bool floatsReady) {
    ConstantQBank* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(bankMutex_);
        old = current_.exchange(fresh, std::memory_order_seq_cst);
        analysisRate_.store(rate, std::memory_order_release);
        floatsReady_.store(floatsReady, std::memory_order_release);
    }
    if (fresh != nullptr) refused_.store(false, std::memory_order_release);
    retire(old);
}

void Analyser::release() {
    std::lock_guard<std::mutex> switching(switchMutex_);
    publish(nullptr, 0.0, false);
}

void Analyser::refuse() {
    std::lock_guard<std::mutex> lock(buildMutex_);
    // A build in progress is stale from here on.
    asked_ = 0.0;
    ++generation_;
    refused_.store(true, std::memory_order_release);
    release();
}

void Analyser::retire(ConstantQBank* old) {
    if (old == nullptr) return;
    // No transform can hold `old` now; wait until the audio thread is done with it.
    while (audioInUse_.load(std::memory_order_seq_cst) == old) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    delete old;
}

Analyser::RateChange Analyser::requestSampleRate(double sampleRate, bool floatCopy) {
    if (!isSupportedAnalysisRate(sampleRate)) {
        refuse();
        return RateChange::unsupported;
    }
    {
        std::lock_guard<std::mutex> lock(buildMutex_);
        if (asked_ == sampleRate) {
            askedFloatCopy_ = askedFloatCopy_ || floatCopy;
            return RateChange::building;
        }
        if (sampleRate == analysisRate()) {
            if (asked_ != 0.0) {
                // Back to the rate in use: the build for another rate is stale.
                asked_ = 0.0;
                ++generation_;
            }
            return RateChange::unchanged;
        }
        if (!stopping_) {
            asked_ = sampleRate;
            askedFloatCopy_ = floatCopy;
            ++generation_;
            if (startBuilder()) return RateChange::building;
            asked_ = 0.0;
        }
    }
    // No thread to build on: build here, as a program that analyses a file does.
    const RateChange change = setSampleRate(sampleRate);
    if (change == RateChange::outOfMemory) refuse();
    lastBuild_.store(change, std::memory_order_release);
    return change;
}

bool Analyser::startBuilder() {
    if (building_) return true;
    // A builder that ended its work may still be leaving: it holds no lock and touches nothing
    // of ours any more, so joining it is quick.
    if (builder_.joinable()) builder_.join();
    countBuilder(+1);
    building_ = true;
    try {
        builder_ = std::thread([this] { build(); });
    } catch (const std::system_error&) {
        building_ = false;
        countBuilder(-1);
        return false;
    }
    return true;
}

void Analyser::build() noexcept {
    std::unique_lock<std::mutex> lock(buildMutex_);
    for (;;) {
        if (stopping_) break;
        if (asked_ != 0.0) {
            const double rate = asked_;
            const bool floatCopy = askedFloatCopy_;
            const std::uint64_t generation = generation_;
            lock.unlock();
            std::unique_ptr<ConstantQBank> fresh;
            try {
                fresh = std::make_unique<ConstantQBank>(rate);
                // Null without memory for it: the display's transform then stays exact.
                if (floatCopy) (void)fresh->kernels().floatRows();
            } catch (const std::bad_alloc&) {
                fresh.reset();
            }
            lock.lock();
            if (generation != generation_) {
                // Superseded while it was built: freed, never published.
                lock.unlock();
                fresh.reset();
                lock.lock();
                continue;
            }
            asked_ = 0.0;
            floatsAsked_ = false;
            {
                std::lock_guard<std::mutex> switching(switchMutex_);
                if (fresh == nullptr) {
                    refused_.store(true, std::memory_order_release);
                    publish(nullptr, 0.0, false);
                    lastBuild_.store(RateChange::outOfMemory, std::memory_order_release);
                } else {
                    publish(fresh.release(), rate, floatCopy);
                    lastBuild_.store(RateChange::switched, std::memory_order_release);
                }
            }
            continue;
        }
        if (floatsAsked_) {
            floatsAsked_ = false;
            lock.unlock();
            {
                // No switch can free the bank while this lock is held.
                std::lock_guard<std::mutex> switching(switchMutex_);
                if (ConstantQBank* bank = current_.load(std::memory_order_acquire)) {
                    (void)bank->kernels().floatRows();
                    floatsReady_.store(true, std::memory_order_release);
                }
            }
            lock.lock();
            continue;
        }
        break;
    }
    building_ = false;
    buildIdle_.notify_all();
    lock.unlock();
    countBuilder(-1);
}

bool Analyser::waitForBuild(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(buildMutex_);
    return buildIdle_.wait_for(lock, timeout, [this] { return !building_; });
}

Analyser::RateChange Analyser::buildForWaitingAudio(double sampleRate, bool floatCopy) {
    if (hasBank() || !audioWaiting_.load(std::memory_order_relaxed)) return RateChange::unchanged;
    if (!isSupportedAnalysisRate(sampleRate)) return RateChange::unsupported;
    return requestSampleRate(sampleRate, floatCopy);
}

}  // namespace cqscope
