#include "midi_file.h"

#include <smf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host_error.h"

namespace cqhost {
namespace {

void ignoreLibraryLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// libsmf reports problems through GLib's log, on stderr; this host reports them itself in one
// line, so the library's messages are silenced while a file is parsed.
class QuietGlibLog {
  public:
    QuietGlibLog() : previous_(g_log_set_default_handler(ignoreLibraryLog, nullptr)) {}
    ~QuietGlibLog() { g_log_set_default_handler(previous_, nullptr); }

  private:
    GLogFunc previous_;
};

}  // namespace

std::vector<TimedMidiMessage> readMidiFile(const std::string& path, double sampleRate) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        throw HostError("cannot open MIDI file " + path + ": " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) throw HostError("MIDI file " + path + " is a folder");
    if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        throw HostError("cannot open MIDI file " + path + ": " + std::strerror(errno));
    }

    smf_t* smf = nullptr;
    {
        QuietGlibLog quiet;
        smf = smf_load(path.c_str());
    }
    if (smf == nullptr) throw HostError(path + " is not a Standard MIDI File");

    std::vector<TimedMidiMessage> messages;
    smf_rewind(smf);
    {
        QuietGlibLog quiet;
        while (smf_event_t* event = smf_get_next_event(smf)) {
            if (smf_event_is_metadata(event) || event->midi_buffer_length < 1) continue;
            const std::uint8_t status = event->midi_buffer[0];
            // Channel messages only; system exclusive and system messages are not sent.
            if (status < 0x80 || status >= 0xF0) continue;
            TimedMidiMessage message{};
            message.frame = std::llround(event->time_seconds * sampleRate);
            for (int i = 0; i < 3 && i < event->midi_buffer_length; ++i) {
                message.bytes[i] = event->midi_buffer[i];
            }
            messages.push_back(message);
        }
    }
    smf_delete(smf);
    // Events come in time order; keep simultaneous ones in file order.
    std::stable_sort(messages.begin(), messages.end(),
                     [](const auto& a, const auto& b) { return a.frame < b.frame; });
    return messages;
}

}  // namespace cqhost
