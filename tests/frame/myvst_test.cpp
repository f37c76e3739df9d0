// MyVST as built by the entry: its record, pass-through audio, when its kernels are built,
// MIDI answers, and the entry's version rule.
#include "plugin/myvst.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/kernel_set.h"
#include "plugin/plugin_entry.h"
#include "recording_host.h"

namespace {

VstIntPtr close(AEffect* e) {
    return e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

TEST(Entry, AsksTheHostVersionFirstAndGivesUpOnZero) {
    RecordingHost::reset(0);
    EXPECT_EQ(createCqscopeEffect(RecordingHost::callback), nullptr);
    ASSERT_EQ(RecordingHost::calls().size(), 1u);
    const HostCall& c = RecordingHost::calls()[0];
    EXPECT_EQ(c.effect, nullptr);
    EXPECT_EQ(c.opcode, audioMasterVersion);
    EXPECT_EQ(c.index, 0);
    EXPECT_EQ(c.value, 0);
    EXPECT_EQ(c.ptr, nullptr);
    EXPECT_EQ(c.opt, 0.0f);

    EXPECT_EQ(createCqscopeEffect(nullptr), nullptr) << "no callback: no effect, no crash";
}

TEST(Entry, AnyNonZeroVersionGivesTheFullRecord) {
    for (VstIntPtr version : {VstIntPtr{1}, VstIntPtr{2400}, VstIntPtr{-1}}) {
        RecordingHost::reset(version);
        AEffect* e = createCqscopeEffect(RecordingHost::callback);
        ASSERT_NE(e, nullptr) << version;
        EXPECT_EQ(e->magic, 0x56737450);
        EXPECT_EQ(e->numPrograms, 1);
        EXPECT_EQ(e->numParams, 0);
        EXPECT_EQ(e->numInputs, 2);
        EXPECT_EQ(e->numOutputs, 2);
        EXPECT_EQ(e->flags & ~effFlagsHasEditor, effFlagsCanReplacing);
        EXPECT_EQ(e->initialDelay, 0);
        EXPECT_EQ(e->ioRatio, 1.0f);
        EXPECT_EQ(e->uniqueID, 0x64713933);
        EXPECT_EQ(e->version, 1);
        auto* effect = static_cast<AudioEffect*>(e->object);
        EXPECT_EQ(effect->getAeffect(), e);
        EXPECT_EQ(close(e), 1);
    }
}

std::uint32_t bits(float f) {
    return std::bit_cast<std::uint32_t>(f);
}

TEST(MyVSTAudio, PassesBothChannelsThroughBitForBit) {
    RecordingHost::reset(1);
    MyVST effect(RecordingHost::callback);
    const float quietNaN = std::bit_cast<float>(0x7FC01234u);
    const float signalingNaN = std::bit_cast<float>(0x7F800001u);
    std::vector<float> left = {0.25f, -1.0f, quietNaN, INFINITY, 1e-42f, -0.0f};
    std::vector<float> right = {0.5f, signalingNaN, -INFINITY, 3.0f, -1e-40f, 0.0f};
    std::vector<float> outLeft(left.size(), 9.0f), outRight(left.size(), 9.0f);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    effect.processReplacing(in, out, static_cast<VstInt32>(left.size()));
    for (size_t k = 0; k < left.size(); ++k) {
        EXPECT_EQ(bits(outLeft[k]), bits(left[k])) << k;
        EXPECT_EQ(bits(outRight[k]), bits(right[k])) << k;
    }

    // Nothing is written for an empty or negative block.
    std::vector<float> untouched(left.size(), 9.0f);
    float* out2[2] = {untouched.data(), untouched.data()};
    effect.processReplacing(in, out2, 0);
    effect.processReplacing(in, out2, -5);
    for (float v : untouched) EXPECT_EQ(v, 9.0f);

    // In place: the audio stays as it was.
    std::vector<float> l2 = left, r2 = right;
    float* inPlace[2] = {l2.data(), r2.data()};
    effect.processReplacing(inPlace, inPlace, static_cast<VstInt32>(l2.size()));
    for (size_t k = 0; k < left.size(); ++k) {
        EXPECT_EQ(bits(l2[k]), bits(left[k]));
        EXPECT_EQ(bits(r2[k]), bits(right[k]));
    }
}

// Moved with the copy from the analysis to the effect: output 0 is input 1, so frame by frame
// the right channel is overwritten by the left one before it is read, and both the second
// copy and the analysis see the left samples.
TEST(MyVSTAudio, CrossWiredBuffersAreCopiedFrameByFrameBeforeTheAnalysisReads) {
    RecordingHost::reset(1);
    MyVST effect(RecordingHost::callback);
    effect.resume();  // 44.1 kHz kernels, built beside
    ASSERT_TRUE(effect.core().waitUntilReady(std::chrono::seconds(60)));
    std::vector<float> left = {0.5f, -1.0f, 0.25f};
    std::vector<float> right = {0.25f, 1.0f, -0.75f};
    const std::vector<float> leftBefore = left;
    float* crossOut[2] = {right.data(), left.data()};
    float* crossIn[2] = {left.data(), right.data()};
    effect.processReplacing(crossIn, crossOut, 3);
    EXPECT_EQ(right, leftBefore);
    EXPECT_EQ(left, leftBefore);
    auto& bank = effect.core().analyser().bank();
    for (std::uint32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(bank.historyAt(k), static_cast<double>(leftBefore[k]));
    }
}

// Plays `blocks` 512-frame blocks of an A4 sine (amplitude 0.5) at `rate` Hz.
void playA4(MyVST& effect, double rate, int blocks) {
    std::vector<float> left(512), right(512), outLeft(512), outRight(512);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    for (int b = 0; b < blocks; ++b) {
        for (int k = 0; k < 512; ++k) {
            left[k] = right[k] = static_cast<float>(
                0.5 * std::sin(6.283185307179586 * 440.0 * (b * 512 + k) / rate));
        }
        effect.processReplacing(in, out, 512);
        ASSERT_EQ(outLeft, left);
        ASSERT_EQ(outRight, right);
    }
}

// When kernels are built: never by a host's scan, once by a start at the host's rate, and on
// the display's thread for a host that plays without resuming.
TEST(MyVSTKernels, AScanBuildsNothingAndA48kHzStartBuildsOneSet) {
    RecordingHost::reset(2400);
    const int builtBefore = cqscope::KernelSet::builtCount();
    AEffect* e = createCqscopeEffect(RecordingHost::callback);
    ASSERT_NE(e, nullptr);
    char text[256] = {};
    e->dispatcher(e, effGetEffectName, 0, 0, text, 0.0f);
    e->dispatcher(e, effGetVendorString, 0, 0, text, 0.0f);
    e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0.0f);
    char midi[] = "receiveVstMidiEvent";
    e->dispatcher(e, effCanDo, 0, 0, midi, 0.0f);
    ERect* rect = nullptr;
    e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f);
    EXPECT_EQ(close(e), 1);
    EXPECT_EQ(cqscope::KernelSet::builtCount(), builtBefore) << "a scan built kernels";

