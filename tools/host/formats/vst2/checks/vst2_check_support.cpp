#include <sstream>

#include "formats/vst2/checks/analyser_checks.h"
#include "formats/vst2/checks/vst2_checks.h"

namespace cqhost::validation {
namespace {

// Learns what the later checks need: channel counts, whether it takes MIDI, its editor.
std::string describe(const Subject& subject, bool forceAnalyser) {
    auto host = load(subject);
    AEffect& effect = host->effect();
    Subject found = subject;
    found.analyser = forceAnalyser || isAnalyser(effect);
    found.canReplace = (effect.flags & effFlagsCanReplacing) && effect.processReplacing;
    found.programChunks = (effect.flags & effFlagsProgramChunks) != 0;
    found.numInputs = effect.numInputs;
    found.numOutputs = effect.numOutputs;
    found.numParams = effect.numParams;
    found.numPrograms = effect.numPrograms;
    found.receivesMidi =
        host->dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")) == 1 ||
        (effect.flags & effFlagsIsSynth);
    // Editors are driven only where they draw through the platform library: the analyser's.
    found.platformEditor = (effect.flags & effFlagsHasEditor) && found.analyser;
    std::ostringstream text;
    text << (found.analyser ? "A" : "-") << (found.canReplace ? "R" : "-")
         << (found.receivesMidi ? "M" : "-") << (found.platformEditor ? "E" : "-")
         << (found.programChunks ? "C" : "-") << ' ' << found.numInputs << ' ' << found.numOutputs
         << ' ' << found.numParams << ' ' << found.numPrograms;
    return text.str();
}

std::vector<Check> allChecks() {
    std::vector<Check> checks;
    for (auto family : {lifecycleChecks, opcodeChecks, rateAndBlockChecks, sampleChecks, midiChecks,
                        editorChecks}) {
        for (auto& check : family()) checks.push_back(std::move(check));
    }
    return checks;
}

}  // namespace

std::unique_ptr<PluginHost> load(const Subject& subject) {
    return std::make_unique<PluginHost>(subject.path);
}

std::string fourChars(VstInt32 id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

const CheckSuite& vst2CheckSuite() {
    static const CheckSuite suite{describe, allChecks};
    return suite;
}

}  // namespace cqhost::validation
