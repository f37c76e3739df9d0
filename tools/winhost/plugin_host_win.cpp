// The Windows implementation of cqscope-host's PluginHost (tools/host/plugin_host.h): the
// plug-in is a DLL loaded with LoadLibraryExA and its entry found with GetProcAddress. The host
// callback answers exactly as the Linux implementation does, so that probe output, which both
// hosts print with the same code, compares line for line. Main thread only.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "host/host_error.h"
#include "host/plugin_host.h"

namespace cqhost {
namespace {

using EntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

// The host inside an entry call right now: the entry calls back before its record exists.
PluginHost* pluginBeingLoaded = nullptr;
std::map<AEffect*, PluginHost*> pluginsByEffect;

// The same answers as the Linux host.
constexpr VstIntPtr kHostVstVersion = 2400;
constexpr VstIntPtr kHostVendorVersion = 100;
constexpr VstIntPtr kProcessLevelUser = 1;
constexpr VstIntPtr kProcessLevelOffline = 4;
constexpr const char* kHostCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "supplyIdle",
                                      "startStopProcess", "supportShell"};
constexpr size_t kHostTextLimit = 64;
constexpr size_t kEffectTextBuffer = 256;

void copyText(void* destination, const char* text, size_t limit) {
    if (destination == nullptr) return;
    std::strncpy(static_cast<char*>(destination), text, limit - 1);
    static_cast<char*>(destination)[limit - 1] = '\0';
}

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text - 1, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) message = "error " + std::to_string(code);
    return message;
}

}  // namespace

PluginHost::PluginHost(const std::string& path) : path_(path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throw HostError("cannot open plug-in " + path + ": " + lastErrorText());
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        throw HostError("plug-in " + path + " is not a regular file");
    }
    const auto slash = path.find_last_of("/\\");
    directory_ = slash == std::string::npos ? "." : path.substr(0, slash);

    // The plug-in's own folder is searched for its dependencies, as hosts do.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        throw HostError("cannot load plug-in " + path + ": " + lastErrorText());
    }
    auto entry = reinterpret_cast<EntryProc>(
        reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")));
    entryName_ = "VSTPluginMain";
    if (entry == nullptr) {
        entry =
            reinterpret_cast<EntryProc>(reinterpret_cast<void*>(GetProcAddress(module, "main")));
        entryName_ = "main";
    }
    if (entry == nullptr) {
        FreeLibrary(module);
        throw HostError("plug-in " + path +
                        " exports neither VSTPluginMain nor main: not a VST 2.x effect");
    }
    pluginBeingLoaded = this;
    AEffect* created = entry(&PluginHost::hostCallback);
    pluginBeingLoaded = nullptr;
    if (created == nullptr) {
        FreeLibrary(module);
        throw HostError("plug-in " + path + ": its entry " + entryName_ + " returned no effect");
    }
    if (created->magic != kEffectMagic || created->dispatcher == nullptr) {
        // Not a record this host may close; the module stays loaded rather than unmapping
        // code the record may still point into.
        throw HostError("plug-in " + path + ": its entry " + entryName_ +
                        " returned a record that is not a VST 2.x effect");
    }
    library_ = module;
    effect_ = created;
    pluginsByEffect[effect_] = this;
}

PluginHost::~PluginHost() {
    stop();
    if (effect_ != nullptr) {
        dispatch(effClose);  // the effect deletes its record here
        pluginsByEffect.erase(effect_);
        effect_ = nullptr;
    }
    if (library_ != nullptr) FreeLibrary(static_cast<HMODULE>(library_));
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::dispatchText(VstInt32 opcode, VstInt32 index) {
    char buffer[kEffectTextBuffer] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[kEffectTextBuffer - 1] = '\0';
    return std::string(buffer);
}

void PluginHost::start(double sampleRate, int blockSize) {
    sampleRate_ = sampleRate;
    blockSize_ = blockSize;
    if (!opened_) {
        dispatch(effOpen);
        opened_ = true;
    }
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    dispatch(effSetBlockSize, 0, blockSize);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    started_ = true;
}

void PluginHost::stop() {
    if (!started_) return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    started_ = false;
}

void PluginHost::processReplacing(float** inputs, float** outputs, int frames) {
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

void PluginHost::record(VstInt32 opcode) {
    auto found = std::find_if(callbackLog_.begin(), callbackLog_.end(),
                              [opcode](const auto& entry) { return entry.first == opcode; });
    if (found == callbackLog_.end()) {
        callbackLog_.emplace_back(opcode, 1);
    } else {
        ++found->second;
    }
}

VstIntPtr VSTCALLBACK PluginHost::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                               VstIntPtr value, void* ptr, float opt) {
    PluginHost* plugin = nullptr;
    if (effect != nullptr) {
        auto found = pluginsByEffect.find(effect);
        if (found != pluginsByEffect.end()) plugin = found->second;
    }
    if (plugin == nullptr) plugin = pluginBeingLoaded;
    if (plugin == nullptr) return opcode == audioMasterVersion ? kHostVstVersion : 0;
    plugin->record(opcode);
    return plugin->answer(opcode, index, value, ptr, opt);
}

VstIntPtr PluginHost::answer(VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/, void* ptr,
                             float /*opt*/) {
    switch (opcode) {
        case audioMasterVersion:
            return kHostVstVersion;
        case audioMasterCurrentId:
            return effect_ != nullptr ? effect_->uniqueID : 0;
        case audioMasterWantMidi:
            return 1;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate_);
        case audioMasterGetBlockSize:
            return blockSize_;
        case audioMasterGetCurrentProcessLevel:
            return started_ ? kProcessLevelOffline : kProcessLevelUser;
        case audioMasterGetAutomationState:
            return 1;  // automation off
        case audioMasterGetVendorString:
            copyText(ptr, "cqscope", kHostTextLimit);
            return 1;
        case audioMasterGetProductString:
            copyText(ptr, "cqscope-host", kHostTextLimit);
            return 1;
        case audioMasterGetVendorVersion:
            return kHostVendorVersion;
        case audioMasterGetLanguage:
            return 1;  // English
        case audioMasterCanDo: {
            if (ptr == nullptr) return 0;
            const char* asked = static_cast<const char*>(ptr);
            for (const char* known : kHostCanDo) {
                if (std::strcmp(asked, known) == 0) return 1;
            }
            return 0;
        }
        case audioMasterGetDirectory:
            return reinterpret_cast<VstIntPtr>(directory_.c_str());
        default:
            return 0;
    }
}

}  // namespace cqhost
