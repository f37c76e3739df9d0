#include "render/render_clock.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/host_error.h"
#include "play/play_loop.h"

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

RenderClock::RenderClock(const FrameTime& time, long long totalFrames,
                         std::optional<long long> holdFrame)
    : time_(time), totalFrames_(totalFrames), holdFrame_(holdFrame) {}

RenderClock::Stop RenderClock::next(long long timerWaitMs) const {
    Stop stop{Kind::End, totalFrames_, time_.msAt(totalFrames_)};
    if (position_ < totalFrames_) {
        const long long end = blockEnd(position_, totalFrames_);
        stop = {Kind::Block, end, time_.msAt(end - 1)};
    }
    // Before a block, what is due at a frame before its end; at the end, all that is left.
    const auto comesFirst = [&stop](long long frame) {
        return frame < stop.frame || (frame == stop.frame && stop.kind != Kind::Block);
    };
    if (holdFrame_ && !holdClicked_ && comesFirst(*holdFrame_)) {
        stop = {Kind::Hold, *holdFrame_, time_.msAt(*holdFrame_)};
    }
    if (timerWaitMs > 0) {
        const long long due = ms_ + timerWaitMs;
        const long long frame = time_.firstFrameAtMs(due);
        if (comesFirst(frame)) stop = {Kind::Timer, frame, due};
    }
    return stop;
}

long long RenderClock::moveClockTo(long long ms) {
    if (ms <= ms_) return 0;
    const long long step = ms - ms_;
    ms_ = ms;
    return step;
}

}  // namespace cqhost
