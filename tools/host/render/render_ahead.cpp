#include "render/render_ahead.h"

#include <algorithm>

#include "display/display_model.h"
#include "play/play_loop.h"

namespace cqhost {

RenderAhead::RenderAhead(const PlatformApi& platform, const std::optional<std::string>& audioPath,
                         const FrameTime& time, long long lastFrame,
                         std::optional<long long> holdFrame)
    : platform_(platform),
      audio_(audioPath, AudioSource::Repeat::Once, AudioReader::Warnings::Silent),
      time_(time),
      totalFrames_(audio_.frames()),
      lastRefreshFrame_(std::min(lastFrame, holdFrame.value_or(lastFrame))),
      left_(kBlockSize),
      right_(kBlockSize) {
    if (!hasTransformAhead(platform_)) return;
    const long long spacing = time_.firstFrameAtMs(cqscope::DisplayModel::kRefreshPeriodMs);
    ahead_ = platform_.openTransformAhead(static_cast<double>(time_.rate()), spacing, &batchSize_);
    batchSize_ = std::max(1, batchSize_);
    leadFrames_ = static_cast<long long>(batchSize_) * spacing;
}

RenderAhead::~RenderAhead() {
    if (ahead_ != nullptr) platform_.closeTransformAhead(ahead_);
}

long long RenderAhead::refreshEnd(long long k) const {
    const long long frame =
        time_.firstFrameAtMs(k * static_cast<long long>(cqscope::DisplayModel::kRefreshPeriodMs));
    return frame > lastRefreshFrame_ ? -1 : seenEnd(frame, totalFrames_);
}

void RenderAhead::readyAt(long long position) {
    if (ahead_ == nullptr) return;
    const long long target = std::min(totalFrames_, position + leadFrames_);
    while (fed_ < target) feedBlock();
    if (!pending_.empty() && pending_.front() <= position) flush();
}

void RenderAhead::feedBlock() {
    const int count = static_cast<int>(blockEnd(fed_, totalFrames_) - fed_);
    const int got = audio_.read(left_.data(), right_.data(), count);
    if (got <= 0) {
        // The file gave out early: the render itself stops there with its own message.
        fed_ = totalFrames_;
        return;
    }
    const float span = platform_.transformAheadAudio(ahead_, left_.data(), right_.data(), got);
    fed_ += got;
    // The refreshes that see exactly the audio fed so far, loud enough to draw bars.
    for (long long end = refreshEnd(nextRefresh_); end >= 0 && end <= fed_;
         end = refreshEnd(++nextRefresh_)) {
        if (end != fed_ || end == lastPlanned_ || !cqscope::DisplayModel::loudEnough(span))
            continue;
        platform_.transformAheadRefresh(ahead_);
        pending_.push_back(end);
        lastPlanned_ = end;
        if (static_cast<int>(pending_.size()) == batchSize_) flush();
    }
}

void RenderAhead::flush() {
    // Without memory the module drops them, and the display transforms them itself.
    (void)platform_.transformAheadFlush(ahead_);
    pending_.clear();
}

}  // namespace cqhost
