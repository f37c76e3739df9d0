// The display's rules, stated once for every display window and for cqscope-host's readout of
// what a display shows: the refresh period, the silence threshold below which a refresh draws
// no bars, and Hold, which freezes the picture and redraws the last magnitudes, bars included.
//
// Thread: whichever thread owns the display (its user-interface thread); depends on nothing.
#pragma once

namespace cqscope {

class DisplayModel {
  public:
    // A refresh every this many milliseconds while the display is not held.
    static constexpr unsigned kRefreshPeriodMs = 100;
    static constexpr double kRefreshPeriodSeconds = kRefreshPeriodMs / 1000.0;
    // The last audio block's peak-to-peak span must reach this (single precision, bit pattern
    // 0x3BA3D70A) for a refresh to recompute the spectrum and draw bars.
    static constexpr float kSilenceThreshold = 0.005f;

    // Whether a block of this span is loud enough for bars (a NaN span is not).
    static constexpr bool loudEnough(float span) noexcept { return span >= kSilenceThreshold; }

    // A refresh tick with the last block's span: answers whether to recompute the spectrum;
    // the picture then has bars exactly when it does.
    bool refresh(float span) noexcept {
        barsShown_ = loudEnough(span);
        return barsShown_;
    }
    // A click on Hold: held <-> live. Either way the picture is redrawn at once from the
    // magnitudes as they stand, bars included, without a recomputation; a held display gets
    // no refreshes.
    void toggleHold() noexcept {
        held_ = !held_;
        barsShown_ = true;
    }
    // A newly opened display starts live.
    void reset() noexcept {
        held_ = false;
        barsShown_ = false;
    }

    bool held() const noexcept { return held_; }
    bool barsShown() const noexcept { return barsShown_; }

  private:
    bool held_ = false;
    bool barsShown_ = false;
};

}  // namespace cqscope
