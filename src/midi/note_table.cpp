#include "midi/note_table.h"

namespace cqscope {

void NoteTable::applyMidi(std::uint8_t status, std::uint8_t note, std::uint8_t velocity) noexcept {
    if (note >= kNoteCount) return;
    switch (status & 0xF0) {
        case 0x90:
            states_[note].store(velocity != 0 ? 1 : 0, std::memory_order_relaxed);
            break;
        case 0x80:
            states_[note].store(0, std::memory_order_relaxed);
            break;
        default:
            break;  // aftertouch, controllers (all-notes-off included), programs, bends, system
    }
}

}  // namespace cqscope
