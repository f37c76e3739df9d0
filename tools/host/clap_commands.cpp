#include "clap_commands.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "audio_file.h"
#include "clap_host.h"
#include "clap_stream.h"
#include "host_error.h"
#include "output_file.h"
#include "play_loop.h"
#include "progress.h"

namespace cqhost {
namespace {

// The block size `probe` and `process` activate with, in frames.
constexpr std::uint32_t kMaxBlock = kBlockSize;
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
    plugin.activate(kProbeRate, 1, kMaxBlock);
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

int runClapProcess(const ProcessOptions& options) {
    AudioReader reader(options.input);
    ClapLibrary library(options.plugin);
    const auto descriptors = library.descriptors();
    if (descriptors.empty()) throw HostError("plug-in " + options.plugin + " offers no plug-ins");
    ClapPlugin plugin(library, descriptors.front().id);
    const auto inputs = plugin.audioPorts(true), outputs = plugin.audioPorts(false);
    if (outputs.empty() || outputs[0].channelCount == 0) {
        throw HostError("plug-in " + options.plugin + " has no audio outputs");
    }
    // The main ports carry the file: one set of buffers as wide as the wider of the two.
    const std::uint32_t channels =
        std::max(outputs[0].channelCount, inputs.empty() ? 0u : inputs[0].channelCount);
    plugin.activate(reader.sampleRate(), 1, kMaxBlock);

    AtomicOutputFile output(options.output);
    AudioWriter writer(output, reader.format(), reader.channels(),
                       static_cast<int>(reader.sampleRate()));
    std::vector<float> left(kMaxBlock), right(kMaxBlock);
    std::vector<const float*> fileChannels(reader.channels());
    ClapStreamAudio audio;
    audio.channels = channels;
    const int inputChannels = inputs.empty() ? 0 : static_cast<int>(inputs[0].channelCount);
    audio.read = [&](float* const* buffers, std::uint32_t frames) -> std::uint32_t {
        const int count = reader.read(left.data(), right.data(), static_cast<int>(frames));
        for (std::uint32_t c = 0; c < channels; ++c) {
            std::fill(buffers[c], buffers[c] + frames, 0.0f);
        }
        feedInputs(buffers, inputChannels, left.data(), right.data(), reader.channels(), count);
        return static_cast<std::uint32_t>(count);
    };
    // A mono file gets the first output, a stereo file the first two (the first twice for a
    // mono plug-in).
    const int outputChannels = static_cast<int>(outputs[0].channelCount);
    audio.write = [&](const float* const* buffers, std::uint32_t frames) {
        for (int c = 0; c < reader.channels(); ++c) {
            fileChannels[c] = buffers[std::min(c, outputChannels - 1)];
        }
        writer.write(fileChannels.data(), static_cast<int>(frames));
    };
    ProgressBar progress("process", reader.frames());
    processStream(plugin, audio, ClapEventStream{},
                  [&](std::uint64_t done) { progress.update(static_cast<long long>(done)); });
    progress.finish();
    plugin.deactivate();
    writer.finish();
    output.commit();
    return 0;
}

}  // namespace cqhost
