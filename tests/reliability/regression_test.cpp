// Regression tests for faults that the fuzzers and the validator found, each named after
// what it caught. They run in every build; the sanitizer builds are what made the first two
// visible (an index past a declared array bound reads correctly in a plain build).
#include <gtest/gtest.h>

#include <vector>

#include "core/display_source.h"
#include "frame/host_interface.h"
#include "plugin/myvst.h"
#include "plugin/plugin_entry.h"

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class Effect {
  public:
    Effect() : record_(createCqscopeEffect(hostCallback)) {}
    ~Effect() {
        if (record_ != nullptr) record_->dispatcher(record_, effClose, 0, 0, nullptr, 0.0f);
    }
    AEffect* record() const { return record_; }
    const DisplaySource& display() const {
        return static_cast<MyVST*>(static_cast<AudioEffect*>(record_->object))->core();
    }

  private:
    AEffect* record_;
};

// Found by the process-events fuzzer and the validator's MIDI floods: events past the second
// were read through the list record's declared two-element array (undefined behaviour that
// the undefined-behaviour sanitizer stops at index 2).
TEST(Regression, EventListsLongerThanTheDeclaredTwoAreReadWhole) {
    Effect effect;
    ASSERT_NE(effect.record(), nullptr);
    constexpr int kCount = 40;
    std::vector<VstMidiEvent> events(kCount);
    std::vector<VstIntPtr> list(2 + kCount);
    auto* header = reinterpret_cast<VstEvents*>(list.data());
    header->numEvents = kCount;
    for (int i = 0; i < kCount; ++i) {
        events[i].type = kVstMidiType;
        events[i].byteSize = sizeof(VstMidiEvent);
        events[i].midiData[0] = static_cast<char>(0x90);
        events[i].midiData[1] = static_cast<char>(40 + i);
        events[i].midiData[2] = 100;
        list[2 + i] = reinterpret_cast<VstIntPtr>(&events[i]);
    }
    EXPECT_EQ(effect.record()->dispatcher(effect.record(), effProcessEvents, 0, 0, header, 0.0f),
              1);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(effect.display().noteState(40 + i), 1) << "event " << i << " was not read";
    }
}

}  // namespace
