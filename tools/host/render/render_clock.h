// A render's time, in audio frames, and the order of what it does. Main thread only.
//
// The render plays whole blocks on the play loop's grid (play_loop.h) and runs the editor
// between them, on a manual clock that follows the audio, as a host's user-interface thread
// does: the editor's window system reads milliseconds, and a timer due at T ms fires before
// the block that would cross T's frame is played, so that it sees the blocks that end at or
// before that frame. The Hold click and the pictures keep the same rule. Every conversion
// between seconds, milliseconds, video frames and audio frames goes through FrameTime, at the
// one whole rate of the audio.
#pragma once

#include <optional>

#include "play/play_loop.h"

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

// Where the render is, what the editor's clock reads, and what comes next. Between two
// blocks the render does, in frame order, everything due at a frame before the next block's
// end; at one frame a timer comes first, then the Hold click, then the pictures.
class RenderClock {
  public:
    // Audio of `totalFrames` frames, played from frame 0; Hold is clicked at `holdFrame`,
    // when one is given.
    RenderClock(const FrameTime& time, long long totalFrames, std::optional<long long> holdFrame);

    enum class Kind {
        Timer,  // the editor's next timer is due: the clock moves to it, the editor runs
        Hold,   // Hold is clicked, the clock at the time of its frame
        Block,  // the next block is played, the clock at the time of the block's last frame
        End,    // all the audio has played: the clock at the time at which it ends
    };
    struct Stop {
        Kind kind;
        // The stop's frame: the pictures due at earlier frames are taken before it. A
        // Block's is the end of its block, an End's the audio's end.
        long long frame;
        long long ms;  // what the editor's clock reads at the stop
    };

    // Frames played: always the end of a block.
    long long position() const { return position_; }
    // What the editor's clock reads, in ms.
    long long ms() const { return ms_; }

    // The next stop; `timerWaitMs` is how long until the editor's next timer (0: none, or not
    // known; then a timer fires at the stop of the block that would cross it).
    Stop next(long long timerWaitMs) const;
    // Moves the editor's clock to `ms`, never back. Returns how many ms it moved on.
    long long moveClockTo(long long ms);
    // After the Hold stop.
    void holdClicked() { holdClicked_ = true; }
    // After the Block stop, once its block has played.
    void blockPlayed() { position_ = blockEnd(position_, totalFrames_); }

  private:
    FrameTime time_;
    long long totalFrames_;
    std::optional<long long> holdFrame_;
    bool holdClicked_ = false;
    long long position_ = 0;
    long long ms_ = 0;
};

}  // namespace cqhost
