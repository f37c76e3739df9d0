// Fuzzes the analyser's MIDI intake: arbitrary event lists (any count, types, sizes, status and
// note bytes, null event pointers, a null list) through the process-events opcode, each
// followed by a short audio block, on one effect that lives for the whole run.
#include <cstdint>
#include <vector>

#include "frame/host_interface.h"
#include "fuzz_input.h"
#include "plugin/plugin_entry.h"

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

AEffect* effect() {
    static AEffect* created = [] {
        AEffect* e = createCqscopeEffect(hostCallback);
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
        return e;
    }();
    return created;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    AEffect* e = effect();
    FuzzInput input(data, size);
    const std::uint8_t shape = input.take<std::uint8_t>();
    if (shape == 0xFF) {  // a null list
        e->dispatcher(e, effProcessEvents, 0, 0, nullptr, 0.0f);
        return 0;
    }
    // Each event is 32 bytes of the input taken as they come: type, size, delta, flags, the
    // note fields and MIDI bytes are all arbitrary. A selector byte before it may make the
    // slot a null pointer.
    std::vector<VstMidiEvent> events;
    std::vector<std::uint8_t> isNull;
    while (!input.empty() && events.size() < 4096) {
        isNull.push_back(input.take<std::uint8_t>() == 0xEE);
        events.push_back(input.take<VstMidiEvent>());
    }
    std::vector<VstIntPtr> list(2 + events.size());
    auto* header = reinterpret_cast<VstEvents*>(list.data());
    // The count is the real number, or (shape 0xFE) a negative one.
    header->numEvents = shape == 0xFE ? -static_cast<VstInt32>(events.size()) - 1
                                      : static_cast<VstInt32>(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        list[2 + i] = isNull[i] ? 0 : reinterpret_cast<VstIntPtr>(&events[i]);
    }
    e->dispatcher(e, effProcessEvents, 0, 0, header, 0.0f);

    float left[64] = {}, right[64] = {};
    float* channels[2] = {left, right};
    left[0] = static_cast<float>(shape) / 255.0f;
    e->processReplacing(e, channels, channels, 64);
    return 0;
}
