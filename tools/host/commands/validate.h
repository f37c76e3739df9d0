// cqscope-host validate: a battery of host-side checks that any plug-in should survive, each
// format's own (for a VST 2.x effect: lifecycle orders, every opcode with safe arguments,
// sample rates and block sizes, hostile samples, MIDI floods, editor cycles, audio and editor
// threads together; for a CLAP plug-in: its life cycle, audio and events).
//
// Each check runs in a child process of its own, so a plug-in that crashes or hangs in one
// check is reported as that check's failure and the remaining checks still run. The parent
// never loads the plug-in. The runner is commands/validate.cpp; each format's checks are in its
// folder (formats/format_checks.h says which), each family in a file of its own ending in its
// list of checks. Main thread of the program only; the checks start their own audio threads
// where they need one.
#pragma once

#include <cstdint>
#include <string>

namespace cqhost {

struct ValidateOptions {
    std::string plugin;
    int strictness = 5;        // 1 (quick) to 10 (longest runs, most repetitions)
    std::uint64_t seed = 1;    // seeds every random signal and event list
    bool analyser = false;     // force the analyser checks (bit-exact pass-through, Hold)
    bool inProcess = false;    // run checks without a child process (for debuggers)
    int timeoutSeconds = 900;  // a check still running after this is killed and fails
};

// Prints one line per check and a summary on stdout; returns 0 when no check failed, 1 else.
int runValidate(const ValidateOptions& options);

}  // namespace cqhost
