#include "play_loop.h"

#include <algorithm>
#include <cstdio>

#include "host_error.h"

namespace cqhost {

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

void checkWithinAudio(const std::string& what, double seconds, double duration) {
    if (seconds > duration + kTimeTolerance) {
        throw HostError(what + " " + secondsText(seconds) + " is beyond the end of the audio (" +
                        secondsText(duration) + ")");
    }
}

PlayLoop::PlayLoop(PluginHost& host, BlockAudio& audio, std::vector<TimedMidiMessage> midi)
    : host_(host),
      audio_(audio),
      midi_(std::move(midi)),
      left_(kBlockSize),
      right_(kBlockSize),
      inputs_(std::max(host.effect().numInputs, 0), std::vector<float>(kBlockSize)),
      outputs_(std::max(host.effect().numOutputs, 0), std::vector<float>(kBlockSize)) {
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
    deliverMidi(position, position + got);
    host_.processReplacing(inputPointers_.data(), outputPointers_.data(), got);
    return got;
}

void PlayLoop::deliverMidi(long long position, long long end) {
    events_.clear();
    while (nextMidi_ < midi_.size() && midi_[nextMidi_].frame < end) {
        const TimedMidiMessage& message = midi_[nextMidi_++];
        events_.addMidi(message.bytes[0], message.bytes[1], message.bytes[2],
                        static_cast<int>(std::max<long long>(0, message.frame - position)));
    }
    if (!events_.empty()) host_.dispatch(effProcessEvents, 0, 0, events_.build());
}

}  // namespace cqhost
