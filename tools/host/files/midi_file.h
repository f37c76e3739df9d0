// Standard MIDI Files (types 0 and 1), read by a reader of our own and turned into channel
// messages stamped with the audio frame at which they happen. Tempo changes in any track are
// honoured; system exclusive, meta and system messages are not passed on.
//
// The reader trusts nothing in the file: every length is checked against what is left before
// it is read, it allocates at most a small multiple of the file's size, and every way a file
// can be wrong is one HostError naming the file, the byte offset and the fault. Main thread
// only.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace cqhost {

struct TimedMidiMessage {
    long long frame;                    // audio frame (at the render's sample rate)
    std::array<std::uint8_t, 3> bytes;  // status, data 1, data 2 (0 when absent)
};

// Channel messages of the file in time order (simultaneous ones in track order, then file
// order). Throws HostError for a missing or unreadable file or one that is not a valid
// Standard MIDI File of type 0 or 1.
// Requires: sampleRate > 0.
std::vector<TimedMidiMessage> readMidiFile(const std::string& path, double sampleRate);

// The same for a file's bytes already in memory; `name` is what the error lines call it.
std::vector<TimedMidiMessage> parseMidiFile(std::span<const std::uint8_t> bytes,
                                            const std::string& name, double sampleRate);

}  // namespace cqhost
