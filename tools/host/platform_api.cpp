#include "platform_api.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace cqhost {
namespace {

constexpr const char* kLibraryName = "libcqscope-win32.so";

// The library this program was linked with, or else the one beside it, loaded globally so
// that a plug-in that needs it finds this same copy.
void* platformLibrary() {
    if (void* self = ::dlopen(kLibraryName, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL)) return self;
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return nullptr;
    std::string path(buffer.data(), static_cast<size_t>(length));
    path = path.substr(0, path.rfind('/') + 1) + kLibraryName;
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
}

template <typename Function>
void resolve(void* library, const char* name, Function& function, std::string& missing) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(name);
}

}  // namespace

const PlatformApi* findPlatformApi(std::string* problem) {
    static PlatformApi api{};
    static bool resolved = false;
    if (resolved) return &api;
    void* library = platformLibrary();
    if (library == nullptr) {
        if (problem != nullptr) {
            *problem = std::string("render needs the platform library ") + kLibraryName +
                       ", which was not found beside cqscope-host";
        }
        return nullptr;
    }
    std::string missing;
    resolve(library, "cqpCreateHostWindow", api.createHostWindow, missing);
    resolve(library, "cqpSetManualClock", api.setManualClock, missing);
    resolve(library, "cqpAdvanceClock", api.advanceClock, missing);
    resolve(library, "cqpReadWindowPixels", api.readWindowPixels, missing);
    resolve(library, "cqpPumpMessages", api.pumpMessages, missing);
    resolve(library, "cqpClick", api.click, missing);
    resolve(library, "DestroyWindow", api.destroyWindow, missing);
    if (!missing.empty()) {
        if (problem != nullptr) {
            *problem = std::string("the platform library ") + kLibraryName +
                       " lacks what render needs: " + missing;
        }
        return nullptr;
    }
    resolved = true;
    return &api;
}

}  // namespace cqhost
