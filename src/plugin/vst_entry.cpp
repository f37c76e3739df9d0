// The module's exports: one entry under the two names hosts look for, VSTPluginMain and main,
// and the load notification that records the module handle. On Linux the module also exports
// the entry to its own windows for cqscope-host (src/platform/host_calls.cpp). Everything else
// lives in the static cores and stays hidden.
#include "frame/module_instance.h"
#include "kit/own_module.h"
#include "plugin/plugin_entry.h"

#if defined(_WIN32)
#include <windows.h>
#define CQSCOPE_EXPORT __declspec(dllexport)
#else
#define CQSCOPE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

CQSCOPE_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    return createCqscopeEffect(audioMaster);
}

#if !defined(_WIN32)
// The second name. The assembler label gives the ELF symbol "main" without defining a C main;
// on Windows the module-definition file exports main as an alias of VSTPluginMain.
CQSCOPE_EXPORT AEffect* cqscopeMainEntry(audioMasterCallback audioMaster) __asm__("main");
CQSCOPE_EXPORT AEffect* cqscopeMainEntry(audioMasterCallback audioMaster) {
    return createCqscopeEffect(audioMaster);
}
#endif

}  // extern "C"

#if defined(_WIN32)
// C linkage, so that the C runtime's start-up code of the DLL finds and calls it (a C++ name
// would silently leave the runtime's empty default in its place).
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
    return recordModuleInstance(instance);
}
#else
namespace {
// Runs when the library is loaded: the library's load address stands for its module handle.
__attribute__((constructor)) void onLibraryLoaded() {
    recordModuleInstance(cqscope::ownModule());
}
}  // namespace
#endif
