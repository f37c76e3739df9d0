#include "files/midi_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "common/host_error.h"

namespace cqhost {
namespace {

// A file larger than this is refused as soon as reading passes it (real songs are well below a
// megabyte; this bounds what a pipe or a device given as the file can make us allocate).
constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;

// Microseconds per quarter note until the first tempo change: 120 beats a minute.
constexpr std::uint32_t kDefaultTempo = 500000;

// What a track says, before its time in seconds is known: a channel message to pass on, or a
// point of the tempo map.
struct TrackEvent {
    enum class Kind : std::uint8_t { Channel, Tempo, TimeSignature };
    std::uint64_t tick;  // since the start of the song
    Kind kind;
    std::uint32_t tempo;                // Tempo: microseconds per quarter note
    std::array<std::uint8_t, 3> bytes;  // Channel: status, data 1, data 2 (0 when absent)
};

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

const char* channelMessageName(std::uint8_t status) {
    static constexpr const char* kNames[] = {
        "a note-off",       "a note-on",          "a key pressure", "a controller",
        "a program change", "a channel pressure", "a pitch bend"};
    return kNames[(status >> 4) - 8];
}

// Data bytes after the status byte of a channel message.
int channelDataBytes(std::uint8_t status) {
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

// Data bytes after a system common or real-time status byte (0xF1 to 0xFE, SysEx and meta
// excepted), or -1 for the ones MIDI leaves undefined.
int systemDataBytes(std::uint8_t status) {
    switch (status) {
        case 0xF1:  // time code quarter frame
        case 0xF3:  // song select
            return 1;
        case 0xF2:  // song position
            return 2;
        case 0xF4:
        case 0xF5:
        case 0xFD:
            return -1;
        default:  // tune request and the real-time messages
            return 0;
    }
}

// Reads a file's bytes front to back. Every read first checks that what it needs lies before
// the current limit (the end of the file, or of the track being read) and otherwise throws
// a HostError naming the file, the offset and what was cut short.
class ByteReader {
  public:
    ByteReader(std::span<const std::uint8_t> bytes, const std::string& name)
        : bytes_(bytes), name_(name), end_(bytes.size()) {}

    std::size_t offset() const { return at_; }
    std::size_t left() const { return end_ - at_; }

    // Reads up to `end` from here on; `place` names that stretch in errors ("track 2").
    // Requires: offset() <= end <= the file's size.
    void limitTo(std::size_t end, std::string place) {
        end_ = end;
        place_ = std::move(place);
    }
    void moveTo(std::size_t offset) { at_ = offset; }  // Requires: offset <= the limit.

    [[noreturn]] void fail(std::size_t offset, const std::string& problem) const {
        throw HostError("MIDI file " + name_ + " is damaged at byte " + std::to_string(offset) +
                        ": " + problem);
    }

    std::uint8_t byte(std::string_view what) {
        if (at_ >= end_) fail(at_, std::string(what) + " runs past the end of " + place_);
        return bytes_[at_++];
    }

    std::uint32_t bigEndian(int count, std::string_view what) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value = value << 8 | byte(what);
        return value;
    }

    // A variable-length quantity: seven bits a byte, most significant first, at most four
    // bytes (so below 2^28).
    std::uint32_t variableLength(std::string_view what) {
        const std::size_t start = at_;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t next = byte(what);
            value = value << 7 | (next & 0x7Fu);
            if ((next & 0x80) == 0) return value;
        }
        fail(start, std::string(what) + " is longer than four bytes");
    }