    e = createCqscopeEffect(RecordingHost::callback);
    ASSERT_NE(e, nullptr);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    auto& effect = *static_cast<MyVST*>(static_cast<AudioEffect*>(e->object));
    ASSERT_TRUE(effect.core().waitUntilReady(std::chrono::seconds(60)));
    EXPECT_EQ(cqscope::KernelSet::builtCount(), builtBefore + 1);
    // Switching off and on again at the same rate builds nothing more.
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    ASSERT_TRUE(effect.core().waitUntilReady(std::chrono::seconds(60)));
    playA4(effect, 48000.0, 80);
    effect.core().transform();
    EXPECT_NEAR(effect.core().magnitude(3, 90), 0.125, 1e-3) << "A4 at 48 kHz";
    EXPECT_EQ(cqscope::KernelSet::builtCount(), builtBefore + 1);
    EXPECT_EQ(close(e), 1);
}

TEST(MyVSTKernels, AudioBeforeTheFirstBankPassesThroughAndTheDisplayBuildsIt) {
    RecordingHost::reset(1);
    MyVST effect(RecordingHost::callback);
    const int builtBefore = cqscope::KernelSet::builtCount();
    effect.setSampleRate(48000.0f);
    // Not analysed: no span, no magnitudes, no kernels; the audio itself is untouched.
    playA4(effect, 48000.0, 20);
    EXPECT_EQ(effect.core().signalSpan(), 0.0f);
    effect.core().transform();
    EXPECT_EQ(effect.core().magnitude(3, 90), 0.0);
    EXPECT_EQ(cqscope::KernelSet::builtCount(), builtBefore);

    // The display's refresh has the bank at the effect's rate built beside, once.
    effect.core().prepareAnalysis();
    effect.core().prepareAnalysis();
    ASSERT_TRUE(effect.core().waitUntilReady(std::chrono::seconds(60)));
    EXPECT_EQ(cqscope::KernelSet::builtCount(), builtBefore + 1);
    effect.core().prepareAnalysis();
    playA4(effect, 48000.0, 80);
    EXPECT_GT(effect.core().signalSpan(), 0.9f);
    effect.core().transform();
    EXPECT_NEAR(effect.core().magnitude(3, 90), 0.125, 1e-3);
    // A later resume at the same rate keeps that bank.
    effect.resume();
    ASSERT_TRUE(effect.core().waitUntilReady(std::chrono::seconds(60)));
    EXPECT_EQ(cqscope::KernelSet::builtCount(), builtBefore + 1);
}

