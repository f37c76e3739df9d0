// A loaded VST 3 module: its binary found in the bundle, loaded, entered (ModuleEntry on
// Linux, InitDll on Windows) and its factory taken; on destruction the factory released, the
// module exited and unloaded, in that order. Made, used and destroyed on the main thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "formats/vst3/vst3_ptr.h"

namespace cqhost {

// Whether `path` names a VST 3 module: a bundle folder or a file whose name ends in ".vst3",
// or a bundle's binary named by itself (NAME.vst3/Contents/FOLDER/FILE). Never throws.
bool isVst3Module(const std::string& path);

// The binary to load for `path`: a bundle's NAME.vst3/Contents/<this system's folder>/NAME.so
// (Linux) or NAME.vst3 (Windows), or `path` itself when it is a file. Throws HostError when a
// bundle holds none for this system.
std::string vst3BinaryPath(const std::string& path);

// One class of the factory, from the richest record it gives.
struct Vst3ClassInfo {
    vst3::Uid cid{};
    std::string cidText;  // 32 hex digits, as hosts show it
    int cardinality = 0;
    std::string category, name, subCategories, vendor, version, sdkVersion;
    unsigned classFlags = 0;
    bool hasInfo2 = false;  // subCategories ... sdkVersion were given
};

struct Vst3FactoryInfo {
    std::string vendor, url, email;
    int flags = 0;
};

class Vst3Module {
  public:
    // `beforeEntry` gets the system's handle of the loaded binary before its entry runs.
    // Throws HostError with a one-line reason.
    explicit Vst3Module(const std::string& path,
                        const std::function<void(void* library)>& beforeEntry = {});
    ~Vst3Module();
    Vst3Module(const Vst3Module&) = delete;
    Vst3Module& operator=(const Vst3Module&) = delete;

    const std::string& path() const { return path_; }
    const std::string& binaryPath() const { return binaryPath_; }
    // The entry that was called: "ModuleEntry", "InitDll", or "" (none on Windows).
    const std::string& entryName() const { return entryName_; }
    vst3::IPluginFactory& factory() { return *factory_.get(); }
    Vst3FactoryInfo factoryInfo();
    std::vector<Vst3ClassInfo> classes();

  private:
    // Each system's own (vst3_module_posix.cpp, vst3_module_win.cpp).
    void load();
    void enter();
    void* symbol(const char* name) const;
    void exitAndUnload();

    std::string path_, binaryPath_, entryName_;
    void* library_ = nullptr;
    bool entered_ = false;
    Vst3Ptr<vst3::IPluginFactory> factory_;
};

}  // namespace cqhost
