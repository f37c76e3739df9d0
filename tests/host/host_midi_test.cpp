// Standard MIDI File reading: events land on the audio frames their tempo map gives them, and
// a damaged file is one HostError naming its fault, never a crash.
#include <gtest/gtest.h>

#include <span>

#include "common/host_error.h"
#include "files/midi_file.h"
#include "host_test_support.h"

namespace cqhost_test {
namespace {

using cqhost::parseMidiFile;
using cqhost::readMidiFile;
using Bytes = std::array<std::uint8_t, 3>;

std::vector<cqhost::TimedMidiMessage> parse(const std::string& file, double sampleRate = 44100.0) {
    return parseMidiFile(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()),
                         "song.mid", sampleRate);
}

// A chunk with the given type and body, its length as written.
std::string chunk(const std::string& type, const std::string& body) {
    const auto n = static_cast<std::uint32_t>(body.size());
    return type +
           std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                       static_cast<char>(n >> 8), static_cast<char>(n)} +
           body;
}

// A header with any field, however wrong.
std::string header(int type, int tracks, int division, int length = 6) {
    std::string bytes = chunk("MThd", std::string(static_cast<std::size_t>(length), '\0'));
    const int fields[] = {type, tracks, division};
    for (int i = 0; i < 3 && 2 * i + 1 < length; ++i) {
        bytes[8 + 2 * i] = static_cast<char>(fields[i] >> 8);
        bytes[9 + 2 * i] = static_cast<char>(fields[i]);
    }
    return bytes;
}

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

// What the format allows beside notes: a longer header, chunks of other types, system
// exclusive (plain and escaped), system and meta events, running status carried across a
// meta event (as some writers do), one-byte messages. Only channel messages come out.
TEST(HostMidiFile, ReadsWhatTheFormatAllowsAndSkipsTheRest) {
    const std::string file = header(1, 2, 96, 8) + chunk("XFIH", "an alien chunk") +
                             midiTrack({{0, std::string("\xF0\x03\x7E\x7F\xF7", 5)},
                                        {0, std::string("\xF7\x02\xF8\xFA", 4)},
                                        {0, std::string("\xF2\x00\x10", 3)},
                                        {0, "\xC2\x05"},
                                        {96, "\x92\x3C\x64"},
                                        {0, std::string("\xFF\x01\x03"
                                                        "abc",
                                                        6)},
                                        {0, "\x40\x64"},
                                        {48, "\xD2\x20"}}) +
                             midiTrack({{96, "\xB3\x07\x64"}});
    const auto events = parse(file);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].frame, 0);
    EXPECT_EQ(events[0].bytes, (Bytes{0xC2, 0x05, 0}));
    EXPECT_EQ(events[1].bytes, (Bytes{0x92, 0x3C, 0x64}));
    EXPECT_EQ(events[2].bytes, (Bytes{0x92, 0x40, 0x64}));
    // Simultaneous events come in track order.
    EXPECT_EQ(events[3].bytes, (Bytes{0xB3, 0x07, 0x64}));
    for (int i = 1; i < 4; ++i) EXPECT_EQ(events[i].frame, 22050) << i;
    EXPECT_EQ(events[4].frame, 33075);
    EXPECT_EQ(events[4].bytes, (Bytes{0xD2, 0x20, 0}));
}

