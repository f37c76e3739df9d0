// `probe` of a CLAP file: what a host learns about each plug-in of the file, in the words of
// the VST 2.x probe. Needs nothing of the system beyond the CLAP host, so both hosts share it.
#include <cstdio>
#include <optional>
#include <sstream>
#include <vector>

#include "common/host_error.h"
#include "common/json_text.h"
#include "core/default_rate.h"
#include "formats/clap/clap_format.h"
#include "formats/clap/clap_host.h"

namespace cqhost {
namespace {

// The rate `probe` activates at, in Hz.
constexpr double kProbeRate = cqscope::kDefaultSampleRate;

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

// What a host learns about one plug-in of the file.
struct PluginReport {
    ClapDescriptorInfo descriptor;
    std::vector<ClapAudioPortInfo> audioIn, audioOut;
    std::vector<ClapNotePortInfo> noteIn, noteOut;
    std::optional<ClapGuiInfo> gui;
    std::optional<std::uint32_t> latency;  // while active at kProbeRate
    std::vector<std::string> asked, breaks;
};

// Creates one plug-in of the file, asks it what a host asks, and lets it go.
PluginReport probePlugin(ClapLibrary& library, const ClapDescriptorInfo& d) {
    PluginReport r;
    r.descriptor = d;
    ClapPlugin plugin(library, d.id);
    r.audioIn = plugin.audioPorts(true);
    r.audioOut = plugin.audioPorts(false);
    r.noteIn = plugin.notePorts(true);
    r.noteOut = plugin.notePorts(false);
    r.gui = plugin.gui();
    plugin.activate(kProbeRate, 1, kBlockSize);
    r.latency = plugin.latency();
    plugin.deactivate();
    r.asked = plugin.extensionsAsked();
    r.breaks = plugin.ruleBreaks();
    return r;
}

void printHuman(std::ostringstream& out, const PluginReport& r) {
    const ClapDescriptorInfo& d = r.descriptor;
    out << "id:               " << d.id << "\n"
        << "name:             " << d.name << "\n"
        << "vendor:           " << d.vendor << "\n"
        << "version:          " << d.pluginVersion << "\n"
        << "description:      " << d.description << "\n"
        << "url:              " << d.url << "\n"
        << "features:         " << joined(d.features) << "\n";
    printAudioPorts(out, "audio inputs:     ", r.audioIn);
    printAudioPorts(out, "audio outputs:    ", r.audioOut);
    printNotePorts(out, "note inputs:      ", r.noteIn);
    printNotePorts(out, "note outputs:     ", r.noteOut);
    out << "gui:              ";
    if (r.gui) {
        out << "embedded " << joined(r.gui->embeddedApis) << "; floating "
            << joined(r.gui->floatingApis) << "; ";
        if (r.gui->hasSize) {
            out << r.gui->width << " x " << r.gui->height;
        } else {
            out << "size not reported";
        }
        out << (r.gui->canResize ? ", resizable" : ", fixed size") << "\n";
    } else {
        out << "none\n";
    }
    out << "latency:          "
        << (r.latency ? std::to_string(*r.latency) + " frames" : std::string("not reported"))
        << " (active at " << static_cast<int>(kProbeRate) << " Hz)\n"
        << "asked of the host: " << joined(r.asked) << "\n";
    if (!r.breaks.empty()) out << "host rules broken: " << joined(r.breaks, "; ") << "\n";
}

std::string jsonList(const std::vector<std::string>& items) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + jsonString(items[i]);
    return text + "]";
}

// The channels of the main port (the first), as the VST 2.x record's input and output counts.
std::uint32_t mainChannels(const std::vector<ClapAudioPortInfo>& ports) {
    return ports.empty() ? 0 : ports.front().channelCount;
}

void printAudioPortsJson(std::ostringstream& out, const std::vector<ClapAudioPortInfo>& ports) {
    out << "[";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const ClapAudioPortInfo& p = ports[i];
        out << (i ? ", " : "") << "{\"id\": " << p.id << ", \"name\": " << jsonString(p.name)
            << ", \"channels\": " << p.channelCount << ", \"type\": " << jsonString(p.portType)
            << ", \"flags\": " << p.flags << ", \"inPlacePair\": ";
        if (p.inPlacePair == CLAP_INVALID_ID) {
            out << "null}";
        } else {
            out << p.inPlacePair << "}";
        }
    }
    out << "]";
}

