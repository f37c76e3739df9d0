// The system-independent part of PluginHost: calls into the effect, the audio set-up, and the
// host callback with its answers. Linux and Windows hosts share it, so an effect sees the same
// host on both and probe output compares line for line.
#include "formats/vst2/plugin_host.h"

#include <algorithm>
#include <cstring>

#include "common/host_error.h"

namespace cqhost {
namespace {

// The host that is inside an entry call right now: the entry may call back before the
// record exists, and the record's address is known only once the entry returns.
PluginHost* hostBeingLoaded = nullptr;
std::map<AEffect*, PluginHost*> hostsByEffect;

// Version this host reports for itself (audioMasterVersion), and its vendor version.
constexpr VstIntPtr kHostVstVersion = 2400;
constexpr VstIntPtr kHostVendorVersion = 100;

// The process levels a host reports: user interface thread, and offline rendering.
constexpr VstIntPtr kProcessLevelUser = 1;
constexpr VstIntPtr kProcessLevelOffline = 4;

// Host can-do strings answered with 1; everything else is answered with 0 (not known).
constexpr const char* kHostCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "supplyIdle",
                                      "startStopProcess", "supportShell"};

// Hosts promise at most 64 characters of product and vendor text; 256 gives the effect
// room to overrun without touching anything else.
constexpr size_t kHostTextLimit = 64;
constexpr size_t kEffectTextBuffer = 256;

void copyText(void* destination, const char* text, size_t limit) {
    if (destination == nullptr) return;
    std::strncpy(static_cast<char*>(destination), text, limit - 1);
    static_cast<char*>(destination)[limit - 1] = '\0';
}

}  // namespace

void PluginHost::startFrom(void* library, const LibraryCalls& calls,
                           const BeforeEntry& beforeEntry) {
    auto entry = reinterpret_cast<Entry>(calls.symbol(library, "VSTPluginMain"));
    entryName_ = "VSTPluginMain";
    if (entry == nullptr) {
        entry = reinterpret_cast<Entry>(calls.symbol(library, "main"));
        entryName_ = "main";
    }
    if (entry == nullptr) {
        // A VST 3 module taken out of its bundle: say what it is and how to name it.
        const bool vst3 = calls.symbol(library, "GetPluginFactory") != nullptr;
        calls.unload(library);
        throw HostError("plug-in " + path_ + " exports neither VSTPluginMain nor main: " +
                        (vst3 ? "a VST 3 module (it exports GetPluginFactory); give its bundle "
                                "NAME.vst3 or the binary inside it"
                              : "not a VST 2.x effect"));
    }
    if (beforeEntry) beforeEntry(library);
    hostBeingLoaded = this;
    AEffect* created = entry(&PluginHost::hostCallback);
    hostBeingLoaded = nullptr;
    if (created == nullptr) {
        calls.unload(library);
        throw HostError("plug-in " + path_ + ": its entry " + entryName_ + " returned no effect");
    }
    if (created->magic != kEffectMagic || created->dispatcher == nullptr) {
        throw HostError("plug-in " + path_ + ": its entry " + entryName_ +
                        " returned a record that is not a VST 2.x effect");
    }
    library_ = library;
    effect_ = created;
    hostsByEffect[effect_] = this;
}

void PluginHost::closeEffect() {
    stop();
    if (effect_ == nullptr) return;
    // effClose is the last call: the effect deletes its record in it.
    dispatch(effClose);
    hostsByEffect.erase(effect_);
    effect_ = nullptr;
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
    PluginHost* host = nullptr;
    if (effect != nullptr) {
        auto found = hostsByEffect.find(effect);
        if (found != hostsByEffect.end()) host = found->second;
    }
    if (host == nullptr) host = hostBeingLoaded;
    if (host == nullptr) {
        // A call from an effect this host does not know (or after close): only the version
        // question has an answer that does not depend on the effect.
        return opcode == audioMasterVersion ? kHostVstVersion : 0;
    }
    host->record(opcode);
    return host->answer(opcode, index, value, ptr, opt);
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
