// Everything one effect instance analyses: its current ConstantQBank, its SignalSpan and the
// magnitudes its display draws. Two effects never share any of it (only the read-only kernel
// sets are shared, per rate).
//
// An analyser may start without a bank, so that an effect that is only scanned builds no
// kernels. Until its first bank exists, audio goes unanalysed (SignalSpan stays 0)
// and the analyser remembers that audio is flowing, so that the display can have the bank
// built (`buildForWaitingAudio`) for a host that never resumes the effect.
//
// Banks are built in one of two ways. `setSampleRate` builds on the calling thread (with the
// process's helper) and returns with the bank in use: for programs that analyse a file.
// `requestSampleRate` returns at once and has the bank built beside, on this analyser's
// builder thread (started for the work and ended when none is left), then published: for
// hosts, whose switch-on and display threads must not wait a tenth of a second or more. The
// old bank serves audio and display until the new one is published; a build asked for while
// another runs supersedes it (the stale bank is freed, never published).
//
// Threads:
// - audio thread: `processBlock` (never waits, locks or allocates);
// - user-interface thread: `transform`, `transformShown`, `magnitudes`, `signalSpan`,
//   `buildForWaitingAudio`;
// - any non-audio thread (the effect's resume): `setSampleRate`, `requestSampleRate`,
//   `release`, `refuse`, `waitForBuild`; a switch swaps banks, waiting for a running
//   transform and for a running audio block to finish with the old bank before freeing it.
//   The audio thread only announces the bank it uses (a hazard pointer), so it never waits
//   for the switch;
// - the builder thread: builds and publishes banks, and makes the display's float copy of
//   the kernels; destruction stops it and waits for the build in progress.
// `bank()` is for tests and must not race a rate switch.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

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
        building,     // a bank for the new rate is being built beside; the old one serves
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
    // (ConstantQBank::transformShown). While a program of the module plans magnitudes ahead
    // (planned_transforms.h), exact: the planned ones for their window, else computed.
    void transformShown(ConstantQBank::ShownAlike shownAlike);
    // User-interface thread: has the builder make the float copy of the current bank's kernels
    // that transformShown reads, unless it is made; answers whether it is (true without a
    // bank). Until it is, transformShown is exact.
    bool prepareFloatCopy();
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

    // Any non-audio thread: drops the bank and any build asked for, and refuses (servesRate
    // false) until a rate it can serve is in use again: kernels of another rate would draw
    // every tone at the wrong place.
    void refuse();
    // False after `refuse`, a request for an unsupported rate or a requested build that ran
    // out of memory, until a bank is in use again (any thread).
    bool servesRate() const noexcept { return !refused_.load(std::memory_order_acquire); }

    // Any non-audio thread: asks for a bank for `sampleRate` Hz and returns at once. Answers
    // unchanged when the bank in use serves that rate (a build asked for another rate is
    // dropped), building when it is being built beside (asked now or before), unsupported
    // (after `refuse`) for a rate outside 8,000..192,000 Hz. A build that runs out of memory
    // refuses too (`lastBuild` then says outOfMemory). With `floatCopy`, the builder also makes
    // the display's float copy of the kernels before it publishes the bank.
    RateChange requestSampleRate(double sampleRate, bool floatCopy);
    // Any non-audio thread: waits until no requested build is pending or running, at most
    // `timeout`; answers whether none is.
    bool waitForBuild(std::chrono::milliseconds timeout);
    // How the last requested build ended: switched or outOfMemory (unchanged before any).
    RateChange lastBuild() const noexcept { return lastBuild_.load(std::memory_order_acquire); }

    // User-interface thread: when audio has reached the analyser while it had no bank and no
    // build is pending, asks for one for `sampleRate` Hz (as requestSampleRate); otherwise
    // does nothing and answers unchanged.
    RateChange buildForWaitingAudio(double sampleRate, bool floatCopy);

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
    // Puts `fresh` (or null) in use and retires the bank it replaces. Requires switchMutex_.
    void publish(ConstantQBank* fresh, double rate, bool floatsReady);
    // Requires buildMutex_: starts the builder thread for asked_ unless it runs. False when
    // no thread could be started.
    bool startBuilder();
    // The builder thread's work: the rates asked for, then the float copy if asked.
    void build() noexcept;

    std::atomic<ConstantQBank*> current_{nullptr};
    // The bank the audio thread is using right now, or null between blocks.
    std::atomic<ConstantQBank*> audioInUse_{nullptr};
    std::atomic<double> analysisRate_{0.0};
    std::atomic<float> signalSpan_{0.0f};
    // Set by the audio thread when a block arrived before the first bank existed.
    std::atomic<bool> audioWaiting_{false};
    std::atomic<bool> refused_{false};
    std::atomic<RateChange> lastBuild_{RateChange::unchanged};
    // Whether the bank in use has its kernels' float copy (transformShown needs it ready, so
    // that the user-interface thread never makes it).
    std::atomic<bool> floatsReady_{false};
    // Serialises transforms against bank switches (never taken on the audio thread).
    std::mutex bankMutex_;
    // Serialises rate switches asked for from several threads; held while a bank is built, so
    // separate from bankMutex_, which a transform waits for.
    std::mutex switchMutex_;
    // The builder's state, behind buildMutex_ (taken before switchMutex_ when both are).
    std::mutex buildMutex_;
    std::condition_variable buildIdle_;  // the builder ended its work
    double asked_ = 0.0;                 // rate asked for and not yet published, or 0
    bool askedFloatCopy_ = false;
    bool floatsAsked_ = false;      // the bank in use wants its float copy made beside
    std::uint64_t generation_ = 0;  // counts requests and cancellations: a build of an older
                                    // generation is stale
    bool building_ = false;         // the builder thread has work or is finishing it
    bool stopping_ = false;
    std::thread builder_;
    Magnitudes magnitudes_{};
};

// Any non-audio thread: waits until no analyser of this module has a requested build pending or
// running, at most `timeout`; answers whether none has. For programs that must not race the
// builders (a render that has to start from the same bank every time).
bool waitForAnalysisBuilds(std::chrono::milliseconds timeout);

}  // namespace cqscope
