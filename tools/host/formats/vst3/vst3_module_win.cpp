// The system's part of the VST 3 host on Windows: loading a module's DLL
// (formats/plugin_file_win.h) and its optional InitDll and ExitDll. A plug-in's windows live on
// the host's message loop, so the run loop has no descriptors to watch. Main thread only.
#include "common/host_error.h"
#include "formats/plugin_file_win.h"
#include "formats/vst3/vst3_host_objects.h"
#include "formats/vst3/vst3_module.h"

namespace cqhost {

void Vst3Module::load() {
    library_ = loadPluginFile(binaryPath_);
}

void Vst3Module::enter() {
    if (auto init = reinterpret_cast<vst3::InitModuleFunc>(symbol(vst3::kInitModuleName))) {
        entryName_ = vst3::kInitModuleName;
        if (!init()) throw HostError("plug-in " + path_ + " refused to start (InitDll)");
    }
    entered_ = true;
}

void* Vst3Module::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library_), name));
}

void Vst3Module::exitAndUnload() {
    factory_.reset();
    if (library_ == nullptr) return;
    if (entered_) {
        if (auto exit = reinterpret_cast<vst3::ExitModuleFunc>(symbol(vst3::kExitModuleName))) {
            exit();
        }
    }
    entered_ = false;
    FreeLibrary(static_cast<HMODULE>(library_));
    library_ = nullptr;
}

std::vector<int> Vst3RunLoop::readyDescriptors() const {
    return {};
}

}  // namespace cqhost