// A tempo map with changes and time signatures at odd ticks, two tempos at one tick (the later
// wins), and events of several tracks at the ticks of its changes. The frames are those
// cqscope-host gave for this file with the MIDI library it used before its own reader, so
// that every song gives the same pictures and rows as it did.
TEST(HostMidiFile, TempoMapGivesTheFramesOfEarlierReleases) {
    const std::string timeSignature("\xFF\x58\x04\x03\x02\x18\x08", 7);
    const auto tempo = [](std::uint32_t microseconds) {
        return std::string("\xFF\x51\x03", 3) + static_cast<char>(microseconds >> 16) +
               static_cast<char>(microseconds >> 8) + static_cast<char>(microseconds);
    };
    const std::string file =
        midiFile(1, 7,
                 {midiTrack({{0, timeSignature},
                             {3, tempo(333333)},
                             {5, timeSignature},
                             {11, tempo(1234567)},
                             {0, tempo(98765)},
                             {20, timeSignature}}),
                  midiTrack({{0, "\x90\x30\x40"},
                             {1, "\x31\x40"},
                             {7, std::string("\x80\x30\x00", 3)},
                             {9, "\xC0\x05"},
                             {13, std::string("\xE0\x00\x40", 3)},
                             {17, "\x90\x40\x7F"},
                             {100000, std::string("\x80\x40\x00", 3)}}),
                  midiTrack({{8, "\x91\x50\x50"}, {11, std::string("\x81\x50\x00", 3)}})});
    const std::vector<std::pair<long long, Bytes>> expected = {
        {0, {0x90, 0x30, 0x40}},     {3150, {0x90, 0x31, 0x40}},  {19950, {0x80, 0x30, 0x00}},
        {19950, {0x91, 0x50, 0x50}}, {38850, {0xC0, 0x05, 0x00}}, {43050, {0x81, 0x50, 0x00}},
        {49894, {0xE0, 0x00, 0x40}}, {60472, {0x90, 0x40, 0x7F}}, {62282422, {0x80, 0x40, 0x00}}};
    const auto events = parse(file);
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i].frame, expected[i].first) << i;
        EXPECT_EQ(events[i].bytes, expected[i].second) << i;
    }
}

// Each way a file can be wrong: one line that names the file, the byte where the fault is
// and what it is.
TEST(HostMidiFile, EachFaultGetsItsOwnLine) {
    const std::string note =
        midiTrack({{0, "\x90\x3C\x64"}, {480, std::string("\x80\x3C\x00", 3)}});
    const std::string song = midiFile(1, 480, {note, note});
    std::string threeTracks = song;
    threeTracks[11] = 3;
    const struct {
        const char* name;
        std::string file;
        const char* message;
    } cases[] = {
        {"empty", "", "song.mid is not a Standard MIDI File (it is empty)"},
        {"not MIDI", "RIFF....", "song.mid is not a Standard MIDI File (it does not begin with"},
        {"cut in the header", song.substr(0, 10),
         "at byte 8: the header of 6 bytes runs past the end of the file (only 2 left)"},
        {"cut in a track", song.substr(0, song.size() - 5),
         "at byte 43: chunk \"MTrk\" of 13 bytes runs past the end of the file (only 8 left)"},
        {"cut in a chunk header", song.substr(0, 39),
         "at byte 35: the file ends inside the header of a chunk (track 2)"},
        {"header length too short", header(1, 1, 480, 4) + note,
         "at byte 4: the header's length is 4 bytes (it has at least 6)"},
        {"header length past the end", std::string("MThd\0\0\0\x40\0\x01\0\x01\x01\xE0", 14),
         "at byte 8: the header of 64 bytes runs past the end of the file (only 6 left)"},
        {"meta length past the end of its track",
         header(0, 1, 480) + midiTrack({{0, std::string("\xFF\x01\x7F"
                                                        "abc",
                                                        6)}}),
         "at byte 26: a meta event of 127 bytes runs past the end of track 1 (only 7 left)"},
        {"more tracks announced than there are", threeTracks,
         "at byte 56: the header announces 3 tracks, but the file ends after 2"},
        {"zero-length track", header(1, 1, 480) + chunk("MTrk", ""),
         "at byte 22: track 1 is empty: it has no End of Track event"},
        {"no End of Track", header(1, 1, 480) + chunk("MTrk", std::string("\x00\x90\x3C\x64", 4)),
         "at byte 26: track 1 ends without an End of Track event"},
        {"running status with no status before it",
         header(1, 1, 480) + midiTrack({{0, "\x3C\x64"}}),
         "at byte 23: data byte 0x3C in track 1 has no status byte before it"},
        {"status byte inside a message", header(1, 1, 480) + midiTrack({{0, "\x90\x3C\x90"}}),
         "at byte 25: status byte 0x90 inside a note-on in track 1"},
        {"huge delta time",
         header(1, 1, 480) + chunk("MTrk", std::string("\x81\x80\x80\x80\x00\x90\x3C\x64", 8)),
         "at byte 22: a delta time is longer than four bytes"},
        {"huge meta length",
         header(1, 1, 480) + chunk("MTrk", std::string("\x00\xFF\x01\xFF\xFF\xFF\xFF\x7F", 8)),
         "at byte 25: a meta event's length is longer than four bytes"},
        {"undefined status", header(1, 1, 480) + midiTrack({{0, "\xF4"}}),
         "at byte 23: undefined status byte 0xF4 in track 1"},
        {"tempo of two bytes",
         header(1, 1, 480) + midiTrack({{0, std::string("\xFF\x51\x02\x07\xA1", 5)}}),
         "at byte 23: a tempo change of 2 bytes in track 1 (it has 3)"},
        {"tempo of zero",
         header(1, 1, 480) + midiTrack({{0, std::string("\xFF\x51\x03\x00\x00\x00", 6)}}),
         "at byte 23: a tempo of 0 microseconds a quarter note in track 1"},
        {"damaged chunk type",
         header(1, 1, 480) + chunk("M\x80rk", std::string("\x00\xFF\x2F\x00", 4)),
         "at byte 14: a chunk should begin here (track 1), but its type is 4D 80 72 6B"},
        {"unknown chunk past the end", header(1, 1, 480) + chunk("XFIH", "abc").substr(0, 9),
         "at byte 22: chunk \"XFIH\" of 3 bytes runs past the end of the file (only 1 left)"},
        {"unknown type", header(3, 1, 480) + note, "at byte 8: type 3 is not 0, 1 or 2"},
        {"no tracks", header(1, 0, 480), "at byte 10: the header announces no tracks"},
        {"zero division", header(1, 1, 0) + note, "at byte 12: the header gives 0 ticks"},
        {"type 2", header(2, 1, 480) + note, "song.mid is of type 2 (independent patterns)"},
        {"SMPTE time", header(1, 1, 0xE728) + note, "song.mid counts time in SMPTE frames"},
    };
    for (const auto& testCase : cases) {
        try {
            parse(testCase.file);
            ADD_FAILURE() << testCase.name << ": read without an error";
        } catch (const cqhost::HostError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(testCase.message), std::string::npos)
                << testCase.name << ": " << message;
            EXPECT_NE(message.find("song.mid"), std::string::npos) << testCase.name;
            EXPECT_EQ(message.find('\n'), std::string::npos) << testCase.name;
        }
    }
}

