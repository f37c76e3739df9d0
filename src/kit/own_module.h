// Which module a shell is: the shared library (or program) its code was linked into. A shell
// registers the display's window class and creates its windows under this handle, so that
// another module's class of the same name can never take our windows' procedure (and leave
// them calling freed code once that module is unloaded).
//
// Threads: any; nothing is cached.
#pragma once

#include "platform/win32.h"

namespace cqscope {

// The module that holds `address` (code or data of a loaded module): on Windows its module
// handle; on Linux the load address of the shared object, or the window library's handle of
// the main module (GetModuleHandleA(nullptr)) for an address inside the program itself. Null
// when no loaded module holds `address`.
HINSTANCE moduleContaining(const void* address);

// The module this code is linked into (the kit is a static library, so the module of the
// shell that links it): moduleContaining of an address of its own.
HINSTANCE ownModule();

}  // namespace cqscope
