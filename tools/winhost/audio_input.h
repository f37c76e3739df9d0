// The audio that `capture` plays: a WAV file, a raw file of 32-bit float stereo frames, or the
// built-in demo chord (the same chord and held notes as the Linux host's demo, computed the
// same way, so that both hosts feed the plug-in the same samples). Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winhost {

struct HeldNote {
    long long onFrame;
    long long offFrame;
    std::uint8_t note;
};

class AudioInput {
  public:
    // Demo when `path` is empty. A ".raw" file is interleaved little-endian 32-bit float
    // stereo at `rawRate` Hz. Throws HostError for an unreadable or unsupported file.
    AudioInput(const std::optional<std::string>& path, double rawRate);

    double sampleRate() const { return sampleRate_; }
    long long frames() const { return frames_; }
    bool isDemo() const { return demo_; }
    // Writes frames [start, start + count) to both channels; count must fit in frames().
    void read(long long start, float* left, float* right, int count) const;
    // The notes held over the audio: the demo's chord, nothing for a file.
    const std::vector<HeldNote>& notes() const { return notes_; }

    // When the demo is captured unless asked otherwise: inside the chord, before the fade.
    static constexpr double kDemoCaptureSeconds = 3.0;

  private:
    void readWav(const std::string& path);
    void readRaw(const std::string& path, double rate);
    void demoSamples(long long start, float* left, float* right, int count) const;

    bool demo_ = false;
    double sampleRate_ = 44100.0;
    long long frames_ = 0;
    std::vector<float> left_, right_;
    std::vector<HeldNote> notes_;
};

}  // namespace winhost
