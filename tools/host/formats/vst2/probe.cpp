// `probe` of a VST 2.x effect: what a host learns about it, as text or JSON.
#include <cstdio>
#include <sstream>

#include "common/json_text.h"
#include "core/default_rate.h"
#include "formats/vst2/plugin_host.h"
#include "formats/vst2/vst2_format.h"

namespace cqhost {
namespace {

// Can-do strings a host commonly asks an effect about.
constexpr const char* kEffectCanDo[] = {
    "sendVstEvents",      "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
    "receiveVstTimeInfo", "offline",          "midiProgramNames", "bypass"};

struct FlagName {
    VstInt32 bit;
    const char* name;
};
constexpr FlagName kFlagNames[] = {{effFlagsHasEditor, "hasEditor"},
                                   {effFlagsHasClip, "hasClip"},
                                   {effFlagsHasVu, "hasVu"},
                                   {effFlagsCanMono, "canMono"},
                                   {effFlagsCanReplacing, "canReplacing"},
                                   {effFlagsProgramChunks, "programChunks"},
                                   {effFlagsIsSynth, "isSynth"},
                                   {effFlagsNoSoundInStop, "noSoundInStop"},
                                   {effFlagsCanDoubleReplacing, "canDoubleReplacing"}};

// A 32-bit code as its four characters, most significant first, when they are printable.
std::string fourCharacters(VstInt32 value) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(value) >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) return "";
        text += c;
    }
    return text;
}

std::string hex(VstInt32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

struct ProbeResult {
    std::string path, entry;
    AEffect record{};
    VstIntPtr identity = 0;
    std::string effectName, vendor, product;
    VstIntPtr vendorVersion = 0, vstVersion = 0, category = 0;
    VstIntPtr midiInputs = 0, midiOutputs = 0;
    std::vector<std::pair<std::string, VstIntPtr>> canDo;
    bool hasRect = false;
    ERect rect{};
    std::vector<std::pair<VstInt32, int>> hostRequests;
};

ProbeResult probe(PluginHost& host) {
    ProbeResult result;
    result.path = host.path();
    result.entry = host.entryName();
    host.dispatch(effOpen);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(cqscope::kDefaultSampleRate));
    host.dispatch(effSetBlockSize, 0, kBlockSize);
    result.record = host.effect();
    result.identity = host.dispatch(effIdentify);
    result.effectName = host.dispatchText(effGetEffectName);
    result.vendor = host.dispatchText(effGetVendorString);
    result.product = host.dispatchText(effGetProductString);
    result.vendorVersion = host.dispatch(effGetVendorVersion);
    result.vstVersion = host.dispatch(effGetVstVersion);
    result.category = host.dispatch(effGetPlugCategory);
    result.midiInputs = host.dispatch(effGetNumMidiInputChannels);
    result.midiOutputs = host.dispatch(effGetNumMidiOutputChannels);
    for (const char* text : kEffectCanDo) {
        result.canDo.emplace_back(text, host.dispatch(effCanDo, 0, 0, const_cast<char*>(text)));
    }
    if (host.effect().flags & effFlagsHasEditor) {
        ERect* rect = nullptr;
        host.dispatch(effEditGetRect, 0, 0, &rect);
        if (rect != nullptr) {
            result.hasRect = true;
            result.rect = *rect;
        }
    }
    // Switching on and off shows what the effect asks of a host when it starts.
    host.start(cqscope::kDefaultSampleRate, kBlockSize);
    host.stop();
    result.hostRequests = host.callbackLog();
    return result;
}

std::string flagList(VstInt32 flags) {
    std::string names;
    for (const auto& flag : kFlagNames) {
        if (flags & flag.bit) names += (names.empty() ? "" : ", ") + std::string(flag.name);
    }
    return names;
}

