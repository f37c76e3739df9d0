// The base dispatcher (opcodes 0 to 24) and the base's host calls (host opcodes 0 to 4).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "probe_effect.h"
#include "recording_host.h"

namespace {

// Records the operations the dispatcher reaches, with their arguments.
class OperationLog : public ProbeEffect {
  public:
    using ProbeEffect::ProbeEffect;
    void open() override { log += "open;"; }
    void close() override { log += "close;"; }
    void suspend() override { log += "suspend;"; }
    void resume() override { log += "resume;"; }
    void setProgramName(char* name) override { log += std::string("setProgramName ") + name + ";"; }
    VstInt32 getChunk(void** data, bool isPreset) override {
        log += std::string("getChunk ") + (isPreset ? "preset;" : "bank;");
        chunkAddress = data;
        return 77;
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override {
        log += "setChunk " + std::to_string(size) + (isPreset ? " preset;" : " bank;");
        chunkData = data;
        return 66;
    }
    std::string log;
    void** chunkAddress = nullptr;
    void* chunkData = nullptr;
};

VstIntPtr send(AudioEffect& effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
               void* ptr = nullptr, float opt = 0.0f) {
    return effect.dispatcher(opcode, index, value, ptr, opt);
}

TEST(BaseDispatcher, LifecycleOpcodesReachTheirOperations) {
    OperationLog effect(nullptr);
    EXPECT_EQ(send(effect, effOpen), 0);
    EXPECT_EQ(send(effect, effMainsChanged, 0, 0), 0);
    EXPECT_EQ(send(effect, effMainsChanged, 0, 1), 0);
    EXPECT_EQ(send(effect, effMainsChanged, 0, -7), 0);
    EXPECT_EQ(send(effect, effClose), 0) << "the dispatcher itself answers 0 to effClose";
    EXPECT_EQ(effect.log, "open;suspend;resume;resume;close;");
}

TEST(BaseDispatcher, ProgramNumberFollowsTheSignedRangeRule) {
    OperationLog effect(nullptr);
    EXPECT_EQ(send(effect, effGetProgram), 0);
    send(effect, effSetProgram, 0, 0);
    EXPECT_EQ(send(effect, effGetProgram), 0);
    send(effect, effSetProgram, 0, 1);
    send(effect, effSetProgram, 0, 5);
    EXPECT_EQ(send(effect, effGetProgram), 0) << "programs at or above numPrograms are ignored";
    send(effect, effSetProgram, 0, -1);
    EXPECT_EQ(send(effect, effGetProgram), -1);
}

TEST(BaseDispatcher, RateAndBlockSizeAreStored) {
    OperationLog effect(nullptr);
    send(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    send(effect, effSetBlockSize, 0, 512);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    EXPECT_EQ(effect.getBlockSize(), 512);
}

TEST(BaseDispatcher, TextGettersWriteAnEmptyStringAndToleratesNoBuffer) {
    OperationLog effect(nullptr);
    for (VstInt32 opcode :
         {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        for (VstInt32 index : {0, 3, -1, INT_MAX}) {
            char text[8];
            std::memset(text, 'x', sizeof(text));
            EXPECT_EQ(send(effect, opcode, index, 0, text), 0);
            EXPECT_EQ(text[0], '\0') << opcode;
            EXPECT_EQ(text[1], 'x') << "only the terminator is written";
            EXPECT_EQ(send(effect, opcode, index, 0, nullptr), 0);
        }
    }
    char name[] = "Init";
    EXPECT_EQ(send(effect, effSetProgramName, 0, 0, name), 0);
    EXPECT_EQ(effect.log, "setProgramName Init;");
}

TEST(BaseDispatcher, ChunkOpcodesPassPointerSizeAndPresetFlag) {
    OperationLog effect(nullptr);
    void* data = &effect;
    EXPECT_EQ(send(effect, effGetChunk, 1, 0, &data), 77);
    EXPECT_EQ(effect.chunkAddress, &data);
    EXPECT_EQ(send(effect, effSetChunk, 0, 128, data), 66);
    EXPECT_EQ(effect.chunkData, data);
    EXPECT_EQ(effect.log, "getChunk preset;setChunk 128 bank;");

    ProbeEffect plain(nullptr);
    void* untouched = &plain;
    EXPECT_EQ(send(plain, effGetChunk, 0, 0, &untouched), 0);
    EXPECT_EQ(untouched, &plain);
    EXPECT_EQ(send(plain, effSetChunk, 0, 16, untouched), 0);
}

TEST(BaseDispatcher, IdentifyAndUnknownOpcodes) {
    OperationLog effect(nullptr);
    EXPECT_EQ(send(effect, effIdentify), 0x4E764566);
    for (VstInt32 opcode : {9, 16, 17, 18, 20, 21, -1, INT_MIN, 80, 1000, INT_MAX}) {
        EXPECT_EQ(send(effect, opcode, 1, 1, nullptr, 1.0f), 0) << opcode;
    }
    EXPECT_EQ(effect.log, "") << "no operation is reached by unknown opcodes";
    EXPECT_EQ(effect.getProgram(), 0);
}

TEST(BaseDispatcher, EditorOpcodesWithoutAnEditorAnswerZero) {
    OperationLog effect(nullptr);
    ERect* rect = reinterpret_cast<ERect*>(&effect);
    EXPECT_EQ(send(effect, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, reinterpret_cast<ERect*>(&effect)) << "nothing is written without editor";
    EXPECT_EQ(send(effect, effEditOpen, 0, 0, &effect), 0);
    EXPECT_EQ(send(effect, effEditClose), 0);
    EXPECT_EQ(send(effect, effEditIdle), 0);
}

TEST(BaseDispatcher, EditorOpcodesReachTheEditor) {
    OperationLog effect(nullptr);
    auto* editor = new ProbeEditor(&effect);
    effect.setEditor(editor);
    EXPECT_EQ(effect.getEditor(), editor);

    ERect* rect = nullptr;
    EXPECT_EQ(send(effect, effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect, &editor->ownRect);
    int parent = 0;
    EXPECT_EQ(send(effect, effEditOpen, 0, 0, &parent), 1);
    EXPECT_EQ(editor->openedWith, &parent);
    EXPECT_EQ(send(effect, effEditIdle), 0);
    EXPECT_EQ(send(effect, effEditClose), 0);

    editor->answer = false;
    EXPECT_EQ(send(effect, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(send(effect, effEditOpen, 0, 0, &parent), 0);
    EXPECT_EQ(editor->calls,
              (std::vector<std::string>{"getRect", "open", "idle", "close", "getRect", "open"}));

    // A host that gives no place for the rectangle's address gets 0, not a crash.
    EXPECT_EQ(send(effect, effEditGetRect, 0, 0, nullptr), 0);
}

TEST(BaseHostCalls, SendTheirOpcodesAndConvertAnswers) {
    RecordingHost::reset();
    ProbeEffect effect(RecordingHost::callback);
    AEffect* record = effect.getAeffect();

    RecordingHost::answerWith([](const HostCall& c) -> VstIntPtr {
        switch (c.opcode) {
            case audioMasterVersion:
                return 2400;
            case audioMasterCurrentId:
                return 0x41424344;
            case audioMasterPinConnected:
                return c.index == 1 ? 1 : 0;
            default:
                return 0;
        }
    });
    effect.setParameterAutomated(3, 0.5f);
    EXPECT_EQ(effect.getMasterVersion(), 2400);
    EXPECT_EQ(effect.getCurrentUniqueId(), 0x41424344);
    effect.masterIdle();
    EXPECT_TRUE(effect.isInputConnected(0));
    EXPECT_FALSE(effect.isInputConnected(1));
    EXPECT_TRUE(effect.isOutputConnected(0));

    const auto& calls = RecordingHost::calls();
    ASSERT_EQ(calls.size(), 7u);
    auto expectCall = [&](size_t i, VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) {
        EXPECT_EQ(calls[i].effect, record) << i;
        EXPECT_EQ(calls[i].opcode, opcode) << i;
        EXPECT_EQ(calls[i].index, index) << i;
        EXPECT_EQ(calls[i].value, value) << i;
        EXPECT_EQ(calls[i].ptr, nullptr) << i;
        EXPECT_EQ(calls[i].opt, opt) << i;
    };
    expectCall(0, audioMasterAutomate, 3, 0, 0.5f);
    expectCall(1, audioMasterVersion, 0, 0, 0.0f);
    expectCall(2, audioMasterCurrentId, 0, 0, 0.0f);
    expectCall(3, audioMasterIdle, 0, 0, 0.0f);
    expectCall(4, audioMasterPinConnected, 0, 0, 0.0f);
    expectCall(5, audioMasterPinConnected, 1, 0, 0.0f);
    expectCall(6, audioMasterPinConnected, 0, 1, 0.0f);

    RecordingHost::reset(0);
    EXPECT_EQ(effect.getMasterVersion(), 1) << "a host answering 0 counts as version 1";
}

// setParameterAutomated reaches a replaced setParameter before telling the host.
class ParameterLog : public ProbeEffect {
  public:
    using ProbeEffect::ProbeEffect;
    void setParameter(VstInt32 index, float value) override {
        seenCallsBefore = RecordingHost::calls().size();
        lastIndex = index;
        lastValue = value;
    }
    size_t seenCallsBefore = 99;
    VstInt32 lastIndex = -1;
    float lastValue = -1.0f;
};

TEST(BaseHostCalls, NeutralAnswersWithoutAHost) {
    RecordingHost::reset();
    ParameterLog effect(nullptr);
    effect.setParameterAutomated(2, 0.25f);
    EXPECT_EQ(effect.lastIndex, 2);
    EXPECT_EQ(effect.lastValue, 0.25f);
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_EQ(effect.getCurrentUniqueId(), 0);
    effect.masterIdle();
    EXPECT_TRUE(effect.isInputConnected(0));
    EXPECT_TRUE(effect.isOutputConnected(0));
    EXPECT_TRUE(RecordingHost::calls().empty());

    ParameterLog hosted(RecordingHost::callback);
    hosted.setParameterAutomated(1, 0.75f);
    EXPECT_EQ(hosted.seenCallsBefore, 0u) << "the parameter is set before the host hears of it";
    EXPECT_EQ(RecordingHost::calls().size(), 1u);
}

}  // namespace
