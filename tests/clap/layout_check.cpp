// Compiled, not run: the interface header's static_asserts pin every record's size and field
// offsets, so this unit compiles only where the layouts match the interface's (Linux x86-64
// here; 32- and 64-bit Windows through the MinGW cross compilers).
#include "clap/clap_interface.h"

// The calling convention is part of each function pointer's type on 32-bit Windows.
static_assert(sizeof(clap_plugin_entry::init) == sizeof(void*));
