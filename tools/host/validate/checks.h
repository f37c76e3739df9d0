// What every format's validate checks share: what the first check learned about the plug-in,
// how a check fails or is skipped, the progress steps that name where a crash happened, and
// what a format's suite of checks is (each format's checks are in its folder).
//
// A check runs on the main thread of a child process of its own (runner.cpp); it loads the
// plug-in itself and throws CheckFailure or CheckSkipped, or answers its pass detail.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cqhost::validation {

// What the first check learns about the plug-in, handed to every later check.
struct Subject {
    std::string path;
    int strictness = 5;
    std::uint64_t seed = 1;
    int timeoutSeconds = 900;
    // cqscope, known by its unique ID or forced with --analyser: it passes its input on, bit
    // for bit, in every format.
    bool analyser = false;
    bool platformEditor = false;  // an editor drawn through our platform library
    bool receivesMidi = false;
    bool programChunks = false;
    bool canReplace = false;
    int numInputs = 0;
    int numOutputs = 0;
    int numParams = 0;
    int numPrograms = 0;
};

// Failure and skip of one check, thrown from inside it.
struct CheckFailure {
    std::string reason;
};
struct CheckSkipped {
    std::string reason;
};

[[noreturn]] void fail(const std::string& reason);

struct Check {
    const char* name;
    std::function<std::string(const Subject&)> run;  // answers the pass detail
};

// In a child process, the pipe to the parent (set by the runner): each step announced goes
// there, so that a crash is reported with the step that was running. No-op without a pipe.
void setProgressPipe(int descriptor);
void step(const std::string& what);

// Skips the check when the plug-in cannot process audio.
void requireAudio(const Subject& subject);

std::string hex(long long value);

// The checks of one plug-in format (formats/format_checks.h says which format has which).
struct CheckSuite {
    // Run by the first check, in a child process: learns what the later checks need of the
    // plug-in at `subject.path` and answers it as the runner's description ("ARMEC" flags,
    // then inputs, outputs, parameters and programs; see the runner's parseDescription).
    std::string (*describe)(const Subject& subject, bool forceAnalyser);
    // The format's checks, in the order they run.
    std::vector<Check> (*checks)();
};

}  // namespace cqhost::validation
