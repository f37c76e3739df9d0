// The body of the exported entry (VSTPluginMain and main): asks the host for its version and
// builds one MyVST. Kept in the static core so that tests can call it directly.
//
// Threads: whichever host thread loads the library and calls the entry.
#pragma once

#include "frame/host_interface.h"

// Answers the new effect's record, or null when the callback is null, the host answers 0 to
// the version query (opcode 1), or memory runs out while the effect is built (then whatever
// was built is released). No exception leaves this function.
AEffect* createCqscopeEffect(audioMasterCallback audioMaster) noexcept;
