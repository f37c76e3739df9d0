#include "plugin_analysis.h"

#include <new>
#include <string>

#include "editor/vstgui.h"
#include "host_error.h"

namespace cqhost {
namespace {

// The rate an effect has before the host tells it one; the plug-in builds its first kernels
// for it and keeps them when the host's rate is one it cannot analyse at.
constexpr double kStartingRate = 44100.0;

cqscope::Analyser makeAnalyser(double fileRate) {
    // The plug-in holds its rate in single precision.
    const double rate = static_cast<double>(static_cast<float>(fileRate));
    try {
        return cqscope::Analyser(cqscope::isSupportedAnalysisRate(rate) ? rate : kStartingRate);
    } catch (const std::bad_alloc&) {
        throw HostError("out of memory for the analysis kernels");
    }
}

}  // namespace

PluginAnalysis::PluginAnalysis(double fileRate) : analyser_(makeAnalyser(fileRate)) {}

void PluginAnalysis::audio(const float* left, const float* right, int frames) {
    if (leftOut_.size() < static_cast<size_t>(frames)) {
        leftOut_.resize(frames);
        rightOut_.resize(frames);
    }
    const float* inputs[2] = {left, right};
    float* outputs[2] = {leftOut_.data(), rightOut_.data()};
    analyser_.processBlock(inputs, outputs, frames);
}

bool PluginAnalysis::silent() const {
    return !(analyser_.signalSpan() >= VstGui::kRefreshThreshold);
}

std::vector<int> PluginAnalysis::heldNotes() const {
    std::vector<int> held;
    for (int note = 0; note < cqscope::NoteTable::kNoteCount; ++note) {
        if (notes_.noteState(note) == 1) held.push_back(note);
    }
    return held;
}

DisplayReadout::DisplayReadout(double sampleRate, int peakCount, PeakReport& report)
    : analysis_(sampleRate), peakCount_(peakCount), report_(report) {
    static_assert(kRefreshMs == VstGui::kRefreshPeriodMs);
}

void DisplayReadout::clock(long long milliseconds) {
    if (held_ || milliseconds < nextRefreshMs_) return;
    // The timer fires once however late it is served, and stays on its own period.
    nextRefreshMs_ += ((milliseconds - nextRefreshMs_) / kRefreshMs + 1) * kRefreshMs;
    barsShown_ = !analysis_.silent();
    if (barsShown_) analysis_.transform();
}

void DisplayReadout::holdClicked(long long milliseconds) {
    // Either way the display redraws the last magnitudes at once, bars included; a release
    // starts the timer again, a full period from the click.
    held_ = !held_;
    barsShown_ = true;
    if (!held_) nextRefreshMs_ = milliseconds + kRefreshMs;
}

void DisplayReadout::picture(double seconds) {
    report_.line(peaksLine(
        seconds, !barsShown_,
        barsShown_ ? findPeaks(analysis_.magnitudes(), peakCount_) : std::vector<Peak>{}));
}

}  // namespace cqhost
