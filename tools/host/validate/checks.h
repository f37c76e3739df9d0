// What every family of validate's checks shares: what the first check learned about the
// plug-in, how a check fails or is skipped, the progress steps that name where a crash
// happened, and the lists of checks of each family, in the order they run.
//
// A check runs on the main thread of a child process of its own (runner.cpp); it loads the
// plug-in itself and throws CheckFailure or CheckSkipped, or answers its pass detail.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cqhost {
class PluginHost;  // formats/vst2/plugin_host.h
}  // namespace cqhost

namespace cqhost::validation {

class OpenEditor;  // editor_rig.h
struct Subject;

// What validate expects of an effect it knows, beyond what every effect must do. The generic
// checks consult it at fixed points and know no effect by name; for an effect validate does
// not know, every expectation is empty. The analyser's are in analyser_checks.cpp.
struct Expectations {
    bool passThrough = false;     // each output equals its input, bit for bit
    bool takesAnyOpcode = false;  // safe with opcodes the interface gives no meaning, and an
                                  // empty chunk
    void (*checkRecord)(PluginHost& host) = nullptr;   // after the generic record checks
    void (*checkAnswers)(PluginHost& host) = nullptr;  // after the opcode sweep
    // Event lists beyond what hosts promise, sent after the MIDI floods; answers what they were.
    const char* (*sendOddEventLists)(PluginHost& host) = nullptr;
    // The editor's own control: its check, a click on it, and the pixels that show its state.
    std::string (*checkEditorControl)(const Subject& subject) = nullptr;
    void (*clickControl)(OpenEditor& editor) = nullptr;
    std::vector<std::uint32_t> (*controlPixels)(OpenEditor& editor) = nullptr;
};

// What the first check learns about the plug-in, handed to every later check.
struct Subject {
    std::string path;
    int strictness = 5;
    std::uint64_t seed = 1;
    int timeoutSeconds = 900;
    bool analyser = false;        // cqscope, known by its unique ID or forced with --analyser
    bool platformEditor = false;  // an editor drawn through our platform library
    bool receivesMidi = false;
    bool programChunks = false;
    bool canReplace = false;
    int numInputs = 0;
    int numOutputs = 0;
    int numParams = 0;
    int numPrograms = 0;

    // What is expected of this effect beyond what every effect must do.
    const Expectations& expect() const;
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
