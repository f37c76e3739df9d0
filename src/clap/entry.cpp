// The library's entry and its plug-in factory. init and deinit are counted under a lock (hosts
// may repeat either); the library keeps no state of its own, so the count is all they change.
//
// Threads: init and deinit on any thread, never concurrently with any other call into the
// library; get_factory and the factory's three calls on any thread, concurrently.
#include <cstring>
#include <mutex>

#include "clap/clap_interface.h"
#include "clap/plugin.h"

namespace cqscope::clap {
namespace {

std::mutex initLock;
int initCount = 0;

bool CLAP_ABI entryInit(const char*) {
    const std::lock_guard lock(initLock);
    ++initCount;
    return true;
}

void CLAP_ABI entryDeinit() {
    const std::lock_guard lock(initLock);
    if (initCount > 0) --initCount;
}

std::uint32_t CLAP_ABI pluginCount(const clap_plugin_factory*) {
    return 1;
}

const clap_plugin_descriptor* CLAP_ABI descriptorAt(const clap_plugin_factory*,
                                                    std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin* CLAP_ABI create(const clap_plugin_factory*, const clap_host* host,
                                   const char* pluginId) {
    if (host == nullptr || pluginId == nullptr || std::strcmp(pluginId, kPluginId) != 0 ||
        !clap_version_is_compatible(host->clap_version))
        return nullptr;
    return createPlugin(host);
}

const clap_plugin_factory factory = {pluginCount, descriptorAt, create};

const void* CLAP_ABI getFactory(const char* factoryId) {
    return factoryId != nullptr && std::strcmp(factoryId, CLAP_PLUGIN_FACTORY_ID) == 0 ? &factory
                                                                                       : nullptr;
}

}  // namespace
}  // namespace cqscope::clap

// A namespace-scope const object has internal linkage unless declared extern.
extern "C" {
CLAP_EXPORT extern const clap_plugin_entry clap_entry;
}
const clap_plugin_entry clap_entry = {CLAP_VERSION, cqscope::clap::entryInit,
                                      cqscope::clap::entryDeinit, cqscope::clap::getFactory};
