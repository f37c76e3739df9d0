// The display's refreshes worked out ahead of the render. A render knows its audio in advance,
// and the refresh timer of cqscope's display runs on the render's clock, so it knows where the
// refreshes will fall: it reads the audio a second time, a stretch ahead of the plug-in, feeds
// it to the plug-in module's transform ahead (through the module's host calls, host_calls.h),
// names the refreshes loud enough to draw bars, and has the module transform a batch of them
// per pass over the kernels. The display then takes the results for exactly its windows; a
// refresh planned wrongly (or not at all) costs a transform of its own, never a different
// picture.
//
// Main thread only: the render's loop, between blocks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/platform_api.h"
#include "play/audio_source.h"
#include "render/render_clock.h"

namespace cqhost {

class RenderAhead {
  public:
    // For the render of `audioPath` (the demo when empty) that plays on to `lastFrame` and
    // clicks Hold at `holdFrame` if given. Opens the module's transform ahead when its table has
    // the calls and the rate is served; otherwise every call does nothing. The module stays
    // loaded while this lives.
    RenderAhead(const PlatformApi& platform, const std::optional<std::string>& audioPath,
                const FrameTime& time, long long lastFrame, std::optional<long long> holdFrame);
    ~RenderAhead();
    RenderAhead(const RenderAhead&) = delete;
    RenderAhead& operator=(const RenderAhead&) = delete;

    // Whether the module plans the refreshes.
    bool active() const { return ahead_ != nullptr; }

    // After the plug-in has played up to `position`: every refresh the display may make with
    // the audio played so far has been transformed, and the audio is fed a batch ahead.
    void readyAt(long long position);

  private:
    void feedBlock();
    void flush();
    // The frames the display's refresh k (the first at 1) sees: its timer, set when the
    // display opens at 0 ms, is due every refresh period.
    long long refreshEnd(long long k) const;

    const PlatformApi& platform_;
    void* ahead_ = nullptr;
    AudioSource audio_;
    const FrameTime& time_;
    long long totalFrames_;
    // Refreshes after the render's last frame are of no use, and none come after the Hold
    // click (the display's timer stops).
    long long lastRefreshFrame_;
    long long leadFrames_ = 0;  // how far ahead of the plug-in the audio is fed
    int batchSize_ = 1;
    long long fed_ = 0;
    long long nextRefresh_ = 1;       // k of the next refresh to plan
    long long lastPlanned_ = 0;       // the window end of the last refresh planned
    std::vector<long long> pending_;  // window ends named since the last flush
    std::vector<float> left_, right_;
};

}  // namespace cqhost
