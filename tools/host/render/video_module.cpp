// Finds and opens the video module (video_encoder.h): beside the program in a build tree, in
// <prefix>/lib/cqscope when installed. Render thread.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "common/host_error.h"
#include "render/video_encoder.h"

namespace cqhost {
namespace {

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string program(path, static_cast<size_t>(length));
    const auto slash = program.rfind('/');
    return slash == std::string::npos ? "." : program.substr(0, slash);
}

// The module's entry, looked up once; the module stays loaded until the program ends, since
// what it made (encoders, encoded sound) is freed through its code.
OpenVideoEncoderEntry videoModuleEntry() {
    static std::once_flag once;
    static OpenVideoEncoderEntry entry = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        const std::string folder = programFolder();
        const std::string candidates[] = {folder + "/" + kVideoModuleName,
                                          folder + "/../lib/cqscope/" + kVideoModuleName};
        for (const std::string& candidate : candidates) {
            if (::access(candidate.c_str(), F_OK) != 0) continue;
            void* module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (module == nullptr) {
                failure = ::dlerror();
                return;
            }
            entry =
                reinterpret_cast<OpenVideoEncoderEntry>(::dlsym(module, kOpenVideoEncoderEntry));
            if (entry == nullptr) failure = candidate + " has no entry " + kOpenVideoEncoderEntry;
            return;
        }
        failure = std::string(kVideoModuleName) + " is missing (looked for " + candidates[0] +
                  " and " + candidates[1] + ")";
    });
    if (entry == nullptr) throw HostError("cannot write videos: " + failure);
    return entry;
}

}  // namespace

std::unique_ptr<VideoEncoder> openVideoEncoder(const std::string& file, const std::string& path,
                                               const VideoFormat& format) {
    return std::unique_ptr<VideoEncoder>(videoModuleEntry()(file, path, format));
}

}  // namespace cqhost
