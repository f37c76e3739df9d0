// AnalyserCore: one analyser instance as every host interface reaches it. It owns the analysis
// (history, the kernels of its sample rate, the transform), the held-note table and the rules
// for sample rates, and it is what a display draws from (DisplaySource). It knows no host
// interface and no window: a shell (the VST 2 effect, cqscope-host's live JACK analyser)
// translates its host's calls into these, and passes its audio on itself.
//
// Kernels are built lazily: construction builds none (a host's scan costs almost nothing);
// `start` has them built for the recorded rate; if audio arrives before any start, the
// display's next refresh has them built (`prepareAnalysis`). Both return at once: the kernels
// are built beside, on the analysis's builder thread, and until they are ready the audio goes
// unanalysed (or, on a rate switch, analysed with the old kernels) and the display draws its
// grid without bars. A rate the analysis cannot serve (outside
// kMinAnalysisRate..kMaxAnalysisRate, or kernels that do not fit in memory) analyses nothing
// and shows no bars, rather than bars computed with another rate's kernels, until a start at
// a rate it can serve.
//
// Threads:
// - audio thread: `audio`, `midi`, `midiMessage` and `releaseAllNotes` (noexcept; never wait,
//   lock or allocate);
// - any non-audio thread (the host's switch-on, its rate change): `setSampleRate` (records
//   only), `start` and `followRate` (return at once), `startHere` and `waitUntilReady` (wait
//   for a build);
// - user-interface thread: the DisplaySource functions;
// - any thread: `sampleRate`, `analysisRate`, `servesRate`, `lastBuild`, `takesMidi`.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "analysis/analyser.h"
#include "core/default_rate.h"
#include "core/display_source.h"
#include "midi/note_table.h"

namespace cqscope {

class AnalyserCore : public DisplaySource {
  public:
    using RateChange = Analyser::RateChange;

    // No kernels yet; `sampleRate` Hz is the rate recorded until setSampleRate (a shell's host
    // tells its rate before it starts the core).
    explicit AnalyserCore(double sampleRate = kDefaultSampleRate) noexcept
        : sampleRate_(sampleRate) {}

    // Records the host's sample rate (Hz) for the next start and the display's first build.
    void setSampleRate(double sampleRate) noexcept {
        sampleRate_.store(sampleRate, std::memory_order_relaxed);
    }
    double sampleRate() const noexcept { return sampleRate_.load(std::memory_order_relaxed); }

    // The host switched processing on: makes the analysis follow the recorded rate, building
    // beside. Answers unchanged, building (the old kernels, if any, serve until the new ones
    // are ready) or unsupported. At a rate it cannot serve (unsupported now; out of memory when
    // built, which `lastBuild` tells) the kernels in use are released and no bars are shown until a
    // start at a rate it can serve.
    RateChange start();
    // As start, building on the calling thread: answers unchanged, switched, unsupported or
    // outOfMemory with the kernels in use. For programs that analyse a file.
    RateChange startHere();
    // The rule for a shell whose host gives the rate with the audio itself (a UI fed with the
    // blocks its plug-in ran): the first call, and any call whose `rate` (Hz) differs from the
    // recorded one, records `rate` and starts as start does; other calls change nothing.
    // Answers whether it started, so that the shell drops audio it kept for the old rate.
    bool followRate(double rate);
    // Waits until no build asked for by start or the display is pending, at most `timeout`;
    // answers whether none is (then the kernels of the last start are in use, or refused).
    bool waitUntilReady(std::chrono::milliseconds timeout) {
        return analyser_.waitForBuild(timeout);
    }
    // How the last build beside ended: switched or outOfMemory (unchanged before any).
    RateChange lastBuild() const noexcept { return analyser_.lastBuild(); }

    // One block of the two input channels (`inputs[0]`, `inputs[1]`, `frames` each); only
    // read. `frames` <= 0 changes nothing (the span stays that of the audio before).
    void audio(const float* const* inputs, std::int32_t frames) noexcept {
        analyser_.processBlock(inputs, frames);
    }
    // One MIDI channel message: note-on and note-off change the held notes, on any channel;
    // everything else (and note bytes of 128 and above) changes nothing.
    void midi(std::uint8_t status, std::uint8_t note, std::uint8_t velocity) noexcept {
        notes_.applyMidi(status, note, velocity);
    }
    // One MIDI message of `size` bytes as a host delivers it: applied as `midi` when it is one
    // the core takes (takesMidi), ignored otherwise.
    void midiMessage(const std::uint8_t* message, std::size_t size) noexcept {
        if (takesMidi(message, size)) midi(message[0], message[1], message[2]);
    }
    // Whether the core takes a MIDI message of `size` bytes: a note-on or a note-off, on any
    // channel. A shell that hands MIDI on to another core (a plug-in to its UI) sends these.
    static bool takesMidi(const std::uint8_t* message, std::size_t size) noexcept {
        return NoteTable::isNoteMessage(message, size);
    }
    // Releases every held note (a host's "all notes off", a note-off for any key).
    void releaseAllNotes() noexcept { notes_.releaseAll(); }

    // False from a start at a rate the analysis cannot serve until one at a rate it can.
    bool servesRate() const noexcept { return analyser_.servesRate(); }
    // The rate of the kernels in use, or 0 without any (any thread).
    double analysisRate() const noexcept { return analyser_.analysisRate(); }

    // DisplaySource (user-interface thread). Defined out of line, so that a program holding
    // a loaded module's core reaches the module's code through the table of virtual
    // functions. magnitude answers 0 while the rate is not served, so Hold draws no bars
    // either.
    void prepareAnalysis() override;
    float signalSpan() const noexcept override;
    void transform() override;
    void transformShown(ShownAlike shownAlike) override;
    double magnitude(int octave, int bin) const noexcept override;
    unsigned char noteState(int note) const noexcept override;

    // For tests and tools: the analysis itself.
    Analyser& analyser() noexcept { return analyser_; }
    const Analyser& analyser() const noexcept { return analyser_; }

  private:
    Analyser analyser_;
    NoteTable notes_;
    std::atomic<double> sampleRate_;
    std::atomic<bool> started_{false};  // set by the first start
    // Set by the display's first refresh: from then on builds make the float copy of the
    // kernels that its transform reads, so that it never waits for one.
    std::atomic<bool> displayed_{false};
};

}  // namespace cqscope
