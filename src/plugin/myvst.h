// MyVST: the cqscope effect. Two inputs, two outputs, one program, no parameters. Its audio
// callback passes both channels through unchanged; it tells the host that it receives MIDI
// events and accepts every event list.
//
// Threads:
// - constructor and destructor: the host thread that calls the entry or sends effClose.
// - processReplacing: the host's audio thread; noexcept, never waits, locks or allocates.
// - processEvents: the thread that sends opcode 25 (usually the audio thread); never waits,
//   locks or allocates.
// - canDo: any thread; resume (inherited) asks it for "receiveVstMidiEvent".
#pragma once

#include "frame/audioeffectx.h"

class MyVST : public AudioEffectX {
  public:
    static constexpr VstInt32 kUniqueId = 0x64713933;  // 'dq93'
    static constexpr VstInt32 kNumInputs = 2;
    static constexpr VstInt32 kNumOutputs = 2;
    static constexpr VstInt32 kNumPrograms = 1;
    static constexpr VstInt32 kNumParams = 0;

    // Requires: audioMaster may be null (then every host call is skipped).
    // Throws std::bad_alloc when memory runs out; whatever was built is released.
    explicit MyVST(audioMasterCallback audioMaster);

    // Copies channel 0 and channel 1 of every frame to the outputs bit for bit; in-place
    // buffers are fine. Nothing happens for sampleFrames <= 0.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept override;

    // Accepts the host's event list and answers 1. A null list is ignored.
    VstInt32 processEvents(VstEvents* events) override;

    // 1 for exactly "receiveVstMidiEvent", 0 for any other text (a null text included).
    VstInt32 canDo(char* text) override;
};
