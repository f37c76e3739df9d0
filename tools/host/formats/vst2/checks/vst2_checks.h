// validate's checks of a VST 2.x effect: what they share (loading the effect, its unique ID as
// text) and their families, each a list of checks in the order they run. Each check runs on
// the main thread of a child process of its own (validate/runner.cpp) and loads the effect
// itself.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/vst2/plugin_host.h"
#include "validate/checks.h"

namespace cqhost::validation {

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