// What crashed the host's earlier MIDI library: a valid file cut short or with a byte changed.
// Every cut is refused; every changed byte is read or refused, and nothing else (a read
// outside the file is an address-sanitizer report in sanitizer builds).
TEST(HostMidiFile, NoCutOrChangedByteCrashes) {
    const std::string song = midiFile(1, 480,
                                      {midiTrack({{0, std::string("\xFF\x51\x03\x07\xA1\x20", 6)},
                                                  {0, std::string("\xFF\x03\x04song", 7)}}),
                                       midiTrack({{0, std::string("\xF0\x03\x7E\x7F\xF7", 5)},
                                                  {0, "\x90\x3C\x64"},
                                                  {240, "\x40\x64"},
                                                  {240, std::string("\x3C\x00", 2)},
                                                  {0, "\xC0\x05"},
                                                  {960, std::string("\x80\x40\x00", 3)}})});
    ASSERT_EQ(parse(song).size(), 5u);
    for (std::size_t length = 0; length < song.size(); ++length) {
        EXPECT_THROW(parse(song.substr(0, length)), cqhost::HostError) << length;
    }
    for (std::size_t at = 0; at < song.size(); ++at) {
        for (const unsigned char value : {0x00, 0x2F, 0x7F, 0x80, 0xF0, 0xFF}) {
            std::string changed = song;
            changed[at] = static_cast<char>(value);
            try {
                parse(changed);
            } catch (const cqhost::HostError&) {
            }
        }
    }
}

}  // namespace
}  // namespace cqhost_test
