#include "midi/note_table.h"

namespace cqscope {

void NoteTable::applyMidi(std::uint8_t status, std::uint8_t note, std::uint8_t velocity) noexcept {
    // Aftertouch, controllers (all-notes-off included), programs, bends and system messages
    // change nothing.
    if (note >= kNoteCount || !isNoteStatus(status)) return;
    const bool held = (status & 0xF0) == 0x90 && velocity != 0;
    states_[note].store(held ? 1 : 0, std::memory_order_relaxed);
}

void NoteTable::releaseAll() noexcept {
    for (auto& state : states_) state.store(0, std::memory_order_relaxed);
}

}  // namespace cqscope
