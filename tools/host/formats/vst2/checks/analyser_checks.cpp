// The analyser's own expectations, run by the generic checks at their fixed points: its record
// (2 in, 2 out, flags 0x11), its opcode answers, the event lists it takes beyond what hosts
// promise, and the display's Hold control, clicked and watched in its editor.
#include "formats/vst2/checks/analyser_checks.h"

#include "core/default_rate.h"
#include "display/display_geometry.h"
#include "formats/vst2/checks/editor_rig.h"
#include "plugin/unique_id.h"

namespace cqhost::validation {
namespace {

void checkRecord(PluginHost& host) {
    const AEffect& effect = host.effect();
    if (effect.numInputs != 2 || effect.numOutputs != 2 || effect.flags != 0x11) {
        fail("the analyser's record is not 2 in, 2 out, flags 0x11");
    }
    if (host.dispatch(effIdentify) != 0x4E764566) fail("identify does not answer 'NvEf'");
    if (host.dispatch(effGetVstVersion) != 2400) fail("VST version is not 2400");
}

void checkAnswers(PluginHost& host) {
    if (host.dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")) != 1) {
        fail("the analyser does not receive MIDI");
    }
    if (host.dispatch(effGetCurrentMidiProgram) != -1) fail("MIDI program is not -1");
    if (host.dispatch(effSetTotalSampleToProcess, 0, -7) != -7) {
        fail("total samples is not echoed");
    }
    if (host.dispatch(130) != 0 || host.dispatch(-5) != 0) fail("unknown opcodes answer");
    VstSpeakerArrangement* in = nullptr;
    VstSpeakerArrangement* out = nullptr;
    host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    if (in != nullptr || out != nullptr) fail("speaker arrangement not null");
    host.dispatch(effGetSpeakerArrangement, 0, 0, nullptr);  // null addresses skipped
}

// A null list, an empty and a negative count, a null event pointer.
const char* sendOddEventLists(PluginHost& host) {
    host.dispatch(effProcessEvents, 0, 0, nullptr);
    VstIntPtr negative[4] = {-3, 0, 0, 0};
    host.dispatch(effProcessEvents, 0, 0, negative);
    VstIntPtr withNull[4] = {1, 0, 0, 0};
    host.dispatch(effProcessEvents, 0, 0, withNull);
    return "null and negative lists";
}

void clickHold(OpenEditor& editor) {
    editor.click(display::kHoldClickX, display::kHoldClickY);
}

// The pixels under the Hold button, row by row.
std::vector<std::uint32_t> holdArea(OpenEditor& editor) {
    return editor.pixelsIn(display::kHoldX, display::kHoldY, display::kHoldWidth,
                           display::kHoldHeight);
}

std::string checkHold(const Subject& subject) {
    // A manual clock, so that clicks are further apart than a double click whatever the
    // machine's speed.
    auto host = load(subject);
    platform(*host).setManualClock(TRUE, 1000);
    host->start(cqscope::kDefaultSampleRate, kBlockSize);
    OpenEditor editor(*host);
    editor.idle(2);
    // A refresh tick first: before it the display has drawn nothing.
    editor.wait(200);
    editor.idle(2);
    const auto live = holdArea(editor);
    const int clicks = 2 * subject.strictness;
    for (int i = 0; i < clicks; ++i) {
        editor.wait(1000);
        const auto before = holdArea(editor);
        clickHold(editor);
        editor.idle(2);
        const auto after = holdArea(editor);
        const bool held = i % 2 == 0;
        if (after == before || (after == live) == held) {
            fail("click " + std::to_string(i + 1) + " did not " +
                 (held ? "show the held image" : "bring the live image back"));
        }
    }
    // Quick double clicks: each pair toggles at most twice and the editor survives.
    for (int i = 0; i < subject.strictness; ++i) {
        editor.wait(1000);
        clickHold(editor);
        editor.wait(10);
        clickHold(editor);
        editor.idle();
    }
    return std::to_string(clicks) + " Hold clicks, each switching the image";
}

}  // namespace

bool isAnalyser(const AEffect& effect) {
    return effect.uniqueID == kCqscopeUniqueId;
}

const Expectations& analyserExpectations() {
    static const Expectations expectations{
        .passThrough = true,
        .takesAnyOpcode = true,
        .checkRecord = checkRecord,
        .checkAnswers = checkAnswers,
        .sendOddEventLists = sendOddEventLists,
        .checkEditorControl = checkHold,
        .clickControl = clickHold,
        .controlPixels = holdArea,
    };
    return expectations;
}

const Expectations& expectationsFor(const Subject& subject) {
    static const Expectations none;
    return subject.analyser ? analyserExpectations() : none;
}

}  // namespace cqhost::validation
