// The host services of AudioEffectX: exactly one host call with the right six arguments, the
// conversion of the host's answer, and the neutral answer without a host.
#include <gtest/gtest.h>

#include <functional>

#include "probe_effect.h"
#include "recording_host.h"

namespace {

char bytes[4];
void* const kPtr = bytes;

struct Service {
    const char* name;
    std::function<VstIntPtr(ProbeEffect&)> call;  // the service's answer, widened
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    VstIntPtr hostAnswer;
    VstIntPtr expected;  // with that host answer
    VstIntPtr neutral;   // without a host
};

VstIntPtr ptrAnswer(const void* p) {
    return reinterpret_cast<VstIntPtr>(p);
}

std::vector<Service> services() {
    const VstIntPtr big = VstIntPtr{0x7FFFFFFF} + 6;  // truncates to a negative int32
    const VstIntPtr truncated = static_cast<VstInt32>(big);
    auto* file = static_cast<VstAudioFile*>(kPtr);
    auto* task = static_cast<VstOfflineTask*>(kPtr);
    auto* selector = static_cast<VstFileSelect*>(kPtr);
    return {
        {"wantEvents", [](ProbeEffect& e) { return e.wantEvents(5), VstIntPtr{0}; }, 6, 0, 5,
         nullptr, 0, 9, 0, 0},
        {"getTimeInfo", [](ProbeEffect& e) { return ptrAnswer(e.getTimeInfo(0x202)); }, 7, 0, 0x202,
         nullptr, 0, ptrAnswer(kPtr), ptrAnswer(kPtr), 0},
        {"tempoAt", [](ProbeEffect& e) { return VstIntPtr{e.tempoAt(4410)}; }, 10, 0, 4410, nullptr,
         0, 1200000, 1200000, 0},
        {"getNumAutomatableParameters",
         [](ProbeEffect& e) { return VstIntPtr{e.getNumAutomatableParameters()}; }, 11, 0, 0,
         nullptr, 0, big, truncated, 0},
        {"getParameterQuantization",
         [](ProbeEffect& e) { return VstIntPtr{e.getParameterQuantization()}; }, 12, 0, 0, nullptr,
         0, 100, 100, 0},
        {"beginEdit", [](ProbeEffect& e) { return VstIntPtr{e.beginEdit(3)}; }, 43, 3, 0, nullptr,
         0, -2, 1, 0},
        {"endEdit", [](ProbeEffect& e) { return VstIntPtr{e.endEdit(4)}; }, 44, 4, 0, nullptr, 0, 0,
         0, 0},
        {"ioChanged", [](ProbeEffect& e) { return VstIntPtr{e.ioChanged()}; }, 13, 0, 0, nullptr, 0,
         7, 1, 0},
        {"needIdle", [](ProbeEffect& e) { return VstIntPtr{e.needIdle()}; }, 14, 0, 0, nullptr, 0,
         1, 1, 0},
        {"sizeWindow", [](ProbeEffect& e) { return VstIntPtr{e.sizeWindow(960, 512)}; }, 15, 960,
         512, nullptr, 0, 1, 1, 0},
        {"getInputLatency", [](ProbeEffect& e) { return VstIntPtr{e.getInputLatency()}; }, 18, 0, 0,
         nullptr, 0, 256, 256, 0},
        {"getOutputLatency", [](ProbeEffect& e) { return VstIntPtr{e.getOutputLatency()}; }, 19, 0,
         0, nullptr, 0, 512, 512, 0},
        {"getPreviousPlug", [](ProbeEffect& e) { return ptrAnswer(e.getPreviousPlug(3)); }, 20, 0,
         0, nullptr, 0, ptrAnswer(kPtr), ptrAnswer(kPtr), 0},
        {"getNextPlug", [](ProbeEffect& e) { return ptrAnswer(e.getNextPlug(2)); }, 21, 0, 0,
         nullptr, 0, ptrAnswer(kPtr), ptrAnswer(kPtr), 0},
        {"willProcessReplacing", [](ProbeEffect& e) { return VstIntPtr{e.willProcessReplacing()}; },
         22, 0, 0, nullptr, 0, 2, 2, 0},
        {"getCurrentProcessLevel",
         [](ProbeEffect& e) { return VstIntPtr{e.getCurrentProcessLevel()}; }, 23, 0, 0, nullptr, 0,
         3, 3, 0},
        {"getAutomationState", [](ProbeEffect& e) { return VstIntPtr{e.getAutomationState()}; }, 24,
         0, 0, nullptr, 0, 4, 4, 0},
        {"setOutputSamplerate",
         [](ProbeEffect& e) { return e.setOutputSamplerate(88200.0f), VstIntPtr{0}; }, 30, 0, 0,
         nullptr, 88200.0f, 1, 0, 0},
        {"getOutputSpeakerArrangement",
         [](ProbeEffect& e) { return ptrAnswer(e.getOutputSpeakerArrangement()); }, 31, 0, 0,
         nullptr, 0, ptrAnswer(kPtr), ptrAnswer(kPtr), 0},
        {"getInputSpeakerArrangement",
         [](ProbeEffect& e) { return ptrAnswer(e.getInputSpeakerArrangement()); }, 49, 0, 0,
         nullptr, 0, ptrAnswer(kPtr), ptrAnswer(kPtr), 0},
        {"getHostVendorString",
         [](ProbeEffect& e) { return VstIntPtr{e.getHostVendorString(bytes)}; }, 32, 0, 0, kPtr, 0,
         1, 1, 0},
        {"getHostProductString",
         [](ProbeEffect& e) { return VstIntPtr{e.getHostProductString(bytes)}; }, 33, 0, 0, kPtr, 0,
         0, 0, 0},
        {"getHostVendorVersion", [](ProbeEffect& e) { return VstIntPtr{e.getHostVendorVersion()}; },
         34, 0, 0, nullptr, 0, 1000, 1000, 0},
        {"hostVendorSpecific",
         [](ProbeEffect& e) { return e.hostVendorSpecific(-3, VstIntPtr{1} << 40, kPtr, 2.5f); },
         35, -3, VstIntPtr{1} << 40, kPtr, 2.5f, big, big, 0},
        {"canHostDo", [](ProbeEffect& e) { return VstIntPtr{e.canHostDo(bytes)}; }, 37, 0, 0, kPtr,
         0, -1, 1, 0},
        {"getHostLanguage", [](ProbeEffect& e) { return VstIntPtr{e.getHostLanguage()}; }, 38, 0, 0,
         nullptr, 0, 2, 2, 0},
        {"getDirectory", [](ProbeEffect& e) { return ptrAnswer(e.getDirectory()); }, 41, 0, 0,
         nullptr, 0, ptrAnswer(kPtr), ptrAnswer(kPtr), 0},
        {"openWindow", [](ProbeEffect& e) { return ptrAnswer(e.openWindow(kPtr)); }, 39, 0, 0, kPtr,
         0, ptrAnswer(kPtr), ptrAnswer(kPtr), 0},
        {"closeWindow", [](ProbeEffect& e) { return VstIntPtr{e.closeWindow(kPtr)}; }, 40, 0, 0,
         kPtr, 0, 5, 1, 0},
        {"updateDisplay", [](ProbeEffect& e) { return VstIntPtr{e.updateDisplay()}; }, 42, 0, 0,
         nullptr, 0, 1, 1, 0},
        {"openFileSelector",
         [selector](ProbeEffect& e) { return VstIntPtr{e.openFileSelector(selector)}; }, 45, 0, 0,
         kPtr, 0, 1, 1, 0},
        {"closeFileSelector",
         [selector](ProbeEffect& e) { return VstIntPtr{e.closeFileSelector(selector)}; }, 46, 0, 0,
         kPtr, 0, 1, 1, 0},
        {"getChunkFile", [](ProbeEffect& e) { return VstIntPtr{e.getChunkFile(kPtr)}; }, 48, 0, 0,
         kPtr, 0, 1, 1, 0},
        {"offlineStart", [file](ProbeEffect& e) { return VstIntPtr{e.offlineStart(file, 4, 2)}; },
         25, 2, 4, kPtr, 0, 1, 1, 0},
        {"offlineRead true",
         [task](ProbeEffect& e) { return VstIntPtr{e.offlineRead(task, 7, true)}; }, 26, 1, 7, kPtr,
         0, 1, 1, 0},
        {"offlineRead false",
         [task](ProbeEffect& e) { return VstIntPtr{e.offlineRead(task, 7, false)}; }, 26, 0, 7,
         kPtr, 0, 0, 0, 0},
        {"offlineWrite", [task](ProbeEffect& e) { return VstIntPtr{e.offlineWrite(task, 8)}; }, 27,
         0, 8, kPtr, 0, 1, 1, 0},
        {"offlineGetCurrentPass",
         [](ProbeEffect& e) { return VstIntPtr{e.offlineGetCurrentPass()}; }, 28, 0, 0, nullptr, 0,
         3, 1, 0},
        {"offlineGetCurrentMetaPass",
         [](ProbeEffect& e) { return VstIntPtr{e.offlineGetCurrentMetaPass()}; }, 29, 0, 0, nullptr,
         0, 0, 0, 0},
    };
}

TEST(HostServices, EachSendsOneCallWithItsArgumentsAndConvertsTheAnswer) {
    for (const Service& s : services()) {
        RecordingHost::reset();
        RecordingHost::answerWith([&](const HostCall&) { return s.hostAnswer; });
        ProbeEffect effect(RecordingHost::callback);
        EXPECT_EQ(s.call(effect), s.expected) << s.name;
        const auto& calls = RecordingHost::calls();
        ASSERT_EQ(calls.size(), 1u) << s.name;
        EXPECT_EQ(calls[0].effect, effect.getAeffect()) << s.name;
        EXPECT_EQ(calls[0].opcode, s.opcode) << s.name;
        EXPECT_EQ(calls[0].index, s.index) << s.name;
        EXPECT_EQ(calls[0].value, s.value) << s.name;
        EXPECT_EQ(calls[0].ptr, s.ptr) << s.name;
        EXPECT_EQ(calls[0].opt, s.opt) << s.name;
    }
}

TEST(HostServices, WithoutAHostNothingIsSentAndTheAnswerIsNeutral) {
    for (const Service& s : services()) {
        RecordingHost::reset(1);
        ProbeEffect effect(nullptr);
        EXPECT_EQ(s.call(effect), s.neutral) << s.name;
        EXPECT_TRUE(RecordingHost::calls().empty()) << s.name;
    }
}

TEST(HostServices, PointerServicesRefuseANullPointerWithoutCallingTheHost) {
    RecordingHost::reset(1);
    ProbeEffect effect(RecordingHost::callback);
    EXPECT_FALSE(effect.openFileSelector(nullptr));
    EXPECT_FALSE(effect.closeFileSelector(nullptr));
    EXPECT_FALSE(effect.getChunkFile(nullptr));
    EXPECT_TRUE(RecordingHost::calls().empty());
}

TEST(HostServices, UpdateServicesStoreOnlyPositiveAnswers) {
    RecordingHost::reset();
    ProbeEffect effect(RecordingHost::callback);
    RecordingHost::answerWith([](const HostCall& c) -> VstIntPtr {
        return c.opcode == audioMasterGetSampleRate ? 48000 : 256;
    });
    EXPECT_EQ(effect.updateSampleRate(), 48000.0f);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    EXPECT_EQ(effect.updateBlockSize(), 256);
    EXPECT_EQ(effect.getBlockSize(), 256);
    ASSERT_EQ(RecordingHost::calls().size(), 2u);
    EXPECT_EQ(RecordingHost::calls()[0].opcode, audioMasterGetSampleRate);
    EXPECT_EQ(RecordingHost::calls()[1].opcode, audioMasterGetBlockSize);

    // The answer is read as a signed 32-bit number: 0, negatives and values whose low 32
    // bits are negative leave the stored value alone.
    for (VstIntPtr answer : {VstIntPtr{0}, VstIntPtr{-1}, VstIntPtr{0xFFFFFFFF}}) {
        RecordingHost::answerWith([answer](const HostCall&) { return answer; });
        EXPECT_EQ(effect.updateSampleRate(), 48000.0f) << answer;
        EXPECT_EQ(effect.updateBlockSize(), 256) << answer;
    }

    ProbeEffect alone(nullptr);
    alone.setBlockSize(300);
    EXPECT_EQ(alone.updateSampleRate(), 44100.0f);
    EXPECT_EQ(alone.updateBlockSize(), 300);
}

}  // namespace
