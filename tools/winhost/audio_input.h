// The audio that `capture` plays: a WAV file, a raw file of 32-bit float stereo frames, or the
// built-in demo chord with its held notes (the Linux host's own DemoSignal, so that both hosts
// feed the plug-in the same samples and events). Main thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/default_rate.h"
#include "files/midi_file.h"
#include "formats/hosted_plugin.h"
#include "play/demo_signal.h"
#include "play/play_loop.h"

namespace winhost {

class AudioInput {
  public:
    // Demo when `path` is empty. A ".raw" file is interleaved little-endian 32-bit float
    // stereo at `rawRate` Hz. Throws cqhost::HostError for an unreadable or unsupported file.
    AudioInput(const std::optional<std::string>& path, double rawRate);

    double sampleRate() const { return sampleRate_; }
    long long frames() const { return frames_; }
    bool isDemo() const { return demo_; }
    // Writes frames [start, start + count) to both channels; count must fit in frames().
    void read(long long start, float* left, float* right, int count) const;
    // MIDI messages stamped with their frames: the demo's held chord, nothing for a file.
    const std::vector<cqhost::TimedMidiMessage>& midi() const { return midi_; }

    // When the demo is captured unless asked otherwise: inside the chord, before the fade.
    static constexpr double kDemoCaptureSeconds = 3.0;
    // The frame a capture at `at` seconds shows (default: the end of a file, the demo's
    // capture time). Throws cqhost::HostError for a time beyond the end of the audio.
    long long captureFrame(std::optional<double> at) const;

  private:
    void readWav(const std::string& path);
    void readRaw(const std::string& path, double rate);

    bool demo_ = false;
    double sampleRate_ = cqscope::kDefaultSampleRate;
    long long frames_ = 0;
    std::vector<float> left_, right_;
    std::vector<cqhost::TimedMidiMessage> midi_;
    cqhost::DemoSignal demo;
};

// The input's audio as the play loop reads it: in order, from the start, on two channels (a
// mono file has its one channel in both).
class InputBlocks : public cqhost::BlockAudio {
  public:
    explicit InputBlocks(const AudioInput& input) : input_(input) {}
    int channels() const override { return 2; }
    int read(float* left, float* right, int count) override;

  private:
    const AudioInput& input_;
    long long position_ = 0;
};

// Plays frames [0, end) of `audio` through the started plug-in on its audio thread (begun
// with HostedPlugin::beginAudio), in the whole blocks of the Linux render (play_loop.h; `end`
// is a block's end) with the MIDI messages that fall in them, and runs the message loop and
// then the plug-in's idle between blocks, as a live host would. Throws cqhost::HostError when
// the audio ends before `end`.
void playCapture(cqhost::HostedPlugin& plugin, const AudioInput& audio, long long end);

}  // namespace winhost
