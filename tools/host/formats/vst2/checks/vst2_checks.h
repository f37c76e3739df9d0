// validate's checks of a VST 2.x effect: what they share (loading the effect, its unique ID as
// text) and their families, each a list of checks in the order they run. Each check runs on
// the main thread of a child process of its own (commands/validate.cpp) and loads the effect
// itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/vst2/plugin_host.h"
#include "validate/checks.h"

namespace cqhost::validation {

class OpenEditor;  // editor_rig.h

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

// What is expected of the subject beyond what every effect must do.
const Expectations& expectationsFor(const Subject& subject);

std::unique_ptr<PluginHost> load(const Subject& subject);

// A unique ID as its four characters, '?' for those that are not printable.
std::string fourChars(VstInt32 id);

std::vector<Check> lifecycleChecks();
std::vector<Check> opcodeChecks();
std::vector<Check> rateAndBlockChecks();
std::vector<Check> sampleChecks();
std::vector<Check> midiChecks();
std::vector<Check> editorChecks();

// Every family above, and the description of an effect for the runner.
const CheckSuite& vst2CheckSuite();

}  // namespace cqhost::validation
