#include "analyse/plugin_analysis.h"

#include <cstdio>
#include <string>

#include "analysis/peaks.h"
#include "common/host_error.h"

namespace cqhost {
namespace {

// The rate the plug-in analyses at when the host gives it `fileRate`: the plug-in holds its
// rate in single precision.
double pluginRate(double fileRate) {
    return static_cast<double>(static_cast<float>(fileRate));
}

}  // namespace

PluginAnalysis::PluginAnalysis(double fileRate) : core_(pluginRate(fileRate)) {
    switch (core_.startHere()) {
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
    return !cqscope::DisplayModel::loudEnough(core_.signalSpan());
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
    // The display sets its timer when it opens, with the editor, at 0 ms.
    timer_.set(0);
}

bool DisplayReadout::RefreshTimer::fires(long long milliseconds) {
    if (!running_ || milliseconds < dueMs_) return false;
    dueMs_ += ((milliseconds - dueMs_) / kPeriodMs + 1) * kPeriodMs;
    return true;
}

void DisplayReadout::clock(long long milliseconds) {
    if (timer_.fires(milliseconds) && model_.refresh(analysis_.signalSpan())) {
        analysis_.transform();
    }
}

void DisplayReadout::holdClicked(long long milliseconds) {
    // As the display: a release starts the timer again, a full period from the click; holding
    // stops it.
    if (model_.held()) {
        timer_.set(milliseconds);
    } else {
        timer_.kill();
    }
    model_.toggleHold();
}

void DisplayReadout::picture(double seconds) {
    report_.line(
        cqscope::readoutLine(seconds, model_.barsShown(), analysis_.magnitudes(), peakCount_));
}

}  // namespace cqhost
