// `probe` of a VST 3 module: what a host learns about the module and each of its processor
// classes, in the words of the other formats' probes. Needs nothing of the system beyond the
// VST 3 host, so both hosts share it.
#include <sstream>

#include "common/block_size.h"
#include "common/host_error.h"
#include "common/json_text.h"
#include "core/default_rate.h"
#include "formats/vst3/vst3_format.h"
#include "formats/vst3/vst3_plugin.h"

namespace cqhost {
namespace {

using namespace vst3;

// The rate `probe` switches a plug-in on at, in Hz.
constexpr double kProbeRate = cqscope::kDefaultSampleRate;

struct EditorReport {
    bool x11 = false, hwnd = false, resizable = false, hasSize = false;
    int width = 0, height = 0;
};

// What a host learns about one processor class.
struct ClassReport {
    Vst3ClassInfo info;
    std::vector<Vst3BusInfo> audioIn, audioOut, eventIn, eventOut;
    Vst3ControllerKind controller = Vst3ControllerKind::None;
    int parameters = 0;
    unsigned latency = 0, tail = 0;
    bool hasEditor = false;
    EditorReport editor;
};

const char* controllerText(Vst3ControllerKind kind) {
    switch (kind) {
        case Vst3ControllerKind::SameObject:
            return "the component itself";
        case Vst3ControllerKind::Separate:
            return "a class of its own";
        case Vst3ControllerKind::None:
            break;
    }
    return "none";
}

const char* controllerJson(Vst3ControllerKind kind) {
    switch (kind) {
        case Vst3ControllerKind::SameObject:
            return "\"component\"";
        case Vst3ControllerKind::Separate:
            return "\"separate\"";
        case Vst3ControllerKind::None:
            break;
    }
    return "null";
}

// Makes one plug-in of the class, asks it what a host asks, switches it on and off, and lets
// it go.
ClassReport probeClass(Vst3Module& module, const Vst3ClassInfo& info, Vst3HostObjects& host) {
    ClassReport r;
    r.info = info;
    {
        Vst3Plugin plugin(module, info, host);
        r.audioIn = plugin.buses(kAudio, kInput);
        r.audioOut = plugin.buses(kAudio, kOutput);
        r.eventIn = plugin.buses(kEvent, kInput);
        r.eventOut = plugin.buses(kEvent, kOutput);
        r.controller = plugin.controllerKind();
        if (plugin.controller() != nullptr) {
            r.parameters = plugin.controller()->getParameterCount();
            if (Vst3Ptr<IPlugView> view = plugin.createView()) {
                r.hasEditor = true;
                r.editor.x11 =
                    view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) == kResultTrue;
                r.editor.hwnd = view->isPlatformTypeSupported(kPlatformTypeHWND) == kResultTrue;
                r.editor.resizable = view->canResize() == kResultTrue;
                ViewRect rect{};
                if (view->getSize(&rect) == kResultOk) {
                    r.editor.hasSize = true;
                    r.editor.width = rect.right - rect.left;
                    r.editor.height = rect.bottom - rect.top;
                }
            }
        }
        plugin.activate(kProbeRate, kBlockSize);
        r.latency = plugin.processor().getLatencySamples();
        r.tail = plugin.processor().getTailSamples();
        plugin.deactivate();
    }
    return r;
}

std::string busType(const Vst3BusInfo& bus) {
    return bus.busType == kMain ? "main" : "aux";
}

void printBuses(std::ostringstream& out, const char* label, const std::vector<Vst3BusInfo>& buses) {
    out << label << buses.size() << "\n";
    for (std::size_t i = 0; i < buses.size(); ++i) {
        const Vst3BusInfo& b = buses[i];
        out << "  " << i << ": \"" << b.name << "\", " << b.channels << " channels, " << busType(b)
            << (b.flags & BusInfo::kDefaultActive ? ", active by default" : "") << "\n";
    }
}

void printBusesJson(std::ostringstream& out, const std::vector<Vst3BusInfo>& buses) {
    out << "[";
    for (std::size_t i = 0; i < buses.size(); ++i) {
        const Vst3BusInfo& b = buses[i];
        out << (i ? ", " : "") << "{\"name\": " << jsonString(b.name)
            << ", \"channels\": " << b.channels << ", \"type\": " << jsonString(busType(b))
            << ", \"flags\": " << b.flags << "}";
    }
    out << "]";
}

std::string platformsText(const EditorReport& e) {
    std::string text;
    if (e.x11) text += kPlatformTypeX11EmbedWindowID;
    if (e.hwnd) text += std::string(text.empty() ? "" : ", ") + kPlatformTypeHWND;
    return text.empty() ? "none" : text;
}

int mainChannels(const std::vector<Vst3BusInfo>& buses) {
    return buses.empty() ? 0 : buses.front().channels;
}

void printHuman(std::ostringstream& out, const ClassReport& r) {
    const Vst3ClassInfo& c = r.info;
    out << "id:               " << c.cidText << "\n"
        << "name:             " << c.name << "\n"
        << "vendor:           " << c.vendor << "\n"
        << "version:          " << c.version << "\n"
        << "sdk version:      " << c.sdkVersion << "\n"
        << "subcategories:    " << c.subCategories << "\n"
        << "class flags:      " << c.classFlags << "\n"
        << "controller:       " << controllerText(r.controller) << "\n";
    printBuses(out, "audio inputs:     ", r.audioIn);
    printBuses(out, "audio outputs:    ", r.audioOut);
    printBuses(out, "event inputs:     ", r.eventIn);
    printBuses(out, "event outputs:    ", r.eventOut);
    out << "parameters:       " << r.parameters << "\n"
        << "editor:           ";
    if (r.hasEditor) {
        out << "embedded " << platformsText(r.editor) << "; ";
        if (r.editor.hasSize) {
            out << r.editor.width << " x " << r.editor.height;
        } else {
            out << "size not reported";
        }
        out << (r.editor.resizable ? ", resizable" : ", fixed size") << "\n";
    } else {
        out << "none\n";
    }
    out << "latency:          " << r.latency << " frames (active at "
        << static_cast<int>(kProbeRate) << " Hz)\n"
        << "tail:             " << r.tail << " frames\n";
}

// One processor class as a JSON object, with the names of the other probes' fields where
// they apply (effectName, vendor, numInputs, numOutputs, initialDelay, editor).
void printJson(std::ostringstream& out, const ClassReport& r) {
    const Vst3ClassInfo& c = r.info;
    out << "    {\n"
        << "      \"id\": " << jsonString(c.cidText) << ",\n"
        << "      \"effectName\": " << jsonString(c.name) << ",\n"
        << "      \"vendor\": " << jsonString(c.vendor) << ",\n"
        << "      \"version\": " << jsonString(c.version) << ",\n"
        << "      \"sdkVersion\": " << jsonString(c.sdkVersion) << ",\n"
        << "      \"subCategories\": " << jsonString(c.subCategories) << ",\n"
        << "      \"classFlags\": " << c.classFlags << ",\n"
        << "      \"controller\": " << controllerJson(r.controller) << ",\n"
        << "      \"numInputs\": " << mainChannels(r.audioIn) << ",\n"
        << "      \"numOutputs\": " << mainChannels(r.audioOut) << ",\n"
        << "      \"audioInputs\": ";
    printBusesJson(out, r.audioIn);
    out << ",\n      \"audioOutputs\": ";
    printBusesJson(out, r.audioOut);
    out << ",\n      \"eventInputs\": ";
    printBusesJson(out, r.eventIn);
    out << ",\n      \"eventOutputs\": ";
    printBusesJson(out, r.eventOut);
    out << ",\n      \"parameters\": " << r.parameters << ",\n"
        << "      \"initialDelay\": " << r.latency << ",\n"
        << "      \"tail\": " << r.tail << ",\n"
        << "      \"editor\": ";
    if (!r.hasEditor) {
        out << "null";
    } else {
        out << "{\"x11\": " << (r.editor.x11 ? "true" : "false")
            << ", \"hwnd\": " << (r.editor.hwnd ? "true" : "false")
            << ", \"resizable\": " << (r.editor.resizable ? "true" : "false");
        if (r.editor.hasSize) {
            out << ", \"width\": " << r.editor.width << ", \"height\": " << r.editor.height;
        }
        out << "}";
    }
    out << "\n    }";
}

}  // namespace