    std::span<const std::uint8_t> take(std::size_t count, std::string_view what) {
        if (count > left()) {
            fail(at_, std::string(what) + " of " + std::to_string(count) +
                          " bytes runs past the end of " + place_ + " (only " +
                          std::to_string(left()) + " left)");
        }
        const auto taken = bytes_.subspan(at_, count);
        at_ += count;
        return taken;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    const std::string& name_;
    std::size_t end_;
    std::size_t at_ = 0;
    std::string place_ = "the file";
};

// One MTrk chunk's events, appended to `events` in file order, with ticks counted from the
// song's start. The reader's limit is the chunk's end; it stops at the End of Track event
// (anything after it in the chunk is ignored).
void readTrack(ByteReader& reader, int number, std::vector<TrackEvent>& events) {
    const std::string track = "track " + std::to_string(number);
    const std::size_t start = reader.offset();
    if (reader.left() == 0) reader.fail(start, track + " is empty: it has no End of Track event");
    std::uint64_t tick = 0;
    std::uint8_t runningStatus = 0;  // the last channel status byte, 0 before the first
    for (;;) {
        if (reader.left() == 0) {
            reader.fail(reader.offset(), track + " ends without an End of Track event");
        }
        tick += reader.variableLength("a delta time");
        const std::size_t eventStart = reader.offset();
        const std::uint8_t first = reader.byte("an event");
        if (first == 0xFF) {
            const std::uint8_t type = reader.byte("a meta event");
            const auto data =
                reader.take(reader.variableLength("a meta event's length"), "a meta event");
            if (type == 0x2F) return;
            if (type == 0x51) {
                if (data.size() != 3) {
                    reader.fail(eventStart, "a tempo change of " + std::to_string(data.size()) +
                                                " bytes in " + track + " (it has 3)");
                }
                const std::uint32_t tempo =
                    std::uint32_t{data[0]} << 16 | std::uint32_t{data[1]} << 8 | data[2];
                if (tempo == 0) {
                    reader.fail(eventStart, "a tempo of 0 microseconds a quarter note in " + track);
                }
                events.push_back({tick, TrackEvent::Kind::Tempo, tempo, {}});
            } else if (type == 0x58 && data.size() >= 4) {
                events.push_back({tick, TrackEvent::Kind::TimeSignature, 0, {}});
            }
        } else if (first == 0xF0 || first == 0xF7) {
            // System exclusive (or an escaped sequence): length-prefixed, not passed on.
            reader.take(reader.variableLength("a system exclusive message's length"),
                        "a system exclusive message");
        } else if (first > 0xF0) {
            const int count = systemDataBytes(first);
            if (count < 0)
                reader.fail(eventStart, "undefined status byte " + hexByte(first) + " in " + track);
            for (int i = 0; i < count; ++i) {
                const std::uint8_t data = reader.byte("a system message");
                if (data >= 0x80) {
                    reader.fail(reader.offset() - 1, "status byte " + hexByte(data) +
                                                         " inside a system message in " + track);
                }
            }
        } else {
            std::array<std::uint8_t, 3> bytes{};
            int filled = 1;
            if (first >= 0x80) {
                runningStatus = first;
            } else {
                if (runningStatus == 0) {
                    reader.fail(eventStart, "data byte " + hexByte(first) + " in " + track +
                                                " has no status byte before it");
                }
                bytes[filled++] = first;
            }
            bytes[0] = runningStatus;
            const char* name = channelMessageName(runningStatus);
            while (filled <= channelDataBytes(runningStatus)) {
                const std::uint8_t data = reader.byte(name);
                if (data >= 0x80) {
                    reader.fail(reader.offset() - 1, "status byte " + hexByte(data) + " inside " +
                                                         name + " in " + track);
                }
                bytes[filled++] = data;
            }
            events.push_back({tick, TrackEvent::Kind::Channel, 0, bytes});
        }
    }
}

// Seconds at a tick along the tempo map, built as the song's events are met in time order.
// The map is a list of points (a tempo change, or a time signature, which keeps the tempo);
// a tick's time is that of the last point before it plus the ticks since at that point's
// tempo. Starting again from each point, and from the last one strictly before the tick,
// gives the same doubles as the library cqscope-host read MIDI files with before, so that
// the same files give the same frames.
class TempoMap {
  public:
    explicit TempoMap(std::uint16_t ticksPerQuarter) : ticksPerQuarter_(ticksPerQuarter) {
        points_.push_back({0, 0.0, kDefaultTempo});
    }

    void changeTempo(std::uint64_t tick, std::uint32_t tempo) { pointAt(tick).tempo = tempo; }
    void markTimeSignature(std::uint64_t tick) { pointAt(tick); }

    double seconds(std::uint64_t tick) const {
        if (tick == 0) return 0.0;
        // Points are in tick order and only the last can lie at `tick` (or later).
        auto point = points_.rbegin();
        while (point->tick >= tick) ++point;
        return point->seconds +
               static_cast<double>(tick - point->tick) *
                   (point->tempo / (static_cast<double>(ticksPerQuarter_) * 1000000.0));
    }

  private:
    struct Point {
        std::uint64_t tick;
        double seconds;
        std::uint32_t tempo;  // microseconds per quarter note from this tick on
    };

    // The point at `tick`, made (with the tempo so far) if there is none.
    // Requires: tick is at or after the last point's.
    Point& pointAt(std::uint64_t tick) {
        if (points_.back().tick != tick) {
            points_.push_back({tick, seconds(tick), points_.back().tempo});
        }
        return points_.back();
    }

