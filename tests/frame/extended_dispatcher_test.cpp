// The extended dispatcher (opcodes 25 to 79): which operation each opcode reaches, how the
// host's index/value/ptr/opt become its arguments, how its answer comes back, and resume.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "probe_effect.h"
#include "recording_host.h"

namespace {

char marker[4];  // stands for any pointer the host passes
void* const kPtr = marker;

std::string p(const void* ptr) {
    return ptr == kPtr ? "P" : ptr == nullptr ? "null" : "?";
}

// Every operation records its name and arguments and answers true or a distinctive number.
class ArgumentLog : public ProbeEffect {
  public:
    using ProbeEffect::ProbeEffect;
    std::string log;
    void note(const std::string& entry) { log = entry; }

    VstInt32 processEvents(VstEvents* e) override { return note("processEvents " + p(e)), 501; }
    bool canParameterBeAutomated(VstInt32 i) override {
        return note("canParameterBeAutomated " + std::to_string(i)), true;
    }
    bool string2parameter(VstInt32 i, char* t) override {
        return note("string2parameter " + std::to_string(i) + " " + p(t)), true;
    }
    bool getProgramNameIndexed(VstInt32 c, VstInt32 i, char* t) override {
        return note("getProgramNameIndexed " + std::to_string(c) + " " + std::to_string(i) + " " +
                    p(t)),
               true;
    }
    bool getInputProperties(VstInt32 i, VstPinProperties* pp) override {
        return note("getInputProperties " + std::to_string(i) + " " + p(pp)), true;
    }
    bool getOutputProperties(VstInt32 i, VstPinProperties* pp) override {
        return note("getOutputProperties " + std::to_string(i) + " " + p(pp)), true;
    }
    VstInt32 getPlugCategory() override { return note("getPlugCategory"), 502; }
    bool offlineNotify(VstAudioFile* f, VstInt32 n, bool start) override {
        return note("offlineNotify " + p(f) + " " + std::to_string(n) + " " +
                    std::to_string(start)),
               true;
    }
    bool offlinePrepare(VstOfflineTask* t, VstInt32 n) override {
        return note("offlinePrepare " + p(t) + " " + std::to_string(n)), true;
    }
    bool offlineRun(VstOfflineTask* t, VstInt32 n) override {
        return note("offlineRun " + p(t) + " " + std::to_string(n)), true;
    }
    bool processVariableIo(VstVariableIo* v) override {
        return note("processVariableIo " + p(v)), true;
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        return note("setSpeakerArrangement " + p(in) + " " + p(out)), true;
    }
    bool setBypass(bool on) override { return note("setBypass " + std::to_string(on)), true; }
    bool getEffectName(char* t) override { return note("getEffectName " + p(t)), true; }
    bool getVendorString(char* t) override { return note("getVendorString " + p(t)), true; }
    bool getProductString(char* t) override { return note("getProductString " + p(t)), true; }
    VstInt32 getVendorVersion() override { return note("getVendorVersion"), 503; }
    VstIntPtr vendorSpecific(VstInt32 a, VstIntPtr b, void* ptr, float f) override {
        std::ostringstream s;
        s << "vendorSpecific " << a << " " << b << " " << p(ptr) << " " << f;
        return note(s.str()), VstIntPtr{504};
    }
    VstInt32 canDo(char* t) override { return note("canDo " + p(t)), -1; }
    VstInt32 getGetTailSize() override { return note("getGetTailSize"), 505; }
    bool getParameterProperties(VstInt32 i, VstParameterProperties* pp) override {
        return note("getParameterProperties " + std::to_string(i) + " " + p(pp)), true;
    }
    VstInt32 getVstVersion() override { return note("getVstVersion"), 506; }
    VstInt32 getMidiProgramName(VstInt32 ch, MidiProgramName* n) override {
        return note("getMidiProgramName " + std::to_string(ch) + " " + p(n)), 507;
    }
    VstInt32 getCurrentMidiProgram(VstInt32 ch, MidiProgramName* n) override {
        return note("getCurrentMidiProgram " + std::to_string(ch) + " " + p(n)), 508;
    }
    VstInt32 getMidiProgramCategory(VstInt32 ch, MidiProgramCategory* c) override {
        return note("getMidiProgramCategory " + std::to_string(ch) + " " + p(c)), 509;
    }
    bool hasMidiProgramsChanged(VstInt32 ch) override {
        return note("hasMidiProgramsChanged " + std::to_string(ch)), true;
    }
    bool getMidiKeyName(VstInt32 ch, MidiKeyName* k) override {
        return note("getMidiKeyName " + std::to_string(ch) + " " + p(k)), true;
    }
    bool beginSetProgram() override { return note("beginSetProgram"), true; }
    bool endSetProgram() override { return note("endSetProgram"), true; }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
        return note("getSpeakerArrangement " + p(in) + " " + p(out)), true;
    }
    VstInt32 getNextShellPlugin(char* t) override {
        return note("getNextShellPlugin " + p(t)), 510;
    }
    VstInt32 startProcess() override { return note("startProcess"), 511; }
    VstInt32 stopProcess() override { return note("stopProcess"), 512; }
    VstInt32 setTotalSampleToProcess(VstInt32 v) override {
        return note("setTotalSampleToProcess " + std::to_string(v)), 513;
    }
    bool setPanLaw(VstInt32 type, float v) override {
        std::ostringstream s;
        s << "setPanLaw " << type << " " << v;
        return note(s.str()), true;
    }
    VstInt32 beginLoadBank(VstPatchChunkInfo* i) override {
        return note("beginLoadBank " + p(i)), 514;
    }
    VstInt32 beginLoadProgram(VstPatchChunkInfo* i) override {
        return note("beginLoadProgram " + p(i)), 515;
    }
    bool setProcessPrecision(VstInt32 v) override {
        return note("setProcessPrecision " + std::to_string(v)), true;
    }
    VstInt32 getNumMidiInputChannels() override { return note("getNumMidiInputChannels"), 516; }
    VstInt32 getNumMidiOutputChannels() override { return note("getNumMidiOutputChannels"), 517; }
};

