// The record an AudioEffect hands to the host, its flag setters, and the six static entries.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "probe_effect.h"
#include "recording_host.h"

namespace {

TEST(EffectRecord, BaseConstructionFillsTheRecordAndZeroesEverythingElse) {
    RecordingHost::reset();
    ProbeEffect effect(RecordingHost::callback, 3, 7);
    const AEffect& r = effect.cEffect;
    EXPECT_EQ(r.magic, 0x56737450);
    EXPECT_EQ(r.dispatcher, &hostDispatch);
    EXPECT_EQ(r.process, &hostProcess);
    EXPECT_EQ(r.setParameter, &hostSetParameter);
    EXPECT_EQ(r.getParameter, &hostGetParameter);
    EXPECT_EQ(r.processReplacing, &hostProcessReplacing);
    EXPECT_EQ(r.processDoubleReplacing, &hostProcessDoubleReplacing);
    EXPECT_EQ(r.numPrograms, 3);
    EXPECT_EQ(r.numParams, 7);
    EXPECT_EQ(r.numInputs, 1);
    EXPECT_EQ(r.numOutputs, 2);
    EXPECT_EQ(r.flags, effFlagsCanReplacing);
    EXPECT_EQ(r.ioRatio, 1.0f);
    EXPECT_EQ(r.object, &effect);
    EXPECT_EQ(r.uniqueID, 0x4E6F4566);
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.user, nullptr);
    EXPECT_EQ(r.reserved1, 0);
    EXPECT_EQ(r.reserved2, 0);
    EXPECT_EQ(r.initialDelay, 0);
    EXPECT_EQ(r.realQualities, 0);
    EXPECT_EQ(r.offQualities, 0);
    for (char byte : r.future) EXPECT_EQ(byte, 0);

    EXPECT_EQ(effect.getAeffect(), &effect.cEffect);
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_EQ(effect.getEditor(), nullptr);
    EXPECT_TRUE(RecordingHost::calls().empty()) << "construction must not call the host";
}

TEST(EffectRecord, FlagSettersTouchOnlyTheirOwnBit) {
    struct Setter {
        void (*set)(ProbeEffect&, bool);
        VstInt32 bit;
    };
    const Setter setters[] = {
        {[](ProbeEffect& e, bool s) { e.hasClip(s); }, 0x2},
        {[](ProbeEffect& e, bool s) { e.hasVu(s); }, 0x4},
        {[](ProbeEffect& e, bool s) { e.canMono(s); }, 0x8},
        {[](ProbeEffect& e, bool s) { e.canProcessReplacing(s); }, 0x10},
        {[](ProbeEffect& e, bool s) { e.programsAreChunks(s); }, 0x20},
        {[](ProbeEffect& e, bool s) { e.isSynth(s); }, 0x100},
        {[](ProbeEffect& e, bool s) { e.noTail(s); }, 0x200},
        {[](ProbeEffect& e, bool s) { e.reservedFlag1(s); }, 0x400},
        {[](ProbeEffect& e, bool s) { e.reservedFlag2(s); }, 0x800},
        {[](ProbeEffect& e, bool s) { e.canDoubleReplacing(s); }, 0x1000},
    };
    for (const Setter& setter : setters) {
        ProbeEffect effect(nullptr);
        for (VstInt32 others : {0, ~0}) {
            effect.cEffect.flags = others;
            setter.set(effect, true);
            EXPECT_EQ(effect.cEffect.flags, others | setter.bit) << std::hex << setter.bit;
            setter.set(effect, false);
            EXPECT_EQ(effect.cEffect.flags, others & ~setter.bit) << std::hex << setter.bit;
        }
    }
}

