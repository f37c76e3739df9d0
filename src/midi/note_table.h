// The held-note table of one effect: one byte per MIDI note number, 1 while the note is held
// (a note-on not yet followed by its note-off) and 0 otherwise, all 0 at construction.
//
// Threads: `applyMidi` on the thread that delivers the host's MIDI events (often the audio
// thread; it never waits, locks or allocates); `noteState` on any thread (the display). Each
// byte is a relaxed atomic, written and read whole.
#pragma once

#include <atomic>
#include <cstdint>

namespace cqscope {

class NoteTable {
  public:
    static constexpr int kNoteCount = 128;

    // Applies one MIDI message: note-on (0x9n) with a non-zero velocity holds `note`,
    // note-on with velocity 0 and note-off (0x8n) release it, on any channel. Every other
    // status and every note byte of 128 or above changes nothing.
    void applyMidi(std::uint8_t status, std::uint8_t note, std::uint8_t velocity) noexcept;

    // 1 while `note` is held, else 0; 0 for notes outside 0..127.
    std::uint8_t noteState(int note) const noexcept {
        if (note < 0 || note >= kNoteCount) return 0;
        return states_[note].load(std::memory_order_relaxed);
    }

  private:
    std::atomic<std::uint8_t> states_[kNoteCount]{};
};

}  // namespace cqscope
