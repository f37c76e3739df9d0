// The LV2 DSP library through its exported lv2_descriptor, as an LV2 host drives it: audio
// passes bit for bit whatever the buffers share, the notify port carries the held-note messages
// and every block's samples to the UI (whole, or not at all where the host's buffer is too small
// for it), and a host without urid:map still gets the audio.
#include <gtest/gtest.h>
#include <lv2/atom/util.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "lv2/block_message.h"
#include "lv2_test_support.h"

namespace {

using namespace cqscope::lv2;
using namespace lv2test;

std::vector<float> signal(std::size_t frames, float seed) {
    std::vector<float> samples(frames);
    for (std::size_t k = 0; k < frames; ++k)
        samples[k] = std::sin(seed * static_cast<float>(k + 1)) * 0.7f;
    // Values a copy through arithmetic would change.
    if (frames > 3) {
        samples[0] = -0.0f;
        samples[1] = std::nanf("");
        samples[2] = 1e-42f;
    }
    return samples;
}

bool sameBits(const float* a, const float* b, std::size_t frames) {
    return std::memcmp(a, b, frames * sizeof(float)) == 0;
}

// What the UI receives from one run's notify sequence: the MIDI messages and the blocks.
struct Received {
    std::vector<std::vector<std::uint8_t>> midi;
    std::vector<std::vector<float>> left, right;
    std::vector<double> rates;
};

Received readNotify(LV2_Atom_Sequence* notify, const MessageUris& uris) {
    Received received;
    BlockMessage block;
    LV2_ATOM_SEQUENCE_FOREACH(notify, event) {
        if (event->body.type == uris.midiEvent) {
            const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY(&event->body));
            received.midi.emplace_back(bytes, bytes + event->body.size);
        } else if (event->body.type == uris.atomObject &&
                   readBlock(*reinterpret_cast<const LV2_Atom_Object*>(&event->body), uris,
                             block)) {
            const auto frames = static_cast<std::size_t>(block.frames);
            received.left.emplace_back(block.channels[0], block.channels[0] + frames);
            received.right.emplace_back(block.channels[1], block.channels[1] + frames);
            received.rates.push_back(block.rate);
        }
    }
    return received;
}

TEST(Lv2Dsp, AudioPassesBitForBitInSeparateInPlaceAndCrossedBuffers) {
    UridMap urids;
    const LV2_Feature* features[] = {urids.feature(), nullptr};
    for (const std::uint32_t frames : {1u, 7u, 512u, 4096u}) {
        const auto left = signal(frames, 0.01f);
        const auto right = signal(frames, 0.37f);
        Dsp dsp(features);
        ASSERT_TRUE(dsp.ready());
        SequenceBuffer notify(kNotifyBufferBytes);
        dsp.connect(kNotify, notify.sequence());
        dsp.connect(kMidiInput, nullptr);

        // Separate buffers.
        auto inL = left, inR = right;
        std::vector<float> outL(frames, 9.0f), outR(frames, 9.0f);
        dsp.connect(kInputLeft, inL.data());
        dsp.connect(kInputRight, inR.data());
        dsp.connect(kOutputLeft, outL.data());
        dsp.connect(kOutputRight, outR.data());
        dsp.run(frames);
        EXPECT_TRUE(sameBits(outL.data(), left.data(), frames)) << frames << " frames";
        EXPECT_TRUE(sameBits(outR.data(), right.data(), frames)) << frames << " frames";
        EXPECT_TRUE(sameBits(inL.data(), left.data(), frames)) << "an input was written";

        // In place: each output is its own input.
        dsp.connect(kOutputLeft, inL.data());
        dsp.connect(kOutputRight, inR.data());
        notify.clearForOutput();
        dsp.run(frames);
        EXPECT_TRUE(sameBits(inL.data(), left.data(), frames));
        EXPECT_TRUE(sameBits(inR.data(), right.data(), frames));

        // Crossed: each output is the other channel's input.
        dsp.connect(kOutputLeft, inR.data());
        dsp.connect(kOutputRight, inL.data());
        notify.clearForOutput();
        dsp.run(frames);
        EXPECT_TRUE(sameBits(inR.data(), left.data(), frames)) << frames << " frames, crossed";
        EXPECT_TRUE(sameBits(inL.data(), right.data(), frames)) << frames << " frames, crossed";
    }
}