struct Row {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    const char* reached;
    VstIntPtr answer;
};

TEST(ExtendedDispatcher, EveryNamedOpcodeReachesItsOperationWithConvertedArguments) {
    const VstIntPtr kPtrValue = reinterpret_cast<VstIntPtr>(kPtr);
    const Row rows[] = {
        {25, 0, 0, 0, "processEvents P", 501},
        {26, 7, 0, 0, "canParameterBeAutomated 7", 1},
        {27, 4, 0, 0, "string2parameter 4 P", 1},
        {29, 2, 9, 0, "getProgramNameIndexed 9 2 P", 1},
        {33, 3, 0, 0, "getInputProperties 3 P", 1},
        {34, 5, 0, 0, "getOutputProperties 5 P", 1},
        {35, 0, 0, 0, "getPlugCategory", 502},
        {38, 1, 4, 0, "offlineNotify P 4 1", 1},
        {38, 0, 4, 0, "offlineNotify P 4 0", 1},
        {39, 0, 6, 0, "offlinePrepare P 6", 1},
        {40, 0, 8, 0, "offlineRun P 8", 1},
        {41, 0, 0, 0, "processVariableIo P", 1},
        {42, 0, kPtrValue, 0, "setSpeakerArrangement P P", 1},
        {44, 0, 5, 0, "setBypass 1", 1},
        {44, 0, 0, 0, "setBypass 0", 1},
        {45, 0, 0, 0, "getEffectName P", 1},
        {47, 0, 0, 0, "getVendorString P", 1},
        {48, 0, 0, 0, "getProductString P", 1},
        {49, 0, 0, 0, "getVendorVersion", 503},
        {50, 11, 12, 1.5f, "vendorSpecific 11 12 P 1.5", 504},
        {51, 0, 0, 0, "canDo P", -1},
        {52, 0, 0, 0, "getGetTailSize", 505},
        {56, 13, 0, 0, "getParameterProperties 13 P", 1},
        {58, 0, 0, 0, "getVstVersion", 506},
        {62, 3, 0, 0, "getMidiProgramName 3 P", 507},
        {63, 4, 0, 0, "getCurrentMidiProgram 4 P", 508},
        {64, 5, 0, 0, "getMidiProgramCategory 5 P", 509},
        {65, 6, 0, 0, "hasMidiProgramsChanged 6", 1},
        {66, 7, 0, 0, "getMidiKeyName 7 P", 1},
        {67, 0, 0, 0, "beginSetProgram", 1},
        {68, 0, 0, 0, "endSetProgram", 1},
        {69, 0, kPtrValue, 0, "getSpeakerArrangement P P", 1},
        {70, 0, 0, 0, "getNextShellPlugin P", 510},
        {71, 0, 0, 0, "startProcess", 511},
        {72, 0, 0, 0, "stopProcess", 512},
        {73, 0, -40, 0, "setTotalSampleToProcess -40", 513},
        {74, 0, 2, 0.5f, "setPanLaw 2 0.5", 1},
        {75, 0, 0, 0, "beginLoadBank P", 514},
        {76, 0, 0, 0, "beginLoadProgram P", 515},
        {77, 0, 1, 0, "setProcessPrecision 1", 1},
        {78, 0, 0, 0, "getNumMidiInputChannels", 516},
        {79, 0, 0, 0, "getNumMidiOutputChannels", 517},
    };
    for (const Row& row : rows) {
        ArgumentLog effect(nullptr);
        EXPECT_EQ(effect.dispatcher(row.opcode, row.index, row.value, kPtr, row.opt), row.answer)
            << "opcode " << row.opcode;
        EXPECT_EQ(effect.log, row.reached) << "opcode " << row.opcode;
    }
}

