// cqscope's own analyser core, linked into the host: the same core the plug-in is built from,
// fed exactly as the plug-in's audio callback and MIDI intake feed it, so the host gets the
// signal span and the held notes the plug-in's display works with, and the exact magnitudes
// behind its bars (the display computes them to the precision its whole-pixel bars need,
// which may differ in the low bits). (The plug-in interface has no way to hand 960 numbers to
// a host.) Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analyse/peaks.h"
#include "core/analyser_core.h"
#include "display/display_model.h"

namespace cqhost {

class PeakReport;

class PluginAnalysis {
  public:
    // Kernels for the file's rate `fileRate` Hz. Throws HostError, naming the rate and the
    // range served, for a rate the analysis cannot serve (the plug-in shows no bars there),
    // and when the kernels cannot be allocated.
    explicit PluginAnalysis(double fileRate);

    double analysisRate() const { return core_.analysisRate(); }

    // One audio block as the plug-in's processReplacing gets it (left and right input).
    void audio(const float* left, const float* right, int frames);
    // One MIDI channel message as the plug-in's processEvents gets it.
    void midi(const std::array<std::uint8_t, 3>& bytes) {
        core_.midi(bytes[0], bytes[1], bytes[2]);
    }

    // The display's silence rule: the last block's peak-to-peak span is below its refresh
    // threshold (or NaN), so it shows no bars.
    bool silent() const;
    float signalSpan() const { return core_.signalSpan(); }
    void transform() { core_.transform(); }
    const cqscope::Magnitudes& magnitudes() const { return core_.analyser().magnitudes(); }
    // The MIDI notes held now, rising.
    std::vector<int> heldNotes() const;
    // The bank the analysis runs on, for reading the history it stored (it never changes:
    // nothing here switches rate).
    const cqscope::ConstantQBank& bank() { return core_.analyser().bank(); }

  private:
    cqscope::AnalyserCore core_;
};

// What cqscope's display shows during a render, for the note readout of each picture: the
// display's model (its silence rule and Hold) driven as the display's window drives it, by a
// refresh timer on the render's clock that a click on Hold stops and starts again. Costs a
// second kernel set (the plug-in's own is out of reach). Main thread only.
class DisplayReadout {
  public:
    DisplayReadout(double sampleRate, int peakCount, PeakReport& report);

    // Each audio block the plug-in got, in order.
    void audio(const float* left, const float* right, int frames) {
        analysis_.audio(left, right, frames);
    }
    // After each editor idle: the clock in ms since the editor opened.
    void clock(long long milliseconds);
    // After the Hold button was clicked, at the clock in ms.
    void holdClicked(long long milliseconds);
    // One readout line for the picture taken at `seconds`.
    void picture(double seconds);

  private:
    // The display's refresh timer as the window system runs it: set at a time in ms, it is
    // due a period later; served late, it fires once, and its next due time stays on its own
    // period.
    class RefreshTimer {
      public:
        void set(long long milliseconds) {
            running_ = true;
            dueMs_ = milliseconds + kPeriodMs;
        }
        void kill() { running_ = false; }
        // Whether the timer fires when the window system is served at `milliseconds`.
        bool fires(long long milliseconds);

      private:
        static constexpr long long kPeriodMs = cqscope::DisplayModel::kRefreshPeriodMs;
        bool running_ = false;
        long long dueMs_ = 0;
    };

    PluginAnalysis analysis_;
    cqscope::DisplayModel model_;
    RefreshTimer timer_;
    int peakCount_;
    PeakReport& report_;
};

}  // namespace cqhost
