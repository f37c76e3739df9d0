// The system's part of the VST 3 host on Linux: loading a module's binary
// (formats/plugin_file_posix.h), its ModuleEntry and ModuleExit, and polling the file
// descriptors an editor registered with the run loop. Main thread only.
#include <poll.h>

#include "common/host_error.h"
#include "formats/plugin_file_posix.h"
#include "formats/vst3/vst3_host_objects.h"
#include "formats/vst3/vst3_module.h"

namespace cqhost {

void Vst3Module::load() {
    library_ = loadPluginFile(binaryPath_);
}

// Both entries are required on Linux: a module without them is refused, as hosts do.
void Vst3Module::enter() {
    auto entry = reinterpret_cast<vst3::ModuleEntryFunc>(symbol(vst3::kModuleEntryName));
    if (entry == nullptr || symbol(vst3::kModuleExitName) == nullptr) {
        throw HostError("plug-in " + path_ + " is not a VST 3 module: it exports no " +
                        vst3::kModuleEntryName + " and " + vst3::kModuleExitName);
    }
    entryName_ = vst3::kModuleEntryName;
    if (!entry(library_)) throw HostError("plug-in " + path_ + " refused to start (ModuleEntry)");
    entered_ = true;
}

void* Vst3Module::symbol(const char* name) const {
    return pluginFileSymbol(library_, name);
}

void Vst3Module::exitAndUnload() {
    factory_.reset();
    if (library_ == nullptr) return;
    if (entered_) {
        if (auto exit = reinterpret_cast<vst3::ModuleExitFunc>(symbol(vst3::kModuleExitName))) {
            exit();
        }
    }
    entered_ = false;
    unloadPluginFile(library_);
    library_ = nullptr;
}

std::vector<int> Vst3RunLoop::readyDescriptors() const {
    std::vector<int> ready;
    if (descriptors_.empty()) return ready;
    std::vector<pollfd> polled;
    for (const Descriptor& d : descriptors_) polled.push_back({d.fd, POLLIN, 0});
    if (::poll(polled.data(), polled.size(), 0) <= 0) return ready;
    for (const pollfd& p : polled) {
        if (p.revents & (POLLIN | POLLERR | POLLHUP)) ready.push_back(p.fd);
    }
    return ready;
}

}  // namespace cqhost
