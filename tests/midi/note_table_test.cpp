#include "midi/note_table.h"

#include <gtest/gtest.h>

namespace cqscope {
namespace {

TEST(NoteTable, NoteOnAndOffOnAnyChannel) {
    NoteTable notes;
    for (int n = 0; n < 128; ++n) EXPECT_EQ(notes.noteState(n), 0);
    notes.applyMidi(0x93, 60, 100);
    EXPECT_EQ(notes.noteState(60), 1);
    notes.applyMidi(0x83, 60, 64);
    EXPECT_EQ(notes.noteState(60), 0);
    notes.applyMidi(0x9F, 0, 0x80);  // any non-zero velocity holds, channel ignored
    notes.applyMidi(0x90, 127, 1);
    EXPECT_EQ(notes.noteState(0), 1);
    EXPECT_EQ(notes.noteState(127), 1);
    notes.applyMidi(0x90, 127, 0);  // velocity 0 releases
    EXPECT_EQ(notes.noteState(127), 0);
    // Held notes are not counted: two note-ons and one note-off release the note.
    notes.applyMidi(0x90, 64, 90);
    notes.applyMidi(0x91, 64, 90);
    notes.applyMidi(0x80, 64, 0);
    EXPECT_EQ(notes.noteState(64), 0);
    // Order decides: off then on leaves it held.
    notes.applyMidi(0x80, 64, 0);
    notes.applyMidi(0x90, 64, 90);
    EXPECT_EQ(notes.noteState(64), 1);
}

TEST(NoteTable, OtherMessagesAndOutOfRangeNotesChangeNothing) {
    NoteTable notes;
    notes.applyMidi(0x90, 60, 100);
    for (std::uint8_t status : {0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0x70, 0x00}) {
        notes.applyMidi(status, 60, 0);    // would release if it were a note message
        notes.applyMidi(status, 61, 100);  // would hold
    }
    notes.applyMidi(0xB0, 123, 0);  // all notes off is a controller like any other
    EXPECT_EQ(notes.noteState(60), 1);
    EXPECT_EQ(notes.noteState(61), 0);
    for (int note = 128; note < 256; ++note) {
        notes.applyMidi(0x90, static_cast<std::uint8_t>(note), 100);
    }
    int held = 0;
    for (int n = 0; n < 128; ++n) held += notes.noteState(n);
    EXPECT_EQ(held, 1);
    EXPECT_EQ(notes.noteState(-1), 0);
    EXPECT_EQ(notes.noteState(128), 0);
}

}  // namespace
}  // namespace cqscope
