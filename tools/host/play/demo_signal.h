// The built-in demo: a few seconds of a synthesised chord with harmonics, and the MIDI part
// that holds the chord's notes over the whole of it. Used by `render` when no audio file is
// given, so that one command shows bars, note stripes, grid and labels. Main thread only.
#pragma once

#include <vector>

#include "files/midi_file.h"

namespace cqhost {

class DemoSignal {
  public:
    static constexpr double kSampleRate = 44100.0;
    static constexpr double kSeconds = 4.0;
    // C3, C4, E4, G4.
    static constexpr int kNotes[] = {48, 60, 64, 67};

    long long frames() const;
    // Writes frames [start, start + count) of the chord to both channels.
    void read(long long start, float* left, float* right, int count) const;
    // Note-ons at frame 0; the matching note-offs at the last frame, so the notes are held
    // for the whole demo.
    std::vector<TimedMidiMessage> midi() const;
};

}  // namespace cqhost