TEST(ExtendedDispatcher, DefaultAnswersOfTheExtendedClass) {
    ProbeEffect effect(nullptr);
    auto send = [&](VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = kPtr,
                    float opt = 0.0f) { return effect.dispatcher(opcode, index, value, ptr, opt); };
    EXPECT_EQ(send(effProcessEvents), 0);
    EXPECT_EQ(send(effCanBeAutomated, 0), 1);
    EXPECT_EQ(send(effCanBeAutomated, 1000), 1) << "beyond the parameter count too";
    EXPECT_EQ(send(effCanBeAutomated, -1), 1);
    EXPECT_EQ(send(effGetPlugCategory), 0);
    effect.isSynth(true);
    EXPECT_EQ(send(effGetPlugCategory), 2);
    effect.isSynth(false);
    EXPECT_EQ(send(effGetVstVersion), 2400);
    EXPECT_EQ(send(effGetNumMidiInputChannels), 1);
    EXPECT_EQ(send(effGetNumMidiOutputChannels), 0);
    EXPECT_EQ(send(effGetCurrentMidiProgram, 0), -1);
    EXPECT_EQ(send(effCanDo), 0);
    for (VstIntPtr v : {VstIntPtr{0}, VstIntPtr{-5}, VstIntPtr{123456}, VstIntPtr{INT_MIN}}) {
        EXPECT_EQ(send(effSetTotalSampleToProcess, 0, v), v);
    }
    for (VstInt32 opcode : {effString2Parameter,
                            effGetProgramNameIndexed,
                            effGetInputProperties,
                            effGetOutputProperties,
                            effOfflineNotify,
                            effOfflinePrepare,
                            effOfflineRun,
                            effProcessVarIo,
                            effSetSpeakerArrangement,
                            effSetBypass,
                            effGetVendorVersion,
                            effVendorSpecific,
                            effGetTailSize,
                            effGetParameterProperties,
                            effGetMidiProgramName,
                            effGetMidiProgramCategory,
                            effHasMidiProgramsChanged,
                            effGetMidiKeyName,
                            effBeginSetProgram,
                            effEndSetProgram,
                            effShellGetNextPlugin,
                            effStartProcess,
                            effStopProcess,
                            effSetPanLaw,
                            effBeginLoadBank,
                            effBeginLoadProgram,
                            effSetProcessPrecision}) {
        EXPECT_EQ(send(opcode, 1, 1), 0) << opcode;
    }
}

TEST(ExtendedDispatcher, NameGettersLeaveTheHostBufferAlone) {
    ProbeEffect effect(nullptr);
    for (VstInt32 opcode : {effGetEffectName, effGetVendorString, effGetProductString}) {
        char text[8] = "abcdefg";
        EXPECT_EQ(effect.dispatcher(opcode, 0, 0, text, 0.0f), 0);
        EXPECT_STREQ(text, "abcdefg");
    }
}

TEST(ExtendedDispatcher, GetSpeakerArrangementClearsBothPointersAndSkipsNullAddresses) {
    ProbeEffect effect(nullptr);
    auto* sentinel = reinterpret_cast<VstSpeakerArrangement*>(&effect);
    VstSpeakerArrangement* input = sentinel;
    VstSpeakerArrangement* output = sentinel;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                                &output, 0.0f),
              0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
    output = sentinel;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, 0, &output, 0.0f), 0);
    EXPECT_EQ(output, nullptr);
    input = sentinel;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                                nullptr, 0.0f),
              0);
    EXPECT_EQ(input, nullptr);
}