std::string probeVst3(const std::string& path, bool json) {
    std::ostringstream out;
    // The host's objects outlive the module: a plug-in may keep references to them until it
    // is unloaded.
    Vst3HostObjects host;
    Vst3Module module(path);
    const Vst3FactoryInfo factory = module.factoryInfo();
    const std::vector<Vst3ClassInfo> classes = module.classes();
    std::vector<ClassReport> reports;
    for (const Vst3ClassInfo& c : classes) {
        if (c.category == kVstAudioEffectClass) reports.push_back(probeClass(module, c, host));
    }
    const std::string entry = module.entryName().empty() ? "none" : module.entryName();
    if (json) {
        out << "{\n"
            << "  \"path\": " << jsonString(path) << ",\n"
            << "  \"binary\": " << jsonString(module.binaryPath()) << ",\n"
            << "  \"entry\": " << jsonString(entry) << ",\n"
            << "  \"factory\": {\"vendor\": " << jsonString(factory.vendor)
            << ", \"url\": " << jsonString(factory.url)
            << ", \"email\": " << jsonString(factory.email) << ", \"flags\": " << factory.flags
            << "},\n"
            << "  \"classes\": [";
        for (std::size_t i = 0; i < classes.size(); ++i) {
            out << (i ? ", " : "") << "{\"id\": " << jsonString(classes[i].cidText)
                << ", \"category\": " << jsonString(classes[i].category)
                << ", \"name\": " << jsonString(classes[i].name) << "}";
        }
        out << "],\n  \"plugins\": [";
        for (std::size_t i = 0; i < reports.size(); ++i) {
            out << (i ? ",\n" : "\n");
            printJson(out, reports[i]);
        }
        out << (reports.empty() ? "]\n}\n" : "\n  ]\n}\n");
    } else {
        out << "plug-in:          " << path << " (entry " << entry << ", VST 3)\n"
            << "binary:           " << module.binaryPath() << "\n"
            << "factory vendor:   " << factory.vendor << "\n"
            << "factory url:      " << factory.url << "\n"
            << "classes:          " << classes.size() << "\n";
        for (const Vst3ClassInfo& c : classes) {
            out << "  " << c.cidText << " \"" << c.name << "\" (" << c.category << ")\n";
        }
        out << "plug-ins in file: " << reports.size() << "\n";
        for (const ClassReport& report : reports) {
            out << "\n";
            printHuman(out, report);
        }
    }
    return out.str();
}

}  // namespace cqhost
