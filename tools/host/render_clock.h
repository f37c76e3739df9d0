// A render's time, in audio frames, and the schedule of its blocks. Main thread only.
//
// The render plays the audio on a manual clock that follows it: the editor's window system
// reads milliseconds, so a timer due at T ms fires once the frame at T has played, wherever
// the blocks end. Every conversion between seconds, milliseconds, video frames and audio
// frames goes through FrameTime, at the one whole rate of the audio.
#pragma once

#include <optional>

namespace cqhost {

// The video's frame rate as a fraction: whole rates exactly, others to 1/1000.
struct FrameRate {
    long long numerator = 30, denominator = 1;
};
FrameRate frameRateOf(double fps);

class FrameTime {
  public:
    // Throws HostError unless the rate is a whole number of frames per second above 0 (that
    // of every audio file and of the demo).
    explicit FrameTime(double sampleRate);

    long long rate() const { return rate_; }
    // The frame nearest to a time in seconds.
    long long frameAt(double seconds) const;
    double secondsAt(long long frame) const { return static_cast<double>(frame) / rate_; }
    // Where frame k of a video falls: the first at 0.
    long long videoFrameAt(long long k, const FrameRate& frameRate) const;
    // The first frame whose time is `ms` milliseconds or later.
    long long firstFrameAtMs(long long ms) const { return (ms * rate_ + 999) / 1000; }
    // The whole milliseconds up to the time of `frame`.
    long long msAt(long long frame) const { return frame * 1000 / rate_; }

  private:
    long long rate_;
};

// Where the render is and where its next block ends. A block ends at the least of: the end
// of its grid block (play_loop.h), the end of what is played, the Hold click's stop, and just
// after the frame at which the editor's next timer is due.
class RenderClock {
  public:
    // Plays frames [0, endFrame) of `totalFrames`; Hold is clicked once the frame at
    // `holdFrame` has played, when one is given.
    RenderClock(const FrameTime& time, long long totalFrames, long long endFrame,
                std::optional<long long> holdFrame);

    long long position() const { return position_; }
    // What the editor's clock reads, in ms.
    long long ms() const { return ms_; }
    bool finished() const { return position_ >= endFrame_; }

    // True once, at the stop where the Hold click is due.
    bool takeHoldClick();
    // The end of the next block; `timerWaitMs` is how long until the editor's next timer
    // (0: none, or not known).
    long long nextBlockEnd(long long timerWaitMs) const;
    // Moves to `end` once the block before it has played. Returns how many ms the editor's
    // clock moves on: it reads the time of the last frame played, and at the end of the
    // audio, the time at which it ends.
    long long advanceTo(long long end);

  private:
    FrameTime time_;
    long long totalFrames_;
    long long endFrame_;
    long long holdStop_ = -1;  // -1: no Hold click
    bool holdClicked_ = false;
    long long position_ = 0;
    long long ms_ = 0;
};

}  // namespace cqhost
