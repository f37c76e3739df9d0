#include "plugin/myvst.h"

#include <chrono>
#include <cstdint>
#include <cstring>

#include "core/pass_through.h"
#include "editor/vstgui.h"
#include "plugin/vendor_calls.h"

namespace {

// The wait's timeout from the call's float argument, in milliseconds: none for a negative value
// or one that is not a number, at most a day (a host's "for ever").
std::chrono::milliseconds waitTimeout(float milliseconds) {
    constexpr float kLongest = 24.0f * 3600.0f * 1000.0f;
    if (!(milliseconds > 0.0f)) return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(
        static_cast<long long>(milliseconds < kLongest ? milliseconds : kLongest));
}

}  // namespace

MyVST::MyVST(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams), core_(sampleRate) {
    setNumInputs(kNumInputs);
    setNumOutputs(kNumOutputs);
    setUniqueID(kUniqueId);
    isSynth(false);
    canProcessReplacing(true);
    // The editor attaches itself (flags 0x11 from here on) and is deleted with the effect.
    // Its base registers it through setEditor before the rest of its constructor runs; if
    // that rest throws (out of memory registering the window class), the object is already
    // gone, so the effect must not keep the pointer. A std::bad_alloc then releases the
    // members and the object in reverse order. The module's allocation-failure test makes
    // every allocation here fail in turn.
    try {
        new VstGui(this, core_);
    } catch (...) {
        setEditor(nullptr);
        throw;
    }
}

void MyVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept {
    if (inputs == nullptr || outputs == nullptr) return;
    passThrough(inputs, outputs, sampleFrames);
    core_.audio(inputs, sampleFrames);
}

VstInt32 MyVST::processEvents(VstEvents* events) {
    if (events == nullptr) return 1;
    // The record declares room for two pointers, but a host allocates as many as it sends:
    // read the list through a pointer, not through the two-element array.
    VstEvent* const* list = events->events;
    for (VstInt32 e = 0; e < events->numEvents; ++e) {
        const VstEvent* event = list[e];
        if (event == nullptr || event->type != kVstMidiType) continue;
        const auto* message = reinterpret_cast<const VstMidiEvent*>(event);
        // The core takes note-ons and note-offs and ignores note bytes of 128 and above.
        core_.midiMessage(reinterpret_cast<const std::uint8_t*>(message->midiData), 3);
    }
    return 1;
}

void MyVST::resume() {
    AudioEffectX::resume();
    // A rate the core cannot serve is shown as no bars; nothing is reported to the host.
    (void)core_.start();
}

void MyVST::setSampleRate(float newSampleRate) {
    AudioEffectX::setSampleRate(newSampleRate);
    core_.setSampleRate(static_cast<double>(newSampleRate));
}

VstInt32 MyVST::canDo(char* text) {
    if (text == nullptr) return 0;
    return std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
}

VstIntPtr MyVST::vendorSpecific(VstInt32 arg1, VstIntPtr arg2, void*, float floatArg) {
    if (arg1 != kVendorCallCode || arg2 != kVendorCallWait) return 0;
    return core_.waitUntilReady(waitTimeout(floatArg)) ? 1 : 0;
}
