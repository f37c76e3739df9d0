#include "kit/own_module.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <sys/auxv.h>
#endif

namespace cqscope {

#if defined(_WIN32)

HINSTANCE moduleContaining(const void* address) {
    // The reference count is left as it is: the caller's own module stays loaded while its
    // code runs.
    HMODULE module = nullptr;
    if (GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module) == 0)
        return nullptr;
    return module;
}

#else

HINSTANCE moduleContaining(const void* address) {
    Dl_info found{};
    if (dladdr(address, &found) == 0) return nullptr;
    // The program's own program headers lie in the main module: code linked into a program
    // rather than loaded as a library belongs to the main module, as on Windows.
    Dl_info program{};
    const auto* programHeaders = reinterpret_cast<const void*>(getauxval(AT_PHDR));
    if (programHeaders != nullptr && dladdr(programHeaders, &program) != 0 &&
        program.dli_fbase == found.dli_fbase)
        return GetModuleHandleA(nullptr);
    return static_cast<HINSTANCE>(found.dli_fbase);
}

#endif

HINSTANCE ownModule() {
    return moduleContaining(reinterpret_cast<const void*>(&ownModule));
}

}  // namespace cqscope
