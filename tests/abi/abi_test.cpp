// The built module driven as a host drives it: through dlopen, both entry names, the record's
// fields at their byte offsets, and its six entries.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../frame/recording_host.h"
#include "loaded_module.h"

namespace {

constexpr bool k64 = sizeof(void*) == 8;
constexpr std::size_t off(std::size_t off32, std::size_t off64) {
    return k64 ? off64 : off32;
}

VstIntPtr send(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
               void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RecordingHost::reset(2400);
        ASSERT_NE(module.pluginMain, nullptr);
        ASSERT_NE(module.main, nullptr);
    }
    LoadedModule module;
};

TEST_F(ModuleTest, BothEntryNamesGiveARecordWithItsValuesAtTheirOffsets) {
    for (EntryFunction entry : {module.pluginMain, module.main}) {
        RecordingHost::reset(2400);
        AEffect* e = entry(RecordingHost::callback);
        ASSERT_NE(e, nullptr);
        ASSERT_EQ(RecordingHost::calls().size(), 1u);
        EXPECT_EQ(RecordingHost::calls()[0].opcode, audioMasterVersion);
        EXPECT_EQ(RecordingHost::calls()[0].effect, nullptr);

        EXPECT_EQ(fieldAt<std::int32_t>(e, 0), 0x56737450);
        EXPECT_NE(fieldAt<void*>(e, off(4, 8)), nullptr);    // dispatcher
        EXPECT_NE(fieldAt<void*>(e, off(8, 16)), nullptr);   // process
        EXPECT_NE(fieldAt<void*>(e, off(12, 24)), nullptr);  // setParameter
        EXPECT_NE(fieldAt<void*>(e, off(16, 32)), nullptr);  // getParameter
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(20, 40)), 1);
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(24, 44)), 0);
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(28, 48)), 2);
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(32, 52)), 2);
        const std::int32_t flags = fieldAt<std::int32_t>(e, off(36, 56));
        EXPECT_EQ(flags & ~effFlagsHasEditor, 0x10) << "replacing; no synth, chunk or vu bits";
        EXPECT_EQ(fieldAt<std::intptr_t>(e, off(40, 64)), 0);
        EXPECT_EQ(fieldAt<std::intptr_t>(e, off(44, 72)), 0);
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(48, 80)), 0);
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(52, 84)), 0);
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(56, 88)), 0);
        EXPECT_EQ(fieldAt<float>(e, off(60, 92)), 1.0f);
        EXPECT_NE(fieldAt<void*>(e, off(64, 96)), nullptr);   // object
        EXPECT_EQ(fieldAt<void*>(e, off(68, 104)), nullptr);  // user
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(72, 112)), 0x64713933);
        EXPECT_EQ(fieldAt<std::int32_t>(e, off(76, 116)), 1);
        EXPECT_NE(fieldAt<void*>(e, off(80, 120)), nullptr);  // processReplacing
        EXPECT_NE(fieldAt<void*>(e, off(84, 128)), nullptr);  // processDoubleReplacing
        for (std::size_t i = 0; i < 56; ++i)
            EXPECT_EQ(fieldAt<unsigned char>(e, off(88, 136) + i), 0) << "future byte " << i;

        EXPECT_EQ(send(e, effClose), 1);
    }
}

TEST_F(ModuleTest, VersionZeroGivesNoEffect) {
    RecordingHost::reset(0);
    EXPECT_EQ(module.pluginMain(RecordingHost::callback), nullptr);
    EXPECT_EQ(module.main(RecordingHost::callback), nullptr);
    EXPECT_EQ(module.main(nullptr), nullptr);
}