TEST(Lv2Dsp, NotifyCarriesNoteMessagesAndEveryBlockWholeToTheUi) {
    UridMap urids;
    const LV2_Feature* features[] = {urids.feature(), nullptr};
    Dsp dsp(features, 44100);
    ASSERT_TRUE(dsp.ready());
    const MessageUris uris(urids.map());
    SequenceBuffer midiIn(4096), notify(kNotifyBufferBytes);
    dsp.connect(kMidiInput, midiIn.sequence());
    dsp.connect(kNotify, notify.sequence());

    // A block that fits in one message, with notes, a controller and a pitch bend among them:
    // only the note-on and note-off reach the UI, in their order.
    const std::uint32_t frames = 512;
    auto left = signal(frames, 0.02f), right = signal(frames, 0.11f);
    std::vector<float> outL(frames), outR(frames);
    dsp.connect(kInputLeft, left.data());
    dsp.connect(kInputRight, right.data());
    dsp.connect(kOutputLeft, outL.data());
    dsp.connect(kOutputRight, outR.data());
    writeMidi(midiIn, urids,
              {{0, {0x90, 60, 100}},
               {10, {0xB0, 7, 90}},
               {20, {0xE0, 0, 64}},
               {300, {0x81, 64, 0}},
               {511, {0x9F, 67, 0}}});
    dsp.run(frames);
    Received got = readNotify(notify.sequence(), uris);
    ASSERT_EQ(got.midi.size(), 3u);
    EXPECT_EQ(got.midi[0], (std::vector<std::uint8_t>{0x90, 60, 100}));
    EXPECT_EQ(got.midi[1], (std::vector<std::uint8_t>{0x81, 64, 0}));
    EXPECT_EQ(got.midi[2], (std::vector<std::uint8_t>{0x9F, 67, 0}));
    ASSERT_EQ(got.left.size(), 1u);
    EXPECT_EQ(got.rates[0], 44100.0);
    ASSERT_EQ(got.left[0].size(), frames);
    EXPECT_TRUE(sameBits(got.left[0].data(), left.data(), frames));
    EXPECT_TRUE(sameBits(got.right[0].data(), right.data(), frames));

    // A block three times what the port's minimum size holds arrives whole where the host
    // gives a larger buffer.
    const std::uint32_t large = 3 * 8192 + 5;
    SequenceBuffer bigNotify(4 * kNotifyBufferBytes);
    dsp.connect(kNotify, bigNotify.sequence());
    left = signal(large, 0.03f);
    right = signal(large, 0.05f);
    outL.assign(large, 0);
    outR.assign(large, 0);
    dsp.connect(kInputLeft, left.data());
    dsp.connect(kInputRight, right.data());
    dsp.connect(kOutputLeft, outL.data());
    dsp.connect(kOutputRight, outR.data());
    writeMidi(midiIn, urids, {});
    dsp.run(large);
    got = readNotify(bigNotify.sequence(), uris);
    ASSERT_EQ(got.left.size(), 1u);
    ASSERT_EQ(got.left[0].size(), large);
    EXPECT_TRUE(sameBits(got.left[0].data(), left.data(), large));
    EXPECT_TRUE(sameBits(got.right[0].data(), right.data(), large));
    EXPECT_TRUE(sameBits(outL.data(), left.data(), large));

    // The same block into the port's minimum buffer: it cannot fit, so the UI gets no block
    // at all rather than a part of one (the sequence stays well formed); the audio passes.
    notify.clearForOutput();
    dsp.connect(kNotify, notify.sequence());
    dsp.run(large);
    got = readNotify(notify.sequence(), uris);
    EXPECT_TRUE(got.left.empty());
    EXPECT_TRUE(sameBits(outR.data(), right.data(), large));

    // And the next block that fits arrives whole again.
    notify.clearForOutput();
    dsp.run(100);
    got = readNotify(notify.sequence(), uris);
    ASSERT_EQ(got.left.size(), 1u);
    EXPECT_TRUE(sameBits(got.left[0].data(), left.data(), 100));
}

