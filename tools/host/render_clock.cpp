#include "render_clock.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "host_error.h"
#include "play_loop.h"

namespace cqhost {

FrameRate frameRateOf(double fps) {
    FrameRate rate;
    if (fps == std::floor(fps)) {
        rate.numerator = static_cast<long long>(fps);
    } else {
        rate.numerator = std::llround(fps * 1000.0);
        rate.denominator = 1000;
        const long long common = std::gcd(rate.numerator, rate.denominator);
        rate.numerator /= common;
        rate.denominator /= common;
    }
    return rate;
}

FrameTime::FrameTime(double sampleRate) : rate_(static_cast<long long>(sampleRate)) {
    if (!(sampleRate >= 1.0) || static_cast<double>(rate_) != sampleRate) {
        throw HostError("cannot render audio at " + std::to_string(sampleRate) +
                        " Hz: the rate must be a whole number of frames a second");
    }
}

long long FrameTime::frameAt(double seconds) const {
    return std::llround(seconds * static_cast<double>(rate_));
}

long long FrameTime::videoFrameAt(long long k, const FrameRate& frameRate) const {
    return std::llround(static_cast<double>(k) * frameRate.denominator *
                        static_cast<double>(rate_) / frameRate.numerator);
}

RenderClock::RenderClock(const FrameTime& time, long long totalFrames, long long endFrame,
                         std::optional<long long> holdFrame)
    : time_(time), totalFrames_(totalFrames), endFrame_(endFrame) {
    if (holdFrame) holdStop_ = std::min(totalFrames_, blockEndFor(*holdFrame));
}

bool RenderClock::takeHoldClick() {
    if (holdClicked_ || holdStop_ != position_) return false;
    holdClicked_ = true;
    return true;
}

long long RenderClock::nextBlockEnd(long long timerWaitMs) const {
    long long end = std::min({gridBlockEnd(position_), totalFrames_, endFrame_});
    if (!holdClicked_ && holdStop_ > position_) end = std::min(end, holdStop_);
    if (timerWaitMs > 0) {
        const long long timerFrame = time_.firstFrameAtMs(ms_ + timerWaitMs);
        end = std::min(end, std::max(position_ + 1, blockEndFor(timerFrame)));
    }
    return end;
}

long long RenderClock::advanceTo(long long end) {
    position_ = end;
    const long long targetMs = time_.msAt(position_ == totalFrames_ ? position_ : position_ - 1);
    if (targetMs <= ms_) return 0;
    const long long step = targetMs - ms_;
    ms_ = targetMs;
    return step;
}

}  // namespace cqhost