// An effect that records which of its operations the static entries reached.
class EntryProbe : public ProbeEffect {
  public:
    using ProbeEffect::ProbeEffect;
    void processReplacing(float** in, float** out, VstInt32 frames) noexcept override {
        last = "processReplacing";
        lastIn = in;
        lastOut = out;
        lastFrames = frames;
    }
    void process(float** in, float** out, VstInt32 frames) noexcept override {
        last = "process";
        lastIn = in;
        lastOut = out;
        lastFrames = frames;
    }
    void processDoubleReplacing(double**, double**, VstInt32 frames) noexcept override {
        last = "processDoubleReplacing";
        lastFrames = frames;
    }
    void setParameter(VstInt32 index, float value) override {
        last = "setParameter";
        lastIndex = index;
        lastValue = value;
    }
    float getParameter(VstInt32 index) override {
        lastIndex = index;
        return 0.75f;
    }
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override {
        if (opcode == 1000) throw std::runtime_error("opcode failed");
        return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
    }
    std::string last;
    float** lastIn = nullptr;
    float** lastOut = nullptr;
    VstInt32 lastFrames = 0;
    VstInt32 lastIndex = 0;
    float lastValue = 0.0f;
};

TEST(StaticEntries, FindTheEffectThroughTheObjectFieldNotTheRecordAddress) {
    EntryProbe effect(nullptr);
    // A copy of the record at another address still reaches the same effect.
    AEffect copy;
    std::memcpy(&copy, &effect.cEffect, sizeof(copy));
    float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};

    copy.processReplacing(&copy, in, out, 32);
    EXPECT_EQ(effect.last, "processReplacing");
    EXPECT_EQ(effect.lastIn, in);
    EXPECT_EQ(effect.lastOut, out);
    EXPECT_EQ(effect.lastFrames, 32);

    copy.process(&copy, in, out, 16);
    EXPECT_EQ(effect.last, "process");
    EXPECT_EQ(effect.lastFrames, 16);

    copy.processDoubleReplacing(&copy, nullptr, nullptr, 8);
    EXPECT_EQ(effect.last, "processDoubleReplacing");
    EXPECT_EQ(effect.lastFrames, 8);

    copy.setParameter(&copy, 5, 0.25f);
    EXPECT_EQ(effect.last, "setParameter");
    EXPECT_EQ(effect.lastIndex, 5);
    EXPECT_EQ(effect.lastValue, 0.25f);

    EXPECT_EQ(copy.getParameter(&copy, 9), 0.75f);
    EXPECT_EQ(effect.lastIndex, 9);

    EXPECT_EQ(copy.dispatcher(&copy, effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
}

TEST(StaticEntries, CloseAnswersOneAndDeletesTheEffectWithItsEditor) {
    bool effectGone = false;
    bool editorGone = false;
    auto* effect = new ProbeEffect(nullptr, 1, 0, &effectGone);
    effect->setEditor(new ProbeEditor(effect, &editorGone));
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(effectGone);
    EXPECT_TRUE(editorGone);
}

TEST(StaticEntries, NoExceptionReachesTheHost) {
    EntryProbe effect(nullptr);
    AEffect* record = effect.getAeffect();
    EXPECT_EQ(record->dispatcher(record, 1000, 0, 0, nullptr, 0.0f), 0);
}

TEST(BaseDefaults, LeaveOutputsAndParametersAlone) {
    ProbeEffect effect(nullptr);
    AEffect* record = effect.getAeffect();
    float left[4] = {1, 2, 3, 4};
    float right[4] = {5, 6, 7, 8};
    float outLeft[4] = {9, 9, 9, 9};
    float outRight[4] = {9, 9, 9, 9};
    float* in[2] = {left, right};
    float* out[2] = {outLeft, outRight};
    record->process(record, in, out, 4);
    double dIn[4] = {1, 2, 3, 4};
    double dOut[4] = {9, 9, 9, 9};
    double* dIns[2] = {dIn, dIn};
    double* dOuts[2] = {dOut, dOut};
    record->processDoubleReplacing(record, dIns, dOuts, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(outLeft[i], 9.0f);
        EXPECT_EQ(outRight[i], 9.0f);
        EXPECT_EQ(dOut[i], 9.0);
    }
    record->setParameter(record, 0, 0.5f);
    EXPECT_EQ(record->getParameter(record, 0), 0.0f);
    EXPECT_EQ(record->getParameter(record, -1), 0.0f);
    EXPECT_EQ(effect.getVu(), 0.0f);
}

}  // namespace