    std::uint16_t ticksPerQuarter_;
    std::vector<Point> points_;
};

long long frameAt(double seconds, double sampleRate) {
    // Times this late (a song of deltas and tempos at their largest) lie beyond any audio;
    // they are held here, in order, rather than overflow.
    constexpr double kLastFrame = 9.0e18;
    const double frame = seconds * sampleRate;
    return frame < kLastFrame ? std::llround(frame) : static_cast<long long>(kLastFrame);
}

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        throw HostError("cannot open MIDI file " + path + ": " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) throw HostError("MIDI file " + path + " is a folder");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) throw HostError("cannot open MIDI file " + path + ": " + std::strerror(errno));
    std::vector<std::uint8_t> bytes;
    std::size_t filled = 0;
    for (;;) {
        if (bytes.size() - filled < 65536) bytes.resize(filled + 65536);
        filled += std::fread(bytes.data() + filled, 1, bytes.size() - filled, file.get());
        if (filled > kMaxFileBytes) {
            throw HostError("MIDI file " + path + " is larger than " +
                            std::to_string(kMaxFileBytes >> 20) + " MiB");
        }
        if (std::ferror(file.get())) {
            throw HostError("cannot read MIDI file " + path + ": " + std::strerror(errno));
        }
        if (std::feof(file.get())) break;
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace

std::vector<TimedMidiMessage> parseMidiFile(std::span<const std::uint8_t> bytes,
                                            const std::string& name, double sampleRate) {
    static constexpr std::uint8_t kHeaderType[] = {'M', 'T', 'h', 'd'};
    if (bytes.empty()) throw HostError(name + " is not a Standard MIDI File (it is empty)");
    if (bytes.size() < 4 || !std::equal(kHeaderType, kHeaderType + 4, bytes.begin())) {
        throw HostError(name + " is not a Standard MIDI File (it does not begin with \"MThd\")");
    }
    ByteReader reader(bytes, name);
    reader.moveTo(4);
    const std::uint32_t headerLength = reader.bigEndian(4, "the header");
    if (headerLength < 6) {
        reader.fail(4, "the header's length is " + std::to_string(headerLength) +
                           " bytes (it has at least 6)");
    }
    const std::size_t headerEnd = reader.offset();
    reader.take(headerLength, "the header");
    reader.moveTo(headerEnd);
    const std::uint32_t type = reader.bigEndian(2, "the header");
    const std::uint32_t trackCount = reader.bigEndian(2, "the header");
    const std::uint32_t division = reader.bigEndian(2, "the header");
    reader.moveTo(headerEnd + headerLength);
    if (type > 2) reader.fail(8, "type " + std::to_string(type) + " is not 0, 1 or 2");
    if (type == 2) {
        throw HostError("MIDI file " + name + " is of type 2 (independent patterns), which " +
                        "cqscope-host does not play; save it as type 0 or 1");
    }
    if (trackCount == 0) reader.fail(10, "the header announces no tracks");
    if (division & 0x8000) {
        throw HostError("MIDI file " + name + " counts time in SMPTE frames, which " +
                        "cqscope-host does not read; save it with ticks per quarter note");
    }
    if (division == 0) reader.fail(12, "the header gives 0 ticks per quarter note");

    // Each channel event takes at least two bytes of the file (delta and data), each point of
    // the tempo map more: the list is bounded by the file's size.
    std::vector<TrackEvent> events;
    std::uint32_t tracksRead = 0;
    while (tracksRead < trackCount) {
        const std::size_t chunkStart = reader.offset();
        reader.limitTo(bytes.size(), "the file");
        if (reader.left() == 0) {
            reader.fail(chunkStart, "the header announces " + std::to_string(trackCount) +
                                        " tracks, but the file ends after " +
                                        std::to_string(tracksRead));
        }
        if (reader.left() < 8) {
            reader.fail(chunkStart, "the file ends inside the header of a chunk (track " +
                                        std::to_string(tracksRead + 1) + ")");
        }
        const auto chunkType = reader.take(4, "a chunk's type");
        const std::uint32_t length = reader.bigEndian(4, "a chunk's length");
        const bool letters = std::all_of(chunkType.begin(), chunkType.end(),
                                         [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
        const std::string typeText(chunkType.begin(), chunkType.end());
        if (!letters) {
            char found[16];
            std::snprintf(found, sizeof found, "%02X %02X %02X %02X", chunkType[0], chunkType[1],
                          chunkType[2], chunkType[3]);
            reader.fail(chunkStart, "a chunk should begin here (track " +
                                        std::to_string(tracksRead + 1) + "), but its type is " +
                                        found + ", not four letters");
        }
        const std::size_t bodyStart = reader.offset();
        reader.take(length, "chunk \"" + typeText + "\"");
        reader.moveTo(bodyStart);
        // Chunks of other types are skipped, as the format asks of readers.
        if (typeText == "MTrk") {
            ++tracksRead;
            reader.limitTo(bodyStart + length, "track " + std::to_string(tracksRead));
            readTrack(reader, static_cast<int>(tracksRead), events);
        }
        reader.limitTo(bytes.size(), "the file");
        reader.moveTo(bodyStart + length);
    }

    // Tracks were read one after another, so a stable sort by tick leaves simultaneous events
    // in track order, then file order: the order in which they are played.
    std::stable_sort(events.begin(), events.end(),
                     [](const TrackEvent& a, const TrackEvent& b) { return a.tick < b.tick; });
    TempoMap tempoMap(static_cast<std::uint16_t>(division));
    std::vector<TimedMidiMessage> messages;
    for (const TrackEvent& event : events) {
        switch (event.kind) {
            case TrackEvent::Kind::Tempo:
                tempoMap.changeTempo(event.tick, event.tempo);
                break;
            case TrackEvent::Kind::TimeSignature:
                tempoMap.markTimeSignature(event.tick);
                break;
            case TrackEvent::Kind::Channel:
                messages.push_back(
                    {frameAt(tempoMap.seconds(event.tick), sampleRate), event.bytes});
                break;
        }
    }
    return messages;
}

std::vector<TimedMidiMessage> readMidiFile(const std::string& path, double sampleRate) {
    return parseMidiFile(readWholeFile(path), path, sampleRate);
}

}  // namespace cqhost
