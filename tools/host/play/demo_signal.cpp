#include "play/demo_signal.h"

#include <cmath>
#include <numbers>

namespace cqhost {
namespace {

constexpr int kHarmonics = 6;
// Amplitude of each note's fundamental; harmonic k has 1/k of it. Four notes of six
// harmonics stay below full scale.
constexpr double kNoteAmplitude = 0.08;
constexpr double kFadeSeconds = 0.02;

double noteFrequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

}  // namespace

long long DemoSignal::frames() const {
    return std::llround(kSeconds * kSampleRate);
}

void DemoSignal::read(long long start, float* left, float* right, int count) const {
    const long long total = frames();
    for (int i = 0; i < count; ++i) {
        const long long frame = start + i;
        const double t = static_cast<double>(frame) / kSampleRate;
        double sample = 0.0;
        for (int note : kNotes) {
            const double f = noteFrequency(note);
            for (int k = 1; k <= kHarmonics; ++k) {
                sample += kNoteAmplitude / k * std::sin(2.0 * std::numbers::pi * f * k * t);
            }
        }
        // Short fades at both ends, so the chord starts and stops without a click.
        const double fadeIn = std::min(1.0, t / kFadeSeconds);
        const double fadeOut =
            std::min(1.0, static_cast<double>(total - frame) / (kFadeSeconds * kSampleRate));
        const float value = static_cast<float>(sample * fadeIn * fadeOut);
        left[i] = value;
        right[i] = value;
    }
}

std::vector<TimedMidiMessage> DemoSignal::midi() const {
    std::vector<TimedMidiMessage> messages;
    for (int note : kNotes) {
        messages.push_back({0, {0x90, static_cast<std::uint8_t>(note), 100}});
    }
    for (int note : kNotes) {
        messages.push_back({frames() - 1, {0x80, static_cast<std::uint8_t>(note), 0}});
    }
    return messages;
}

}  // namespace cqhost
