// The held-note table of one effect: one byte per MIDI note number, 1 while the note is held
// (a note-on not yet followed by its note-off) and 0 otherwise, all 0 at construction.
//
// Threads: `applyMidi` on the thread that delivers the host's MIDI events (often the audio
// thread; it never waits, locks or allocates); `noteState` on any thread (the display). Each
// byte is a relaxed atomic, written and read whole.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace cqscope {

class NoteTable {
  public:
    static constexpr int kNoteCount = 128;

    // Whether a MIDI message of `size` bytes is one the table takes: a note-on or a note-off
    // (three bytes, any channel). What a shell passes on to a table elsewhere (a UI's) is
    // chosen by this; applyMidi changes nothing for any other message.
    static bool isNoteMessage(const std::uint8_t* message, std::size_t size) noexcept {
        return size == 3 && message != nullptr && isNoteStatus(message[0]);
    }

    // Applies one MIDI message: note-on (0x9n) with a non-zero velocity holds `note`,
    // note-on with velocity 0 and note-off (0x8n) release it, on any channel. Every other
    // status and every note byte of 128 or above changes nothing.
    void applyMidi(std::uint8_t status, std::uint8_t note, std::uint8_t velocity) noexcept;

    // Releases every note at once (a host's "all notes off"), as 128 note-offs would.
    void releaseAll() noexcept;

    // 1 while `note` is held, else 0; 0 for notes outside 0..127.
    std::uint8_t noteState(int note) const noexcept {
        if (note < 0 || note >= kNoteCount) return 0;
        return states_[note].load(std::memory_order_relaxed);
    }

  private:
    static constexpr bool isNoteStatus(std::uint8_t status) noexcept {
        return (status & 0xF0) == 0x80 || (status & 0xF0) == 0x90;
    }

    std::atomic<std::uint8_t> states_[kNoteCount]{};
};

}  // namespace cqscope
