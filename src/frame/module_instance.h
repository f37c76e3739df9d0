// The library's module instance handle, recorded when the library is loaded. The editor
// registers its window class and creates its windows under it.
//
// Threads: written once by the loader's notification, before any entry call.
#pragma once

// The module handle (HINSTANCE on Windows, the load address of the library on Linux), or null
// before the load notification.
extern void* moduleInstance;

// The load/unload notification's work: records `instance` and answers 1 (success) for every
// reason.
int recordModuleInstance(void* instance) noexcept;
