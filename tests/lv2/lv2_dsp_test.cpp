// The LV2 DSP library through its exported lv2_descriptor, as an LV2 host drives it: audio
// passes bit for bit whatever the buffers share, the notify port carries the held-note messages
// and every block's samples to the UI (in pieces for blocks too large for its buffer), and a
// host without urid:map still gets the audio.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lv2/block_message.h"
#include "lv2/lv2_uris.h"

namespace {

using namespace cqscope::lv2;

// A host's URID map: URIs numbered from 1 in the order asked.
class UridMap {
  public:
    UridMap() : map_{this, &UridMap::map}, feature_{LV2_URID__map, &map_} {}
    const LV2_URID_Map& map() const { return map_; }
    const LV2_Feature* feature() const { return &feature_; }

  private:
    static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri) {
        auto& ids = static_cast<UridMap*>(handle)->ids_;
        const auto found = ids.find(uri);
        if (found != ids.end()) return found->second;
        const auto id = static_cast<LV2_URID>(ids.size() + 1);
        ids.emplace(uri, id);
        return id;
    }
    std::map<std::string, LV2_URID> ids_;
    LV2_URID_Map map_;
    LV2_Feature feature_;
};

class Dsp {
  public:
    explicit Dsp(const LV2_Feature* const* features, double rate = 48000) {
        module_ = dlopen(CQSCOPE_LV2_DSP_PATH, RTLD_NOW | RTLD_LOCAL);
        if (module_ == nullptr) {
            ADD_FAILURE() << dlerror();
            return;
        }
        const auto entry = reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(
            dlsym(module_, "lv2_descriptor"));
        if (entry == nullptr) {
            ADD_FAILURE() << "no lv2_descriptor";
            return;
        }
        descriptor_ = entry(0);
        EXPECT_EQ(entry(1), nullptr);
        EXPECT_STREQ(descriptor_->URI, CQSCOPE_LV2_URI);
        handle_ = descriptor_->instantiate(descriptor_, rate, CQSCOPE_LV2_BUNDLE, features);
        EXPECT_NE(handle_, nullptr);
    }
    ~Dsp() {
        if (handle_ != nullptr) descriptor_->cleanup(handle_);
        if (module_ != nullptr) dlclose(module_);
    }
    void connect(std::uint32_t port, void* data) { descriptor_->connect_port(handle_, port, data); }
    void run(std::uint32_t frames) { descriptor_->run(handle_, frames); }
    bool ready() const { return handle_ != nullptr; }

  private:
    void* module_ = nullptr;
    const LV2_Descriptor* descriptor_ = nullptr;
    LV2_Handle handle_ = nullptr;
};

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

// An atom sequence buffer as a host gives it to a port.
struct SequenceBuffer {
    explicit SequenceBuffer(std::size_t bytes) : storage((bytes + 7) / 8 + 1) { clearForOutput(); }
    LV2_Atom_Sequence* sequence() { return reinterpret_cast<LV2_Atom_Sequence*>(storage.data()); }
    // An output port: the capacity in atom.size, as hosts hand it over before each run.
    void clearForOutput() {
        sequence()->atom.type = 0;
        sequence()->atom.size = static_cast<std::uint32_t>(storage.size() * 8 - sizeof(LV2_Atom));
    }
    std::vector<std::uint64_t> storage;
};

// A MIDI input sequence with the given (frame, 3-byte message) events.
void writeMidi(SequenceBuffer& buffer, const UridMap& urids,
               const std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>>& events) {
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, const_cast<LV2_URID_Map*>(&urids.map()));
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(buffer.storage.data()),
                              buffer.storage.size() * 8);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_sequence_head(&forge, &frame, 0);
    const LV2_URID midiEvent = urids.map().map(urids.map().handle, LV2_MIDI__MidiEvent);
    for (const auto& [time, bytes] : events) {
        lv2_atom_forge_frame_time(&forge, time);
        lv2_atom_forge_atom(&forge, static_cast<std::uint32_t>(bytes.size()), midiEvent);
        lv2_atom_forge_write(&forge, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    lv2_atom_forge_pop(&forge, &frame);
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
