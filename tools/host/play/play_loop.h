// The host's one play loop: every command that plays audio through a plug-in (render,
// process, watch, the Windows capture; every plug-in format alike) hands it blocks here, and a
// block is played the same way everywhere: its audio is read, copied to the plug-in's inputs,
// the MIDI messages that fall in it are delivered first, then the plug-in processes it. The
// loop talks to the plug-in through a BlockProcessor, which each plug-in format implements
// (HostedPlugin::processor, formats/hosted_plugin.h).
//
// Blocks lie on a fixed grid of kBlockSize frames and are played whole, as a host plays
// them: only the audio's last block may be shorter. Whatever the host does at a moment of the
// audio (a display refresh, the Hold click, a picture, a row of `analyse`) it does between
// blocks, and a moment at frame F sees the blocks that end at or before F (seenEnd): a
// refresh at F never sees a block cut short at F.
//
// Portable (no system calls), so that the Windows host plays the same blocks. A PlayLoop is
// built on the main thread and plays on the plug-in's audio thread (HostedPlugin: the main
// thread itself, or a thread of the plug-in's own). Building allocates; playing allocates only
// while the block's message list grows past its largest size so far.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "common/block_size.h"
#include "files/input_channels.h"
#include "files/midi_file.h"

namespace cqhost {

// How far past the audio's end a time in seconds may lie and still count as inside it, so
// that a period dividing the audio's length exactly reaches its end.
constexpr double kTimeTolerance = 1e-9;

// The end of the grid block that holds frame `position`.
inline long long gridBlockEnd(long long position) {
    return (position / kBlockSize + 1) * kBlockSize;
}

// The end of the block that starts at `position` in audio of `totalFrames` frames: the end
// of its grid block, or the audio's end.
inline long long blockEnd(long long position, long long totalFrames) {
    return std::min(gridBlockEnd(position), totalFrames);
}

// How far the audio that a moment at frame `frame` sees reaches, in audio of `totalFrames`
// frames: the end of the last block that ends at or before that frame.
inline long long seenEnd(long long frame, long long totalFrames) {
    return frame >= totalFrames ? totalFrames : frame / kBlockSize * kBlockSize;
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

// One plug-in as a play loop drives it, whatever its interface. Channel counts are read on the
// thread that builds the loop; the rest is called on the thread that plays.
class BlockProcessor {
  public:
    virtual ~BlockProcessor() = default;
    // Channels of the plug-in's (main) inputs and outputs as they are now.
    virtual int numInputs() const = 0;
    virtual int numOutputs() const = 0;
    // Takes a MIDI message for the coming block at frame `offset` of it; messages come in
    // time order.
    virtual void addMidi(const TimedMidiMessage& message, int offset) = 0;
    // Delivers the messages taken since the last block, then processes `frames` frames
    // (at most kBlockSize) from `inputs` into `outputs`, one pointer per channel.
    virtual void process(float* const* inputs, float* const* outputs, int frames) = 0;
};

class PlayLoop {
  public:
    // Buffers for the plug-in's channel counts as they are now: construct it after
    // HostedPlugin::start, which some plug-ins need before they settle their counts. `midi` is in
    // time order, stamped with frames of `audio`.
    PlayLoop(BlockProcessor& processor, BlockAudio& audio, std::vector<TimedMidiMessage> midi = {});
    PlayLoop(const PlayLoop&) = delete;
    PlayLoop& operator=(const PlayLoop&) = delete;

    // Plays the block [position, position + count): reads the audio, delivers the MIDI
    // messages before the block's end (earlier ones at offset 0), then processes it. Returns
    // the frames played, fewer than `count` only at the audio's end (0: nothing was played).
    // Requires: 0 < count <= kBlockSize; positions rising from block to block.
    int play(long long position, int count);
    // Plays the blocks on the grid from `position` up to `end` (a block's end, or the audio's
    // end), each whole, in audio of `totalFrames` frames. Returns where playing stopped: `end`,
    // or less when the audio gave out first (it was shorter than its length said).
    long long playBlocks(long long position, long long end, long long totalFrames);

    // The last block's audio as the source gave it, and the effect's outputs for it.
    const float* left() const { return left_.data(); }
    const float* right() const { return right_.data(); }
    int numOutputs() const { return static_cast<int>(outputs_.size()); }
    const float* output(int channel) const { return outputs_[channel].data(); }
    // The outputs a file of `fileChannels` channels (1 or 2) is written from: a mono file
    // gets the first output, a stereo file the first two (the first twice for a mono
    // plug-in). Requires numOutputs() >= 1.
    std::vector<const float*> fileOutputs(int fileChannels) const;

  private:
    void takeMidi(long long position, long long end);

    BlockProcessor& processor_;
    BlockAudio& audio_;
    std::vector<TimedMidiMessage> midi_;
    size_t nextMidi_ = 0;
    std::vector<float> left_, right_;
    // Input and output buffers are separate: an effect may write outputs before it has read
    // all inputs.
    std::vector<std::vector<float>> inputs_, outputs_;
    std::vector<float*> inputPointers_, outputPointers_;
};

}  // namespace cqhost
