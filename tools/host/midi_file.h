// Standard MIDI Files (types 0 and 1) through libsmf, turned into channel messages stamped
// with the audio frame at which they happen. Tempo changes are honoured: libsmf gives every
// event its time in seconds along the file's tempo map. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cqhost {

struct TimedMidiMessage {
    long long frame;                    // audio frame (at the render's sample rate)
    std::array<std::uint8_t, 3> bytes;  // status, data 1, data 2 (0 when absent)
};

// Channel messages of the file in time order. Throws HostError for a missing or unreadable
// file or one that is not a Standard MIDI File.
std::vector<TimedMidiMessage> readMidiFile(const std::string& path, double sampleRate);

}  // namespace cqhost