void printNotePortsJson(std::ostringstream& out, const std::vector<ClapNotePortInfo>& ports) {
    out << "[";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const ClapNotePortInfo& p = ports[i];
        out << (i ? ", " : "") << "{\"id\": " << p.id << ", \"name\": " << jsonString(p.name)
            << ", \"supportedDialects\": " << p.supportedDialects
            << ", \"preferredDialect\": " << p.preferredDialect << "}";
    }
    out << "]";
}

// One plug-in as a JSON object, with the names of the VST 2.x probe's fields where they
// apply (effectName, vendor, numInputs, numOutputs, initialDelay, editor).
void printJson(std::ostringstream& out, const PluginReport& r) {
    const ClapDescriptorInfo& d = r.descriptor;
    out << "    {\n"
        << "      \"id\": " << jsonString(d.id) << ",\n"
        << "      \"effectName\": " << jsonString(d.name) << ",\n"
        << "      \"vendor\": " << jsonString(d.vendor) << ",\n"
        << "      \"version\": " << jsonString(d.pluginVersion) << ",\n"
        << "      \"description\": " << jsonString(d.description) << ",\n"
        << "      \"url\": " << jsonString(d.url) << ",\n"
        << "      \"features\": " << jsonList(d.features) << ",\n"
        << "      \"numInputs\": " << mainChannels(r.audioIn) << ",\n"
        << "      \"numOutputs\": " << mainChannels(r.audioOut) << ",\n"
        << "      \"audioInputs\": ";
    printAudioPortsJson(out, r.audioIn);
    out << ",\n      \"audioOutputs\": ";
    printAudioPortsJson(out, r.audioOut);
    out << ",\n      \"noteInputs\": ";
    printNotePortsJson(out, r.noteIn);
    out << ",\n      \"noteOutputs\": ";
    printNotePortsJson(out, r.noteOut);
    out << ",\n      \"initialDelay\": ";
    if (r.latency) {
        out << *r.latency;
    } else {
        out << "null";
    }
    out << ",\n      \"editor\": ";
    if (!r.gui) {
        out << "null";
    } else {
        out << "{\"embedded\": " << jsonList(r.gui->embeddedApis)
            << ", \"floating\": " << jsonList(r.gui->floatingApis)
            << ", \"resizable\": " << (r.gui->canResize ? "true" : "false");
        if (r.gui->hasSize) {
            out << ", \"width\": " << r.gui->width << ", \"height\": " << r.gui->height;
        }
        out << "}";
    }
    out << ",\n      \"hostRequests\": " << jsonList(r.asked)
        << ",\n      \"hostRulesBroken\": " << jsonList(r.breaks) << "\n    }";
}

}  // namespace

std::string probeClap(const std::string& path, bool json) {
    std::ostringstream out;
    {
        ClapLibrary library(path);
        const auto descriptors = library.descriptors();
        const clap_version version = library.version();
        std::vector<PluginReport> reports;
        for (const auto& descriptor : descriptors) {
            reports.push_back(probePlugin(library, descriptor));
        }
        const std::string versionText = std::to_string(version.major) + "." +
                                        std::to_string(version.minor) + "." +
                                        std::to_string(version.revision);
        if (json) {
            out << "{\n"
                << "  \"path\": " << jsonString(path) << ",\n"
                << "  \"entry\": \"clap_entry\",\n"
                << "  \"clapVersion\": " << jsonString(versionText) << ",\n"
                << "  \"plugins\": [";
            for (std::size_t i = 0; i < reports.size(); ++i) {
                out << (i ? ",\n" : "\n");
                printJson(out, reports[i]);
            }
            out << (reports.empty() ? "]\n}\n" : "\n  ]\n}\n");
        } else {
            out << "plug-in:          " << path << " (entry clap_entry, CLAP " << versionText
                << ")\n"
                << "plug-ins in file: " << descriptors.size() << "\n";
            for (const PluginReport& report : reports) {
                out << "\n";
                printHuman(out, report);
            }
        }
    }
    return out.str();
}

}  // namespace cqhost
