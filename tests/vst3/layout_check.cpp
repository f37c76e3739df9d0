// Compiled, not run: the VST 3 header's static_asserts pin every record's size and field
// offsets and every interface ID's bytes, so this unit compiles only where they match the
// interface's (Linux x86-64 here; 32- and 64-bit Windows through the MinGW cross compilers).
#include <type_traits>

#include "vst3/vst3_interface.h"

// The calling convention is part of each method's type: on 32-bit Windows a method without
// __stdcall would take `this` in a register and leave the arguments for the caller to pop.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(std::is_same_v<decltype(&vst3::FUnknown::addRef),
                             vst3::uint32 (__stdcall vst3::FUnknown::*)()>);
static_assert(std::is_same_v<vst3::GetFactoryProc, vst3::IPluginFactory*(__stdcall*)()>);
#endif