TEST(ExtendedDispatcher, UnnamedAndOutsideOpcodesGoToTheBase) {
    ArgumentLog effect(nullptr);
    for (VstInt32 opcode :
         {28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 81, 1000, -1, INT_MIN, INT_MAX}) {
        EXPECT_EQ(effect.dispatcher(opcode, 1, 1, kPtr, 1.0f), 0) << opcode;
    }
    EXPECT_EQ(effect.log, "");
    // Opcodes below 25 still work through the extended class.
    EXPECT_EQ(effect.dispatcher(effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    effect.dispatcher(effSetBlockSize, 0, 256, nullptr, 0.0f);
    EXPECT_EQ(effect.getBlockSize(), 256);
}

TEST(ExtendedDispatcher, KeyOpcodesBuildTheKeyRecord) {
    ProbeEffect effect(nullptr);
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 97, 0x1FF, nullptr, 65.9f), 0)
        << "no editor: 0 and nothing called";
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 0);

    auto* editor = new ProbeEditor(&effect);
    effect.setEditor(editor);
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 97, 0x1FF, nullptr, 65.9f), 1);
    EXPECT_EQ(editor->lastKey.character, 97);
    EXPECT_EQ(editor->lastKey.virt, 0xFF);
    EXPECT_EQ(editor->lastKey.modifier, 65);

    EXPECT_EQ(effect.dispatcher(effEditKeyUp, 13, 0x10, nullptr, -1.0f), 1);
    EXPECT_EQ(editor->lastKey.character, 13);
    EXPECT_EQ(editor->lastKey.virt, 0x10);
    EXPECT_EQ(editor->lastKey.modifier, 0xFF);

    // Truncation toward zero, then the low eight bits; a non-finite option gives 0.
    const std::pair<float, int> modifiers[] = {{-1.9f, 0xFF}, {256.0f, 0},   {257.5f, 1},
                                               {-256.5f, 0},  {1e20f, 0},    {NAN, 0},
                                               {INFINITY, 0}, {-INFINITY, 0}};
    for (auto [opt, expected] : modifiers) {
        effect.dispatcher(effEditKeyDown, 0, 0, nullptr, opt);
        EXPECT_EQ(editor->lastKey.modifier, expected) << opt;
    }

    editor->answer = false;
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 97, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(effEditKeyUp, 97, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 0);
    editor->answer = true;
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);
    EXPECT_EQ(editor->knobMode, 2);
}

// canDo is scripted; records whether resume asked it.
class CanDoScript : public ProbeEffect {
  public:
    using ProbeEffect::ProbeEffect;
    VstInt32 canDo(char* text) override {
        asked = text;
        return answer;
    }
    VstInt32 answer = 0;
    std::string asked;
};

TEST(ExtendedResume, AsksForMidiOnlyWhenTheEffectWantsIt) {
    struct Case {
        bool synth;
        VstInt32 canDoAnswer;
        bool asksCanDo;
        bool wantsMidi;
    };
    const Case cases[] = {
        {false, 1, true, true},  {false, 0, true, false}, {false, -1, true, false},
        {false, 2, true, false}, {true, 0, false, true},
    };
    for (const Case& c : cases) {
        RecordingHost::reset(0);
        CanDoScript effect(RecordingHost::callback);
        effect.isSynth(c.synth);
        effect.answer = c.canDoAnswer;
        effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        EXPECT_EQ(effect.asked, c.asksCanDo ? "receiveVstMidiEvent" : "");
        const auto& calls = RecordingHost::calls();
        ASSERT_EQ(calls.size(), c.wantsMidi ? 1u : 0u);
        if (c.wantsMidi) {
            EXPECT_EQ(calls[0].effect, effect.getAeffect());
            EXPECT_EQ(calls[0].opcode, audioMasterWantMidi);
            EXPECT_EQ(calls[0].index, 0);
            EXPECT_EQ(calls[0].value, 1);
            EXPECT_EQ(calls[0].ptr, nullptr);
            EXPECT_EQ(calls[0].opt, 0.0f);
        }
    }
}

}  // namespace
