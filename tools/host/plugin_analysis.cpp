#include "plugin_analysis.h"

#include <cstdio>
#include <string>

#include "editor/vstgui.h"
#include "host_error.h"

namespace cqhost {
namespace {

// The rate the plug-in analyses at when the host gives it `fileRate`: the plug-in holds its
// rate in single precision.
double pluginRate(double fileRate) {
    return static_cast<double>(static_cast<float>(fileRate));
}

}  // namespace

PluginAnalysis::PluginAnalysis(double fileRate) : core_(pluginRate(fileRate)) {
    switch (core_.start()) {
        case cqscope::AnalyserCore::RateChange::unsupported: {
            // The plug-in shows no bars at such a rate: there is nothing to read out.
            char text[160];
            std::snprintf(text, sizeof text,
                          "cannot analyse audio at %g Hz: the analysis serves %g to %g Hz",
                          fileRate, cqscope::kMinAnalysisRate, cqscope::kMaxAnalysisRate);
            throw HostError(text);
        }
        case cqscope::AnalyserCore::RateChange::outOfMemory:
            throw HostError("out of memory for the analysis kernels");
        default:
            break;
    }
}

void PluginAnalysis::audio(const float* left, const float* right, int frames) {
    const float* inputs[2] = {left, right};
    core_.audio(inputs, frames);
}

bool PluginAnalysis::silent() const {
    return !(core_.signalSpan() >= VstGui::kRefreshThreshold);
}

std::vector<int> PluginAnalysis::heldNotes() const {
    std::vector<int> held;
    for (int note = 0; note < cqscope::NoteTable::kNoteCount; ++note) {
        if (core_.noteState(note) == 1) held.push_back(note);
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
