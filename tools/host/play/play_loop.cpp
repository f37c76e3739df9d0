#include "play/play_loop.h"

#include <algorithm>
#include <cstdio>

#include "common/host_error.h"

namespace cqhost {

std::string secondsText(double seconds) {
    // Milliseconds for the times of a song; a number far beyond any audio (a slip of the
    // finger) as a short one.
    char text[32];
    std::snprintf(text, sizeof text, seconds < 1e9 ? "%.3f s" : "%.3g s", seconds);
    return text;
}

void checkWithinAudio(const std::string& what, double seconds, double duration) {
    if (seconds > duration + kTimeTolerance) {
        throw HostError(what + " " + secondsText(seconds) + " is beyond the end of the audio (" +
                        secondsText(duration) + ")");
    }
}

PlayLoop::PlayLoop(BlockProcessor& processor, BlockAudio& audio, std::vector<TimedMidiMessage> midi)
    : processor_(processor),
      audio_(audio),
      midi_(std::move(midi)),
      left_(kBlockSize),
      right_(kBlockSize),
      inputs_(processor.numInputs(), std::vector<float>(kBlockSize)),
      outputs_(processor.numOutputs(), std::vector<float>(kBlockSize)) {
    // One spare null pointer each, for an effect that reads one channel too far.
    inputPointers_.assign(inputs_.size() + 1, nullptr);
    outputPointers_.assign(outputs_.size() + 1, nullptr);
    for (size_t i = 0; i < inputs_.size(); ++i) inputPointers_[i] = inputs_[i].data();
    for (size_t o = 0; o < outputs_.size(); ++o) outputPointers_[o] = outputs_[o].data();
}

int PlayLoop::play(long long position, int count) {
    const int got = audio_.read(left_.data(), right_.data(), count);
    if (got <= 0) return 0;
    feedInputs(inputPointers_.data(), static_cast<int>(inputs_.size()), left_.data(), right_.data(),
               audio_.channels(), got);
    for (auto& channel : outputs_) std::fill(channel.begin(), channel.end(), 0.0f);
    takeMidi(position, position + got);
    processor_.process(inputPointers_.data(), outputPointers_.data(), got);
    return got;
}

long long PlayLoop::playBlocks(long long position, long long end, long long totalFrames) {
    while (position < end) {
        const int count = static_cast<int>(blockEnd(position, totalFrames) - position);
        const int got = play(position, count);
        position += got;
        if (got != count) break;
    }
    return position;
}

std::vector<const float*> PlayLoop::fileOutputs(int fileChannels) const {
    std::vector<const float*> channels(static_cast<size_t>(fileChannels));
    for (int c = 0; c < fileChannels; ++c) channels[c] = output(std::min(c, numOutputs() - 1));
    return channels;
}

void PlayLoop::takeMidi(long long position, long long end) {
    while (nextMidi_ < midi_.size() && midi_[nextMidi_].frame < end) {
        const TimedMidiMessage& message = midi_[nextMidi_++];
        processor_.addMidi(message,
                           static_cast<int>(std::max<long long>(0, message.frame - position)));
    }
}

}  // namespace cqhost
