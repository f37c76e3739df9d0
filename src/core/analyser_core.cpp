#include "core/analyser_core.h"

namespace cqscope {

AnalyserCore::RateChange AnalyserCore::start() {
    const RateChange change = analyser_.setSampleRate(sampleRate());
    if (change == RateChange::unsupported || change == RateChange::outOfMemory) {
        // Kernels of another rate would draw every tone at the wrong place: draw none, and
        // give their memory back.
        serving_.store(false, std::memory_order_relaxed);
        analyser_.release();
    } else {
        serving_.store(true, std::memory_order_relaxed);
    }
    return change;
}

void AnalyserCore::prepareAnalysis() {
    // Unsupported rates and a lack of memory leave the analysis without a bank; the next
    // refresh tries again.
    const RateChange change = analyser_.buildForWaitingAudio(sampleRate());
    if (change == RateChange::switched) serving_.store(true, std::memory_order_relaxed);
}

float AnalyserCore::signalSpan() const noexcept {
    return analyser_.signalSpan();
}

void AnalyserCore::transform() {
    analyser_.transform();
}

void AnalyserCore::transformShown(ShownAlike shownAlike) {
    analyser_.transformShown(shownAlike);
}

double AnalyserCore::magnitude(int octave, int bin) const noexcept {
    return servesRate() ? analyser_.magnitudes()[octave][bin] : 0.0;
}

unsigned char AnalyserCore::noteState(int note) const noexcept {
    return notes_.noteState(note);
}

}  // namespace cqscope
