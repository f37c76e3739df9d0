// The audio a command plays through the plug-in: a file, or the built-in demo chord when none
// is named; once through, or over and over (`watch`). Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/audio_file.h"
#include "play/demo_signal.h"
#include "play/play_loop.h"

namespace cqhost {

class AudioSource : public BlockAudio {
  public:
    enum class Repeat { Once, Loop };

    // The demo when `path` is empty. Throws HostError for a file AudioReader refuses.
    explicit AudioSource(const std::optional<std::string>& path, Repeat repeat = Repeat::Once,
                         AudioReader::Warnings warnings = AudioReader::Warnings::Print);

    bool isDemo() const { return !reader_; }
    // The file being read. Requires: !isDemo().
    const AudioReader& file() const { return *reader_; }
    double sampleRate() const { return reader_ ? reader_->sampleRate() : DemoSignal::kSampleRate; }
    // The length of one pass, in frames.
    long long frames() const { return reader_ ? reader_->frames() : demo_.frames(); }
    int channels() const override { return reader_ ? reader_->channels() : 2; }
    // Once through, fewer than `count` frames at the end; looping, always `count`: at its end
    // the audio starts again from its start (an empty file gives silence).
    int read(float* left, float* right, int count) override;
    // The demo's MIDI part (its held chord); nothing for a file.
    std::vector<TimedMidiMessage> midi() const;

  private:
    int readOnce(float* left, float* right, int count);

    std::optional<std::string> path_;
    Repeat repeat_;
    std::unique_ptr<AudioReader> reader_;
    DemoSignal demo_;
    long long position_ = 0;  // in the current pass, in frames
};

}  // namespace cqhost
