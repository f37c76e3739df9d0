// A VstEvents list with room for any number of events, and the events it points to, as a host
// hands them to effProcessEvents. The record is declared with two event pointers; the list is
// built in storage of the size it really needs and its pointers are written through a pointer,
// never through the declared two-element array.
#pragma once

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "frame/host_interface.h"

namespace cqhost {

class EventList {
  public:
    void clear() {
        midi_.clear();
        other_.clear();
        order_.clear();
    }

    // A MIDI event with its three bytes, deltaFrames frames into the block.
    void addMidi(unsigned char status, unsigned char data1, unsigned char data2, int deltaFrames) {
        VstMidiEvent event{};
        event.type = kVstMidiType;
        event.byteSize = sizeof(VstMidiEvent);
        event.deltaFrames = deltaFrames;
        event.midiData[0] = static_cast<char>(status);
        event.midiData[1] = static_cast<char>(data1);
        event.midiData[2] = static_cast<char>(data2);
        midi_.push_back(event);
        order_.push_back({true, midi_.size() - 1});
    }

    // An event of another type (system exclusive): 64 zeroed bytes behind the common header,
    // so that a reader of any such record finds an empty dump rather than foreign memory.
    void addOther(VstInt32 type, int deltaFrames) {
        std::array<VstIntPtr, 10> block{};
        auto* event = reinterpret_cast<VstEvent*>(block.data());
        event->type = type;
        event->byteSize = 32;
        event->deltaFrames = deltaFrames;
        other_.push_back(block);
        order_.push_back({false, other_.size() - 1});
    }

    std::size_t size() const { return order_.size(); }
    bool empty() const { return order_.empty(); }

    // The list as the host passes it; valid until the next change of this object.
    VstEvents* build() {
        storage_.assign(2 + order_.size(), 0);
        auto* list = reinterpret_cast<VstEvents*>(storage_.data());
        list->numEvents = static_cast<VstInt32>(order_.size());
        auto** slots = reinterpret_cast<VstEvent**>(storage_.data() + 2);
        for (std::size_t i = 0; i < order_.size(); ++i) {
            slots[i] = order_[i].first
                           ? reinterpret_cast<VstEvent*>(&midi_[order_[i].second])
                           : reinterpret_cast<VstEvent*>(other_[order_[i].second].data());
        }
        return list;
    }

  private:
    static_assert(offsetof(VstEvents, events) == 2 * sizeof(VstIntPtr));

    std::vector<VstMidiEvent> midi_;
    std::vector<std::array<VstIntPtr, 10>> other_;
    std::vector<std::pair<bool, std::size_t>> order_;
    std::vector<VstIntPtr> storage_;
};

}  // namespace cqhost
