// Loading and unloading a plug-in on Linux: the shared library is opened with dlopen and its
// entry found with dlsym. Main thread only.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/host_error.h"
#include "formats/vst2/plugin_host.h"

namespace cqhost {

PluginHost::PluginHost(const std::string& libraryPath, const BeforeEntry& beforeEntry)
    : path_(libraryPath) {
    struct stat info {};
    if (::stat(libraryPath.c_str(), &info) != 0) {
        throw HostError("cannot open plug-in " + libraryPath + ": " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw HostError("plug-in " + libraryPath + " is not a regular file");
    }
    const auto slash = libraryPath.rfind('/');
    directory_ = slash == std::string::npos ? "." : libraryPath.substr(0, slash);
    // dlopen searches the library path for names without a slash; a user means the file.
    const std::string openPath = slash == std::string::npos ? "./" + libraryPath : libraryPath;

    void* library = ::dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        throw HostError("cannot load plug-in " + libraryPath + ": " +
                        (reason != nullptr ? reason : "unknown reason"));
    }
    startFrom(library,
              {[](void* opened, const char* name) { return ::dlsym(opened, name); },
               [](void* opened) { ::dlclose(opened); }},
              beforeEntry);
}

PluginHost::~PluginHost() {
    closeEffect();
    if (library_ != nullptr) ::dlclose(library_);
}

}  // namespace cqhost
