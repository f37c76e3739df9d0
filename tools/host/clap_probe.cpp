// `probe` for CLAP plug-ins: what a host learns about each plug-in of a file, in the words of
// the VST 2.x probe. Needs nothing of the system beyond the CLAP host, so both hosts share it.
#include <cstdio>
#include <sstream>

#include "clap_commands.h"
#include "clap_host.h"
#include "host_error.h"

namespace cqhost {
namespace {

// The rate `probe` activates at, in Hz.
constexpr double kProbeRate = 44100.0;

std::string joined(const std::vector<std::string>& items, const char* separator = ", ") {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : separator) + item;
    return text.empty() ? "none" : text;
}

std::string idText(clap_id id) {
    return id == CLAP_INVALID_ID ? "none" : std::to_string(id);
}

std::string dialects(std::uint32_t bits) {
    std::vector<std::string> names;
    if (bits & CLAP_NOTE_DIALECT_CLAP) names.emplace_back("clap");
    if (bits & CLAP_NOTE_DIALECT_MIDI) names.emplace_back("midi");
    if (bits & CLAP_NOTE_DIALECT_MIDI_MPE) names.emplace_back("midi-mpe");
    if (bits & CLAP_NOTE_DIALECT_MIDI2) names.emplace_back("midi2");
    return joined(names);
}

void printAudioPorts(std::ostringstream& out, const char* label,
                     const std::vector<ClapAudioPortInfo>& ports) {
    out << label << ports.size() << "\n";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const ClapAudioPortInfo& p = ports[i];
        out << "  " << i << ": id " << p.id << " \"" << p.name << "\", " << p.channelCount
            << " channels, type " << (p.portType.empty() ? "unspecified" : p.portType)
            << (p.flags & CLAP_AUDIO_PORT_IS_MAIN ? ", main" : "")
            << (p.flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS ? ", 64-bit" : "") << ", in-place pair "
            << idText(p.inPlacePair) << "\n";
    }
}

void printNotePorts(std::ostringstream& out, const char* label,
                    const std::vector<ClapNotePortInfo>& ports) {
    out << label << ports.size() << "\n";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const ClapNotePortInfo& p = ports[i];
        out << "  " << i << ": id " << p.id << " \"" << p.name << "\", dialects "
            << dialects(p.supportedDialects) << " (prefers " << dialects(p.preferredDialect)
            << ")\n";
    }
}

// Creates one plug-in of the file and reports what a host learns about it.
void probePlugin(std::ostringstream& out, ClapLibrary& library, const ClapDescriptorInfo& d) {
    out << "id:               " << d.id << "\n"
        << "name:             " << d.name << "\n"
        << "vendor:           " << d.vendor << "\n"
        << "version:          " << d.pluginVersion << "\n"
        << "description:      " << d.description << "\n"
        << "url:              " << d.url << "\n"
        << "features:         " << joined(d.features) << "\n";
    ClapPlugin plugin(library, d.id);
    printAudioPorts(out, "audio inputs:     ", plugin.audioPorts(true));
    printAudioPorts(out, "audio outputs:    ", plugin.audioPorts(false));
    printNotePorts(out, "note inputs:      ", plugin.notePorts(true));
    printNotePorts(out, "note outputs:     ", plugin.notePorts(false));
    out << "gui:              ";
    if (const auto gui = plugin.gui()) {
        out << "embedded " << joined(gui->embeddedApis) << "; floating "
            << joined(gui->floatingApis) << "; ";
        if (gui->hasSize) {
            out << gui->width << " x " << gui->height;
        } else {
            out << "size not reported";
        }
        out << (gui->canResize ? ", resizable" : ", fixed size") << "\n";
    } else {
        out << "none\n";
    }
    plugin.activate(kProbeRate, 1, kClapMaxBlock);
    const auto latency = plugin.latency();
    plugin.deactivate();
    out << "latency:          "
        << (latency ? std::to_string(*latency) + " frames" : std::string("not reported"))
        << " (active at " << static_cast<int>(kProbeRate) << " Hz)\n"
        << "asked of the host: " << joined(plugin.extensionsAsked()) << "\n";
    if (const auto breaks = plugin.ruleBreaks(); !breaks.empty()) {
        out << "host rules broken: " << joined(breaks, "; ") << "\n";
    }
}

}  // namespace

int runClapProbe(const ProbeOptions& options) {
    if (options.json) throw HostError("probe --json is not available for CLAP plug-ins yet");
    std::ostringstream out;
    {
        ClapLibrary library(options.plugin);
        const auto descriptors = library.descriptors();
        out << "plug-in:          " << options.plugin << " (entry clap_entry, CLAP "
            << library.version().major << "." << library.version().minor << "."
            << library.version().revision << ")\n"
            << "plug-ins in file: " << descriptors.size() << "\n";
        for (const auto& descriptor : descriptors) {
            out << "\n";
            probePlugin(out, library, descriptor);
        }
    }
    std::fputs(out.str().c_str(), stdout);
    return 0;
}

}  // namespace cqhost
