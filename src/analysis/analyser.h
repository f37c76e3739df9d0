// Everything one effect instance analyses: its current ConstantQBank, its SignalSpan and the
// magnitudes its display draws. Two effects never share any of it (only the read-only kernel
// sets are shared, per rate).
//
// An analyser may start without a bank, so that an effect that is only scanned builds no
// kernels. Until its first bank exists, audio goes unanalysed (SignalSpan stays 0)
// and the analyser remembers that audio is flowing, so that the display can have the bank
// built on its own thread (`buildForWaitingAudio`) for a host that never resumes the effect.
//
// Threads:
// - audio thread: `processBlock` (never waits, locks or allocates);
// - user-interface thread: `transform`, `magnitudes`, `signalSpan`, `buildForWaitingAudio`;
// - any non-audio thread (the effect's resume): `setSampleRate` and `release`; a switch may
//   build kernels and then swaps banks; it waits for a running transform and for a running
//   audio block to finish with the old bank before freeing it. The audio thread
//   only announces the bank it uses (a hazard pointer), so it never waits for the switch.
// `bank()` is for tests and must not race a rate switch.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "analysis/bin_layout.h"
#include "analysis/constant_q_bank.h"

namespace cqscope {

class Analyser {
  public:
    enum class RateChange {
        unchanged,    // the bank already serves this rate
        switched,     // a bank for the new rate is now in use
        unsupported,  // outside 8,000..192,000 Hz (or not a number): the old bank stays
        outOfMemory,  // the new kernels could not be allocated: the old bank stays
    };

    // No bank yet: audio passes through unanalysed until `setSampleRate` or
    // `buildForWaitingAudio` builds one. Allocates nothing of the analysis.
    Analyser() = default;
    // Builds the bank for `sampleRate` Hz at once.
    // Throws std::invalid_argument for an unsupported rate and std::bad_alloc without memory.
    explicit Analyser(double sampleRate);
    ~Analyser();
    Analyser(const Analyser&) = delete;
    Analyser& operator=(const Analyser&) = delete;

    // Audio thread: mono mix of the two input channels into the history ring, writeCount,
    // SignalSpan. Only reads the inputs. `frames` <= 0 changes nothing at all (hosts call with
    // no frames to flush parameters). Without a bank nothing is analysed (SignalSpan 0).
    void processBlock(const float* const* inputs, std::int32_t frames) noexcept;

    // Peak-to-peak spread of the last audio block, extended back to at least
    // ConstantQBank::kSpanFrames frames (ConstantQBank::appendBlock); 0 before the first.
    float signalSpan() const noexcept { return signalSpan_.load(std::memory_order_relaxed); }

    // User-interface thread: recomputes the magnitudes from the current bank (without a bank
    // they stay as they are).
    void transform();
    // User-interface thread: as transform, to the display's precision
    // (ConstantQBank::transformShown).
    void transformShown(ConstantQBank::ShownAlike shownAlike);
    // User-interface thread: the magnitudes of the last transform, [octave][bin]; all 0
    // before the first. The reference stays valid for the analyser's life (a rate switch keeps
    // the last picture until the next transform).
    const Magnitudes& magnitudes() const noexcept { return magnitudes_; }

    // Any non-audio thread: makes the analysis follow a new sample rate in Hz (builds the
    // first bank when there is none).
    RateChange setSampleRate(double sampleRate);

    // Any non-audio thread: drops the bank (its kernel set goes with its last user), so that
    // nothing is analysed (SignalSpan 0) until setSampleRate builds a bank again. The
    // magnitudes keep the last picture. Waits, as a switch does, for a running transform and
    // audio block.
    void release();

    // User-interface thread: when audio has reached the analyser while it had no bank, builds
    // one for `sampleRate` Hz (as setSampleRate); otherwise does nothing and answers unchanged.
    RateChange buildForWaitingAudio(double sampleRate);

    // The rate the current bank was built for, or 0 before the first bank (any thread).
    double analysisRate() const noexcept { return analysisRate_.load(std::memory_order_acquire); }
    // Whether a bank exists (any thread).
    bool hasBank() const noexcept { return current_.load(std::memory_order_acquire) != nullptr; }

    // For tests: the current bank. Requires: hasBank().
    ConstantQBank& bank() noexcept { return *current_.load(std::memory_order_acquire); }

  private:
    // Runs run(bank) on the current bank under the bank lock and keeps its magnitudes.
    template <class Run>
    void transformWith(Run run);
    // Frees a bank taken out of use, once the audio thread no longer announces it.
    void retire(ConstantQBank* old);

    std::atomic<ConstantQBank*> current_{nullptr};
    // The bank the audio thread is using right now, or null between blocks.
    std::atomic<ConstantQBank*> audioInUse_{nullptr};
    std::atomic<double> analysisRate_{0.0};
    std::atomic<float> signalSpan_{0.0f};
    // Set by the audio thread when a block arrived before the first bank existed.
    std::atomic<bool> audioWaiting_{false};
    // Serialises transforms against bank switches (never taken on the audio thread).
    std::mutex bankMutex_;
    // Serialises rate switches asked for from several threads; held while a bank is built, so
    // separate from bankMutex_, which a transform waits for.
    std::mutex switchMutex_;
    Magnitudes magnitudes_{};
};

}  // namespace cqscope
