// What the LV2 tests need of a host: a URID map, the DSP library loaded through its entry,
// and atom sequence buffers for its ports.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "lv2/lv2_uris.h"

namespace lv2test {

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
inline void writeMidi(
    SequenceBuffer& buffer, const UridMap& urids,
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

}  // namespace lv2test
