// What the plug-in tells its UI through the notify port, and the UI's reading of it.
//
// The UI may run in another process, without access to the plug-in instance, so everything the
// display needs travels as atoms: each MIDI message of the block as it came in (midi:MidiEvent),
// then the block's two input channels in one atom:Object (type CQSCOPE_LV2_BLOCK_URI) with the
// sample rate and the channels' samples (atom:Vector of atom:Float), so the UI analyses exactly
// the blocks the host ran. A block too large for the port's buffer (the plug-in asks for room
// for 8000 frames) does not reach the UI; the audio passes all the same.
//
// Threads: NotifyWriter on the plug-in's audio thread (it writes into the host's buffer and
// never allocates); readBlock on the UI thread.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/urid/urid.h>

#include <cstdint>

namespace cqscope::lv2 {

// The URIDs both sides use, mapped once at instantiation (not on the audio thread).
struct MessageUris {
    explicit MessageUris(const LV2_URID_Map& map);

    LV2_URID atomObject, atomSequence, atomVector, atomFloat, atomInt, atomDouble, midiEvent;
    LV2_URID block, rate, left, right;
};

// Writes one run's events into the notify port's sequence (audio thread).
class NotifyWriter {
  public:
    NotifyWriter(const LV2_URID_Map& map, const MessageUris& uris) noexcept;

    // Starts the sequence in `port`, whose atom.size the host set to the buffer's capacity.
    void begin(LV2_Atom_Sequence* port) noexcept;
    // One MIDI message at `frame` of the block, `size` bytes; left out when it does not fit.
    void midi(std::int64_t frame, const std::uint8_t* message, std::uint32_t size) noexcept;
    // The block's channels (`frames` each, at least 1), after every MIDI message of the block;
    // left out when it does not fit in what is left of the buffer.
    void block(double rate, const float* left, const float* right, std::uint32_t frames) noexcept;
    void end() noexcept;

  private:
    const MessageUris& uris_;
    LV2_Atom_Forge forge_;
    LV2_Atom_Forge_Frame sequence_{};
    bool open_ = false;
};

// One block as the UI reads it from the notify port: the channels point into the message.
struct BlockMessage {
    double rate = 0;
    const float* channels[2] = {nullptr, nullptr};
    std::int32_t frames = 0;
};

// Reads a block message (UI thread). Answers false for an object of another type or a malformed
// one, which the UI ignores.
bool readBlock(const LV2_Atom_Object& object, const MessageUris& uris, BlockMessage& block);

}  // namespace cqscope::lv2
