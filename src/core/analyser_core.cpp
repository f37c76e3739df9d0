#include "core/analyser_core.h"

namespace cqscope {

AnalyserCore::RateChange AnalyserCore::start() {
    started_.store(true, std::memory_order_relaxed);
    // The analyser refuses what it cannot serve: kernels of another rate would draw every
    // tone at the wrong place, so none are drawn and their memory goes back.
    return analyser_.requestSampleRate(sampleRate(), displayed_.load(std::memory_order_relaxed));
}

AnalyserCore::RateChange AnalyserCore::startHere() {
    started_.store(true, std::memory_order_relaxed);
    const RateChange change = analyser_.setSampleRate(sampleRate());
    if (change == RateChange::unsupported || change == RateChange::outOfMemory) {
        analyser_.refuse();
    }
    return change;
}

bool AnalyserCore::followRate(double rate) {
    if (started_.load(std::memory_order_relaxed) && rate == sampleRate()) return false;
    setSampleRate(rate);
    (void)start();
    return true;
}

void AnalyserCore::prepareAnalysis() {
    displayed_.store(true, std::memory_order_relaxed);
    // Unsupported rates and a lack of memory leave the analysis without a bank; the next
    // refresh asks again.
    (void)analyser_.buildForWaitingAudio(sampleRate(), true);
    (void)analyser_.prepareFloatCopy();
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
