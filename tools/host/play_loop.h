// The host's one play loop: every command that plays audio through an effect (render,
// process, watch, the Windows capture) hands it blocks here, and a block is played the same
// way everywhere: its audio is read, copied to the effect's inputs, the MIDI messages that fall
// in it are delivered first, then processReplacing runs.
//
// Blocks lie on a fixed grid of kBlockSize frames. render (and analyse, which copies what the
// plug-in gets) may end a block early, just after the frame of a moment when something is due
// (a display refresh, the Hold click), so that the moment sees the audio and MIDI up to and
// including its frame. Nothing else cuts a block.
//
// Portable (no system calls), so that the Windows host plays the same blocks. Main thread
// only: the commands here are at once the host's user-interface thread and its audio thread.
#pragma once

#include <string>
#include <vector>

#include "event_list.h"
#include "input_channels.h"
#include "midi_file.h"
#include "plugin_host.h"

namespace cqhost {

// Frames in a block: the block size the effect is told and the spacing of the block grid.
constexpr int kBlockSize = 512;

// How far past the audio's end a time in seconds may lie and still count as inside it, so
// that a period dividing the audio's length exactly reaches its end.
constexpr double kTimeTolerance = 1e-9;

// The end of the grid block that holds frame `position`.
inline long long gridBlockEnd(long long position) {
    return (position / kBlockSize + 1) * kBlockSize;
}

// Where a block ends for a moment at frame `frame`: just after it.
inline long long blockEndFor(long long frame) {
    return frame + 1;
}

// "1.500 s": a time as the commands' messages give it.
std::string secondsText(double seconds);

// Throws HostError "WHAT T s is beyond the end of the audio (D s)" when `seconds` lies past
// `duration` (both in seconds) by more than kTimeTolerance.
void checkWithinAudio(const std::string& what, double seconds, double duration);

// Where a play loop's audio comes from: planar left and right channels (equal for a mono
// source), read in order.
class BlockAudio {
  public:
    virtual ~BlockAudio() = default;
    // 1 for a mono source, 2 for a stereo one.
    virtual int channels() const = 0;
    // Reads the next `count` frames (at most kBlockSize) into left and right. Returns the
    // number read: fewer than asked only at the audio's end.
    virtual int read(float* left, float* right, int count) = 0;
};

class PlayLoop {
  public:
    // Buffers for the effect's channel counts as they are now: construct it after
    // PluginHost::start, which some effects need before they settle their counts.
    // `midi` is in time order, stamped with frames of `audio`.
    PlayLoop(PluginHost& host, BlockAudio& audio, std::vector<TimedMidiMessage> midi = {});
    PlayLoop(const PlayLoop&) = delete;
    PlayLoop& operator=(const PlayLoop&) = delete;

    // Plays the block [position, position + count): reads the audio, delivers the MIDI
    // messages before the block's end (earlier ones at offset 0), then processes it. Returns
    // the frames played, fewer than `count` only at the audio's end (0: nothing was played).
    // Requires: 0 < count <= kBlockSize; positions rising from block to block.
    int play(long long position, int count);

    // The last block's audio as the source gave it, and the effect's outputs for it.
    const float* left() const { return left_.data(); }
    const float* right() const { return right_.data(); }
    int numOutputs() const { return static_cast<int>(outputs_.size()); }
    const float* output(int channel) const { return outputs_[channel].data(); }

  private:
    void deliverMidi(long long position, long long end);

    PluginHost& host_;
    BlockAudio& audio_;
    std::vector<TimedMidiMessage> midi_;
    size_t nextMidi_ = 0;
    EventList events_;
    std::vector<float> left_, right_;
    // Input and output buffers are separate: an effect may write outputs before it has read
    // all inputs.
    std::vector<std::vector<float>> inputs_, outputs_;
    std::vector<float*> inputPointers_, outputPointers_;
};

}  // namespace cqhost
