// Loading and unloading a plug-in on Linux: the shared library is opened with dlopen and its
// entry found with dlsym. Main thread only.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "host_error.h"
#include "plugin_host.h"

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

    library_ = ::dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* reason = ::dlerror();
        throw HostError("cannot load plug-in " + libraryPath + ": " +
                        (reason != nullptr ? reason : "unknown reason"));
    }
    auto entry = reinterpret_cast<Entry>(::dlsym(library_, "VSTPluginMain"));
    entryName_ = "VSTPluginMain";
    if (entry == nullptr) {
        entry = reinterpret_cast<Entry>(::dlsym(library_, "main"));
        entryName_ = "main";
    }
    if (entry == nullptr) {
        ::dlclose(library_);
        throw HostError("plug-in " + libraryPath +
                        " exports neither VSTPluginMain nor main: not a VST 2.x effect");
    }

    if (beforeEntry) beforeEntry(library_);
    AEffect* created = callEntry(entry);
    if (created == nullptr) {
        ::dlclose(library_);
        throw HostError("plug-in " + libraryPath + ": its entry " + entryName_ +
                        " returned no effect");
    }
    if (created->magic != kEffectMagic || created->dispatcher == nullptr) {
        // A record without the magic is not ours to close; leave the library loaded rather
        // than unmap code the record may still point into.
        throw HostError("plug-in " + libraryPath + ": its entry " + entryName_ +
                        " returned a record that is not a VST 2.x effect");
    }
    adopt(created);
}

PluginHost::~PluginHost() {
    closeEffect();
    if (library_ != nullptr) ::dlclose(library_);
}

}  // namespace cqhost
