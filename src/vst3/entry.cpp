// The module's entry points and its factory, which makes the one plug-in class (plugin.h).
//
// The factory is static: GetPluginFactory hands out a reference each call and the count is
// kept for balance, but the object lives as long as the module. ModuleEntry and ModuleExit
// (Linux) are counted under a lock, as hosts may repeat them; the module keeps no state of its
// own, so the count is all they change. Windows has DllMain, and InitDll/ExitDll only answer.
//
// Threads: the entry points on the host's UI thread; the factory's calls on any thread.
#include <cstring>
#include <mutex>

#include "vst3/plugin.h"
#include "vst3/unknown.h"
#include "vst3/vst3_interface.h"

namespace cqscope::vst3plugin {
namespace {

using namespace vst3;

void copyText(char* out, std::size_t size, const char* text) {
    std::strncpy(out, text, size - 1);
    out[size - 1] = '\0';
}

void copyUtf16(char16* out, std::size_t size, const char* text) {
    std::size_t i = 0;
    for (; text[i] != '\0' && i + 1 < size; ++i) out[i] = static_cast<char16>(text[i]);
    out[i] = 0;
}

// The fields every form of the class info shares (ID, cardinality, category), in a zeroed
// record; false for an index past the one class or no record.
template <class Info>
bool startClassInfo(int32 index, Info* info) {
    if (index != 0 || info == nullptr) return false;
    *info = {};
    std::memcpy(info->cid, kClassId.bytes, sizeof info->cid);
    info->cardinality = PClassInfo::kManyInstances;
    copyText(info->category, sizeof info->category, kVstAudioEffectClass);
    return true;
}

class Factory final : public IPluginFactory3 {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        const bool known = isUid(iid, FUnknown::iid) || isUid(iid, IPluginFactory::iid) ||
                           isUid(iid, IPluginFactory2::iid) || isUid(iid, IPluginFactory3::iid);
        return answerQuery(obj, known ? this : nullptr, references_);
    }
    // Counted for balance only: the factory lives as long as the module.
    uint32 PLUGIN_API addRef() override { return references_.add(); }
    uint32 PLUGIN_API release() override { return references_.drop(); }

    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) return kInvalidArgument;
        *info = {};
        copyText(info->vendor, sizeof info->vendor, "cqscope");
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }
    int32 PLUGIN_API countClasses() override { return 1; }
    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) override {
        if (!startClassInfo(index, info)) return kInvalidArgument;
        copyText(info->name, sizeof info->name, kClassName);
        return kResultOk;
    }
    tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) override {
        if (!startClassInfo(index, info)) return kInvalidArgument;
        copyText(info->name, sizeof info->name, kClassName);
        copyText(info->subCategories, sizeof info->subCategories, kFxAnalyzer);
        copyText(info->vendor, sizeof info->vendor, "cqscope");
        copyText(info->version, sizeof info->version, CQSCOPE_VST3_VERSION);
        copyText(info->sdkVersion, sizeof info->sdkVersion, kVstVersionString);
        return kResultOk;
    }
    tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) override {
        if (!startClassInfo(index, info)) return kInvalidArgument;
        copyUtf16(info->name, 64, kClassName);
        copyText(info->subCategories, sizeof info->subCategories, kFxAnalyzer);
        copyUtf16(info->vendor, 64, "cqscope");
        copyUtf16(info->version, 64, CQSCOPE_VST3_VERSION);
        copyUtf16(info->sdkVersion, 64, kVstVersionString);
        return kResultOk;
    }
    // `classId` and `iid` point at 16 raw bytes each.
    tresult PLUGIN_API createInstance(FIDString classId, FIDString iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        *obj = nullptr;
        if (iid == nullptr || !isUid(classId, kClassId)) return kNoInterface;
        IComponent* plugin = createPlugin();
        if (plugin == nullptr) return kOutOfMemory;
        const tresult result = plugin->queryInterface(iid, obj);
        plugin->release();  // the caller's reference is the one queryInterface added
        return result;
    }
    tresult PLUGIN_API setHostContext(FUnknown*) override { return kResultOk; }

  private:
    ReferenceCount references_;  // one more than handed out
};

Factory factory;

#if !defined(_WIN32)
std::mutex entryLock;
int entries = 0;
#endif

}  // namespace
}  // namespace cqscope::vst3plugin

extern "C" {

VST3_EXPORT vst3::IPluginFactory* PLUGIN_API GetPluginFactory() {
    cqscope::vst3plugin::factory.addRef();
    return &cqscope::vst3plugin::factory;
}

#if defined(_WIN32)
VST3_EXPORT bool InitDll() {
    return true;
}
VST3_EXPORT bool ExitDll() {
    return true;
}
#else
VST3_EXPORT bool ModuleEntry(void*) {
    const std::lock_guard lock(cqscope::vst3plugin::entryLock);
    ++cqscope::vst3plugin::entries;
    return true;
}
// An exit without an entry answers false.
VST3_EXPORT bool ModuleExit() {
    const std::lock_guard lock(cqscope::vst3plugin::entryLock);
    if (cqscope::vst3plugin::entries == 0) return false;
    --cqscope::vst3plugin::entries;
    return true;
}
#endif
}