std::string humanText(const ProbeResult& r) {
    const AEffect& e = r.record;
    std::ostringstream out;
    out << "plug-in:          " << r.path << " (entry " << r.entry << ")\n"
        << "magic:            " << hex(e.magic) << " '" << fourCharacters(e.magic) << "'\n"
        << "unique ID:        " << hex(e.uniqueID) << " '" << fourCharacters(e.uniqueID) << "'\n"
        << "version:          " << e.version << "\n"
        << "programs:         " << e.numPrograms << "\n"
        << "parameters:       " << e.numParams << "\n"
        << "inputs/outputs:   " << e.numInputs << " / " << e.numOutputs << "\n"
        << "flags:            " << hex(e.flags) << " (" << flagList(e.flags) << ")\n"
        << "initial delay:    " << e.initialDelay << "\n"
        << "identity:         " << hex(static_cast<VstInt32>(r.identity)) << " '"
        << fourCharacters(static_cast<VstInt32>(r.identity)) << "'\n"
        << "effect name:      " << r.effectName << "\n"
        << "vendor:           " << r.vendor << "\n"
        << "product:          " << r.product << "\n"
        << "vendor version:   " << r.vendorVersion << "\n"
        << "VST version:      " << r.vstVersion << "\n"
        << "category:         " << r.category << "\n"
        << "MIDI channels:    " << r.midiInputs << " in, " << r.midiOutputs << " out\n"
        << "can do:\n";
    for (const auto& [text, answer] : r.canDo) {
        out << "  " << text << ": "
            << (answer > 0   ? "yes"
                : answer < 0 ? "no"
                             : "don't know")
            << " (" << answer << ")\n";
    }
    out << "editor:           ";
    if (!(e.flags & effFlagsHasEditor)) {
        out << "none\n";
    } else if (!r.hasRect) {
        out << "yes, size not reported before opening\n";
    } else {
        out << (r.rect.right - r.rect.left) << " x " << (r.rect.bottom - r.rect.top) << " (top "
            << r.rect.top << ", left " << r.rect.left << ", bottom " << r.rect.bottom << ", right "
            << r.rect.right << ")\n";
    }
    out << "asked of the host:";
    for (const auto& [opcode, count] : r.hostRequests) {
        out << " " << hostOpcodeName(opcode) << " x" << count << ";";
    }
    out << "\n";
    return out.str();
}

std::string jsonText(const ProbeResult& r) {
    const AEffect& e = r.record;
    std::ostringstream out;
    out << "{\n"
        << "  \"path\": " << jsonString(r.path) << ",\n"
        << "  \"entry\": " << jsonString(r.entry) << ",\n"
        << "  \"magic\": " << e.magic << ",\n"
        << "  \"uniqueID\": " << e.uniqueID << ",\n"
        << "  \"uniqueIDText\": " << jsonString(fourCharacters(e.uniqueID)) << ",\n"
        << "  \"version\": " << e.version << ",\n"
        << "  \"numPrograms\": " << e.numPrograms << ",\n"
        << "  \"numParams\": " << e.numParams << ",\n"
        << "  \"numInputs\": " << e.numInputs << ",\n"
        << "  \"numOutputs\": " << e.numOutputs << ",\n"
        << "  \"flags\": " << e.flags << ",\n"
        << "  \"initialDelay\": " << e.initialDelay << ",\n"
        << "  \"identity\": " << r.identity << ",\n"
        << "  \"effectName\": " << jsonString(r.effectName) << ",\n"
        << "  \"vendor\": " << jsonString(r.vendor) << ",\n"
        << "  \"product\": " << jsonString(r.product) << ",\n"
        << "  \"vendorVersion\": " << r.vendorVersion << ",\n"
        << "  \"vstVersion\": " << r.vstVersion << ",\n"
        << "  \"category\": " << r.category << ",\n"
        << "  \"midiInputChannels\": " << r.midiInputs << ",\n"
        << "  \"midiOutputChannels\": " << r.midiOutputs << ",\n"
        << "  \"canDo\": {";
    for (size_t i = 0; i < r.canDo.size(); ++i) {
        out << (i ? ", " : "") << jsonString(r.canDo[i].first) << ": " << r.canDo[i].second;
    }
    out << "},\n  \"editor\": ";
    if (!(e.flags & effFlagsHasEditor)) {
        out << "null";
    } else if (!r.hasRect) {
        out << "{}";
    } else {
        out << "{\"top\": " << r.rect.top << ", \"left\": " << r.rect.left
            << ", \"bottom\": " << r.rect.bottom << ", \"right\": " << r.rect.right
            << ", \"width\": " << (r.rect.right - r.rect.left)
            << ", \"height\": " << (r.rect.bottom - r.rect.top) << "}";
    }
    out << ",\n  \"hostRequests\": {";
    for (size_t i = 0; i < r.hostRequests.size(); ++i) {
        out << (i ? ", " : "") << jsonString(hostOpcodeName(r.hostRequests[i].first)) << ": "
            << r.hostRequests[i].second;
    }
    out << "}\n}\n";
    return out.str();
}

}  // namespace

std::string probeVst2(const std::string& path, bool json) {
    ProbeResult result;
    {
        PluginHost host(path);
        result = probe(host);
    }
    return json ? jsonText(result) : humanText(result);
}

}  // namespace cqhost