TEST(MyVSTKernels, TheDisplayBuildsNothingWithoutAudio) {
    MyVST effect(nullptr);
    const int builtBefore = cqscope::KernelSet::builtCount();
    effect.core().prepareAnalysis();
    effect.core().transform();
    EXPECT_EQ(cqscope::KernelSet::builtCount(), builtBefore);
    EXPECT_EQ(effect.core().magnitude(0, 0), 0.0);
}

TEST(MyVSTMidi, CanDoAnswersOnlyTheExactText) {
    MyVST effect(nullptr);
    char exact[] = "receiveVstMidiEvent";
    EXPECT_EQ(effect.canDo(exact), 1);
    for (const char* other : {"receivevstmidievent", "receiveVstMidiEvents", "receiveVstMidiEven",
                              "", "sendVstMidiEvent", "receiveVstEvents"}) {
        std::string text = other;
        EXPECT_EQ(effect.canDo(text.data()), 0) << other;
    }
    EXPECT_EQ(effect.canDo(nullptr), 0);
    EXPECT_EQ(effect.dispatcher(effCanDo, 0, 0, exact, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effCanDo, 0, 0, nullptr, 0.0f), 0);
}

TEST(MyVSTMidi, ProcessEventsAnswersOneAndSwitchOnAsksForMidi) {
    RecordingHost::reset(1);
    MyVST effect(RecordingHost::callback);
    VstEvents none{};
    EXPECT_EQ(effect.dispatcher(effProcessEvents, 0, 0, &none, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effProcessEvents, 0, 0, nullptr, 0.0f), 1);

    effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    effect.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    const auto& calls = RecordingHost::calls();
    ASSERT_EQ(calls.size(), 2u) << "one MIDI request per switch-on, none on switch-off";
    for (const HostCall& c : calls) {
        EXPECT_EQ(c.effect, effect.getAeffect());
        EXPECT_EQ(c.opcode, audioMasterWantMidi);
        EXPECT_EQ(c.value, 1);
    }
}

}  // namespace
