// Finds and opens the video module (video_encoder.h): beside the program in a build tree, in
// <prefix>/lib/cqscope when installed. Render thread.
#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "common/host_error.h"
#include "common/program_files.h"
#include "render/video_encoder.h"

namespace cqhost {
namespace {

// The module's entry, looked up once; the module stays loaded until the program ends, since
// what it made (encoders, encoded sound) is freed through its code.
OpenVideoEncoderEntry videoModuleEntry() {
    static std::once_flag once;
    static OpenVideoEncoderEntry entry = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        const ProgramFile file = programFile("cqscope", kVideoModuleName);
        const std::string path = file.path();
        if (::access(path.c_str(), F_OK) != 0) {
            failure = std::string(kVideoModuleName) + " is missing (looked for " + file.beside +
                      " and " + file.installed + ")";
            return;
        }
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            failure = ::dlerror();
            return;
        }
        entry = reinterpret_cast<OpenVideoEncoderEntry>(::dlsym(module, kOpenVideoEncoderEntry));
        if (entry == nullptr) failure = path + " has no entry " + kOpenVideoEncoderEntry;
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
