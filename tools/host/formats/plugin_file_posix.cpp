#include "formats/plugin_file_posix.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/host_error.h"

namespace cqhost {

void* loadPluginFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw HostError("cannot open plug-in " + path + ": " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) throw HostError("plug-in " + path + " is not a regular file");
    // dlopen searches the library path for names without a slash; a user means the file.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = ::dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        throw HostError("cannot load plug-in " + path + ": " +
                        (reason != nullptr ? reason : "unknown reason"));
    }
    return library;
}

void* pluginFileSymbol(void* library, const char* name) {
    return ::dlsym(library, name);
}

void unloadPluginFile(void* library) {
    ::dlclose(library);
}

}  // namespace cqhost
