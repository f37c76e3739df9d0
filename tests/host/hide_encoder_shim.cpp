// Preloaded into cqscope-host by the video tests: hides the FFmpeg encoder named by
// CQHOST_HIDDEN_ENCODER, as a build of FFmpeg without it would, and passes every other
// lookup to the real library.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

extern "C" __attribute__((visibility("default"))) const void* avcodec_find_encoder_by_name(
    const char* name) {
    using Lookup = const void* (*)(const char*);
    static const auto real =
        reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "avcodec_find_encoder_by_name"));
    const char* hidden = std::getenv("CQHOST_HIDDEN_ENCODER");
    if (hidden != nullptr && name != nullptr && std::strcmp(hidden, name) == 0) return nullptr;
    return real != nullptr ? real(name) : nullptr;
}
