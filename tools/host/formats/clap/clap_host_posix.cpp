// The system's part of the CLAP host on Linux: loading a .clap file (formats/plugin_file_posix.h),
// recognising one, and polling the file descriptors a plug-in registered. Main thread only.
#include <dlfcn.h>
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/host_error.h"
#include "formats/clap/clap_host.h"
#include "formats/plugin_file_posix.h"

namespace cqhost {

bool isClapPlugin(const std::string& path) {
    constexpr const char kSuffix[] = ".clap";
    constexpr std::size_t kSuffixLength = sizeof kSuffix - 1;
    if (path.size() > kSuffixLength &&
        path.compare(path.size() - kSuffixLength, kSuffixLength, kSuffix) == 0) {
        return true;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    // Lazy binding: nothing of the library runs but its constructors, and it is unloaded again.
    void* library = ::dlopen(openPath.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) return false;
    const bool clap = ::dlsym(library, "clap_entry") != nullptr &&
                      ::dlsym(library, "VSTPluginMain") == nullptr &&
                      ::dlsym(library, "main") == nullptr;
    ::dlclose(library);
    return clap;
}

ClapLibrary::ClapLibrary(const std::string& path, const BeforeEntry& beforeEntry) : path_(path) {
    startFrom(loadPluginFile(path), {pluginFileSymbol, unloadPluginFile}, beforeEntry);
}

const bool ClapPlugin::kPollsDescriptors = true;

void ClapPlugin::serviceDescriptors() {
    if (descriptors_.empty()) return;
    std::vector<pollfd> polled;
    for (const Descriptor& d : descriptors_) {
        short events = 0;
        if (d.flags & CLAP_POSIX_FD_READ) events |= POLLIN;
        if (d.flags & CLAP_POSIX_FD_WRITE) events |= POLLOUT;
        polled.push_back({d.fd, events, 0});
    }
    if (::poll(polled.data(), polled.size(), 0) <= 0) return;
    const auto* fdExt =
        static_cast<const clap_plugin_posix_fd_support*>(extension(CLAP_EXT_POSIX_FD_SUPPORT));
    if (fdExt == nullptr) return;
    for (const pollfd& p : polled) {
        std::uint32_t flags = 0;
        if (p.revents & POLLIN) flags |= CLAP_POSIX_FD_READ;
        if (p.revents & POLLOUT) flags |= CLAP_POSIX_FD_WRITE;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) flags |= CLAP_POSIX_FD_ERROR;
        // Only for the mask it asked for, and only while still registered (an earlier on_fd
        // may have unregistered it).
        const bool stillRegistered =
            std::any_of(descriptors_.begin(), descriptors_.end(),
                        [&p](const Descriptor& d) { return d.fd == p.fd; });
        if (flags != 0 && stillRegistered) fdExt->on_fd(plugin_, p.fd, flags);
    }
}

}  // namespace cqhost