// The atoms of a sequence (its header and events), for comparing two sequences byte for byte.
std::vector<std::uint8_t> sequenceBytes(const LV2_Atom_Sequence* sequence) {
    const auto* begin = reinterpret_cast<const std::uint8_t*>(sequence);
    return {begin, begin + sizeof(LV2_Atom) + sequence->atom.size};
}

TEST(Lv2Dsp, MidiOutputPassesEveryInputEventWholeInOrderAtItsFrame) {
    UridMap urids;
    const LV2_Feature* features[] = {urids.feature(), nullptr};
    Dsp dsp(features);
    ASSERT_TRUE(dsp.ready());
    // The MIDI ports alone: a host may leave the audio and the display unconnected.
    SequenceBuffer midiIn(4096), midiOut(4096);
    dsp.connect(kMidiInput, midiIn.sequence());
    dsp.connect(kMidiOutput, midiOut.sequence());
    const std::uint32_t frames = 256;

    // Notes, controllers, a program change, pitch bend, aftertouch, a system exclusive message,
    // two events at one frame: the output is the input, atom for atom.
    writeMidi(midiIn, urids,
              {{0, {0x90, 60, 100}},
               {0, {0xB0, 1, 64}},
               {3, {0xC2, 5}},
               {40, {0xE0, 0, 64}},
               {41, {0xD0, 90}},
               {100, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
               {255, {0x80, 60, 0}}});
    dsp.run(frames);
    const LV2_URID sequenceType = urids.map().map(urids.map().handle, LV2_ATOM__Sequence);
    EXPECT_EQ(midiOut.sequence()->atom.type, sequenceType);
    EXPECT_EQ(sequenceBytes(midiOut.sequence()), sequenceBytes(midiIn.sequence()));

    // The next run's output holds that run's events only, none left over.
    midiOut.clearForOutput();
    writeMidi(midiIn, urids, {});
    dsp.run(frames);
    EXPECT_EQ(midiOut.sequence()->atom.type, sequenceType);
    EXPECT_EQ(midiOut.sequence()->atom.size, sizeof(LV2_Atom_Sequence_Body));

    // An output buffer with room for two of three events: the first two, and a well-formed
    // sequence, not a part of the third.
    SequenceBuffer small(sizeof(LV2_Atom) + sizeof(LV2_Atom_Sequence_Body) + 2 * 24);
    small.sequence()->atom.size = sizeof(LV2_Atom_Sequence_Body) + 2 * 24 + 4;
    dsp.connect(kMidiOutput, small.sequence());
    writeMidi(midiIn, urids, {{1, {0x90, 61, 1}}, {2, {0x90, 62, 2}}, {3, {0x90, 63, 3}}});
    dsp.run(frames);
    const auto whole = sequenceBytes(midiIn.sequence());
    const auto got = sequenceBytes(small.sequence());
    ASSERT_EQ(small.sequence()->atom.size, sizeof(LV2_Atom_Sequence_Body) + 2 * 24);
    EXPECT_TRUE(
        std::equal(got.begin() + sizeof(LV2_Atom), got.end(), whole.begin() + sizeof(LV2_Atom)));
}

TEST(Lv2Dsp, WithoutUridMapOrOptionalPortsAudioStillPasses) {
    // No features at all, as lv2apply instantiates; the atom ports unconnected, and connected
    // to buffers the plug-in must then leave alone.
    Dsp dsp(nullptr);
    ASSERT_TRUE(dsp.ready());
    const std::uint32_t frames = 64;
    const auto left = signal(frames, 0.2f), right = signal(frames, 0.3f);
    auto inL = left, inR = right;
    std::vector<float> outL(frames), outR(frames);
    dsp.connect(kInputLeft, inL.data());
    dsp.connect(kInputRight, inR.data());
    dsp.connect(kOutputLeft, outL.data());
    dsp.connect(kOutputRight, outR.data());
    for (std::uint32_t k = 0; k < frames; ++k) dsp.run(0);  // empty runs are fine
    dsp.run(frames);
    EXPECT_TRUE(sameBits(outL.data(), left.data(), frames));
    EXPECT_TRUE(sameBits(outR.data(), right.data(), frames));

    SequenceBuffer notify(1024);
    const auto before = notify.storage;
    dsp.connect(kNotify, notify.sequence());
    dsp.run(frames);
    EXPECT_EQ(notify.storage, before) << "without urid:map nothing can be written as atoms";
}

}  // namespace