TEST_F(ModuleTest, EveryDispatcherRowAnswersAsExpected) {
    AEffect* e = module.pluginMain(RecordingHost::callback);
    ASSERT_NE(e, nullptr);
    const bool hasEditor = (e->flags & effFlagsHasEditor) != 0;
    char marker[8] = "marker";

    // Opcodes whose answer is not 0 (the editor rows are checked below).
    auto expected = [&](VstInt32 opcode) -> VstIntPtr {
        switch (opcode) {
            case effIdentify:
                return 0x4E764566;
            case effProcessEvents:
                return 1;
            case effCanBeAutomated:
                return 1;
            case effGetVstVersion:
                return 2400;
            case effGetCurrentMidiProgram:
                return -1;
            case effGetNumMidiInputChannels:
                return 1;
            default:
                return 0;
        }
    };
    for (VstInt32 opcode = 0; opcode <= 79; ++opcode) {
        switch (opcode) {
            case effClose:        // last, below
            case effEditGetRect:  // editor rows, below
            case effEditOpen:
            case effEditClose:
            case effEditIdle:
            case effEditKeyDown:
            case effEditKeyUp:
            case effSetEditKnobMode:
            case effSetTotalSampleToProcess:  // echoes its value, below
            case effGetSpeakerArrangement:    // writes through value and ptr, below
            case effGetChunk:                 // writes through ptr, below
            case effCanDo:                    // reads a text, below
            case effSetProgram:               // below
            case effProcessEvents:            // reads an event list: abi_analysis_test.cpp
                continue;
            default:
                break;
        }
        // Text opcodes get a real buffer; every other row ignores the pointer's contents.
        char text[256];
        std::memset(text, 'x', sizeof(text));
        text[255] = '\0';
        EXPECT_EQ(send(e, opcode, 0, 0, text, 0.0f), expected(opcode)) << "opcode " << opcode;
    }
    for (VstInt32 opcode : {-1, -100, INT_MIN, 80, 81, 100, 1000, INT_MAX}) {
        EXPECT_EQ(send(e, opcode, 1, 1, marker, 1.0f), 0) << "opcode " << opcode;
    }

    EXPECT_EQ(send(e, effSetTotalSampleToProcess, 0, -77), -77);
    EXPECT_EQ(send(e, effSetTotalSampleToProcess, 0, 44100), 44100);

    VstSpeakerArrangement* in = reinterpret_cast<VstSpeakerArrangement*>(marker);
    VstSpeakerArrangement* out = in;
    EXPECT_EQ(send(e, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(send(e, effGetSpeakerArrangement, 0, 0, nullptr), 0) << "null addresses tolerated";

    void* chunk = marker;
    EXPECT_EQ(send(e, effGetChunk, 0, 0, &chunk), 0);
    EXPECT_EQ(chunk, marker);

    char midi[] = "receiveVstMidiEvent";
    char other[] = "receiveVstEvents";
    EXPECT_EQ(send(e, effCanDo, 0, 0, midi), 1);
    EXPECT_EQ(send(e, effCanDo, 0, 0, other), 0);
    EXPECT_EQ(send(e, effCanDo, 0, 0, nullptr), 0);

    EXPECT_EQ(send(e, effSetProgram, 0, 1), 0);
    EXPECT_EQ(send(e, effGetProgram), 0) << "only one program";
    EXPECT_EQ(send(e, effSetProgram, 0, -1), 0);
    EXPECT_EQ(send(e, effGetProgram), -1);

    // Without an editor every editor row answers 0; with one, the rectangle is the editor's
    // and a knob-mode change is accepted.
    ERect* rect = nullptr;
    EXPECT_EQ(send(e, effEditGetRect, 0, 0, &rect), hasEditor ? 1 : 0);
    EXPECT_EQ(rect != nullptr, hasEditor);
    EXPECT_EQ(send(e, effEditGetRect, 0, 0, nullptr), 0);
    EXPECT_EQ(send(e, effEditKeyDown, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(send(e, effEditKeyUp, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(send(e, effSetEditKnobMode, 0, 1), hasEditor ? 1 : 0);
    if (!hasEditor) {
        EXPECT_EQ(send(e, effEditOpen, 0, 0, marker), 0);
        EXPECT_EQ(send(e, effEditIdle), 0);
        EXPECT_EQ(send(e, effEditClose), 0);
    }

    EXPECT_EQ(send(e, effClose), 1);
}

TEST_F(ModuleTest, AudioEntriesPassThroughOrLeaveOutputsAlone) {
    AEffect* e = module.pluginMain(RecordingHost::callback);
    ASSERT_NE(e, nullptr);
    send(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    send(e, effSetBlockSize, 0, 64);
    send(e, effMainsChanged, 0, 1);

    std::vector<float> left(64), right(64);
    for (int k = 0; k < 64; ++k) {
        left[static_cast<size_t>(k)] = std::sin(0.1f * static_cast<float>(k));
        right[static_cast<size_t>(k)] = -0.5f + static_cast<float>(k) / 64.0f;
    }
    std::vector<float> outLeft(64, 9.0f), outRight(64, 9.0f);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    e->processReplacing(e, in, out, 64);
    EXPECT_EQ(std::memcmp(outLeft.data(), left.data(), 64 * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(outRight.data(), right.data(), 64 * sizeof(float)), 0);

    std::vector<float> untouched(64, 9.0f), untouched2(64, 9.0f);
    float* out2[2] = {untouched.data(), untouched2.data()};
    e->process(e, in, out2, 64);
    std::vector<double> dIn(64, 0.5), dOut(64, 9.0);
    double* dIns[2] = {dIn.data(), dIn.data()};
    double* dOuts[2] = {dOut.data(), dOut.data()};
    e->processDoubleReplacing(e, dIns, dOuts, 64);
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(untouched[static_cast<size_t>(k)], 9.0f);
        EXPECT_EQ(untouched2[static_cast<size_t>(k)], 9.0f);
        EXPECT_EQ(dOut[static_cast<size_t>(k)], 9.0);
    }
    e->setParameter(e, 0, 0.5f);
    EXPECT_EQ(e->getParameter(e, 0), 0.0f);
    EXPECT_EQ(e->getParameter(e, 12345), 0.0f);
    send(e, effMainsChanged, 0, 0);
    EXPECT_EQ(send(e, effClose), 1);
}

TEST_F(ModuleTest, SwitchingOnAsksTheHostForMidiEveryTime) {
    AEffect* e = module.pluginMain(RecordingHost::callback);
    ASSERT_NE(e, nullptr);
    RecordingHost::reset(0);
    for (int i = 0; i < 3; ++i) {
        send(e, effMainsChanged, 0, 1);
        send(e, effMainsChanged, 0, 0);
    }
    const auto& calls = RecordingHost::calls();
    ASSERT_EQ(calls.size(), 3u);
    for (const HostCall& c : calls) {
        EXPECT_EQ(c.effect, e);
        EXPECT_EQ(c.opcode, audioMasterWantMidi);
        EXPECT_EQ(c.index, 0);
        EXPECT_EQ(c.value, 1);
        EXPECT_EQ(c.ptr, nullptr);
        EXPECT_EQ(c.opt, 0.0f);
    }
    EXPECT_EQ(send(e, effClose), 1);
}

TEST_F(ModuleTest, TwoInstancesAreIndependent) {
    AEffect* a = module.pluginMain(RecordingHost::callback);
    AEffect* b = module.main(RecordingHost::callback);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->object, b->object);

    send(a, effSetProgram, 0, -3);
    EXPECT_EQ(send(a, effGetProgram), -3);
    EXPECT_EQ(send(b, effGetProgram), 0);

    // Audio through one instance does not reach the other's outputs.
    float left[4] = {1, 2, 3, 4}, right[4] = {5, 6, 7, 8};
    float outA0[4] = {}, outA1[4] = {}, outB0[4] = {9, 9, 9, 9}, outB1[4] = {9, 9, 9, 9};
    float* in[2] = {left, right};
    float* outA[2] = {outA0, outA1};
    a->processReplacing(a, in, outA, 4);
    EXPECT_EQ(outA1[3], 8.0f);
    EXPECT_EQ(outB0[0], 9.0f);

    EXPECT_EQ(send(a, effClose), 1);
    // The second instance still works after the first is gone.
    float* outB[2] = {outB0, outB1};
    b->processReplacing(b, in, outB, 4);
    EXPECT_EQ(outB0[0], 1.0f);
    EXPECT_EQ(send(b, effIdentify), 0x4E764566);
    EXPECT_EQ(send(b, effClose), 1);
}

}  // namespace
