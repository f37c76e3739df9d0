#include "analysis/analyser.h"

#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>

namespace cqscope {

Analyser::Analyser(double sampleRate)
    : current_(new ConstantQBank(sampleRate)), analysisRate_(sampleRate) {}

Analyser::~Analyser() {
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

void Analyser::transformShown(ConstantQBank::ShownAlike shownAlike) {
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
    ConstantQBank* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(bankMutex_);
        old = current_.exchange(fresh, std::memory_order_seq_cst);
        analysisRate_.store(sampleRate, std::memory_order_release);
    }
    retire(old);
    return RateChange::switched;
}

void Analyser::release() {
    std::lock_guard<std::mutex> switching(switchMutex_);
    ConstantQBank* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(bankMutex_);
        old = current_.exchange(nullptr, std::memory_order_seq_cst);
        analysisRate_.store(0.0, std::memory_order_release);
    }
    retire(old);
}

void Analyser::retire(ConstantQBank* old) {
    if (old == nullptr) return;
    // No transform can hold `old` now; wait until the audio thread is done with it.
    while (audioInUse_.load(std::memory_order_seq_cst) == old) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    delete old;
}

Analyser::RateChange Analyser::buildForWaitingAudio(double sampleRate) {
    if (hasBank() || !audioWaiting_.load(std::memory_order_relaxed)) return RateChange::unchanged;
    return setSampleRate(sampleRate);
}

}  // namespace cqscope
