// Standard MIDI File reading: events land on the audio frames their tempo map gives them.
#include <gtest/gtest.h>

#include "host_error.h"
#include "host_test_support.h"
#include "midi_file.h"

namespace cqhost_test {
namespace {

using cqhost::readMidiFile;

TEST(HostMidiFile, TypeZeroAndOneHonourTempoChanges) {
    ScratchDir dir;
    // Default tempo (120 per minute) at 480 ticks a beat: 960 ticks are one second.
    writeFile(dir.file("type0.mid"),
              midiFile(0, 480,
                       {midiTrack({{960, "\x90\x48\x64"},
                                   {960, std::string("\x80\x48\x00", 3)},
                                   {0, std::string("\xFF\x01\x04text", 7)}})}));
    auto events = readMidiFile(dir.file("type0.mid"), 48000.0);
    ASSERT_EQ(events.size(), 2u);  // the text event is not a channel message
    EXPECT_EQ(events[0].frame, 48000);
    EXPECT_EQ(events[0].bytes, (std::array<std::uint8_t, 3>{0x90, 0x48, 0x64}));
    EXPECT_EQ(events[1].frame, 96000);

    // Type 1: 60 per minute, then 240 per minute from tick 480 (1 s); the note in the second
    // track starts at 1 s and ends 960 ticks later, 0.5 s at the new tempo. Running status
    // on the note-off.
    const std::string tempoTrack = midiTrack({{0, std::string("\xFF\x51\x03\x0F\x42\x40", 6)},
                                              {480, std::string("\xFF\x51\x03\x03\xD0\x90", 6)}});
    writeFile(dir.file("type1.mid"),
              midiFile(1, 480,
                       {tempoTrack, midiTrack({{480, "\x91\x3C\x50"},
                                               {960, std::string("\x3C\x00", 2)},
                                               {0, "\xB1\x07\x64"}})}));
    events = readMidiFile(dir.file("type1.mid"), 44100.0);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].frame, 44100);
    EXPECT_EQ(events[1].frame, 66150);
    EXPECT_EQ(events[1].bytes, (std::array<std::uint8_t, 3>{0x91, 0x3C, 0x00}));
    EXPECT_EQ(events[2].bytes, (std::array<std::uint8_t, 3>{0xB1, 0x07, 0x64}));
}

TEST(HostMidiFile, RefusesWhatIsNotAMidiFile) {
    ScratchDir dir;
    writeFile(dir.file("text.mid"), "MThd but not really a MIDI file");
    writeFile(dir.file("cut.mid"), midiFile(0, 480, {}).substr(0, 10));
    for (const char* name : {"text.mid", "cut.mid", "missing.mid"}) {
        EXPECT_THROW(readMidiFile(dir.file(name), 44100.0), cqhost::HostError) << name;
    }
}

}  // namespace
}  // namespace cqhost_test
