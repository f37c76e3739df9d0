// MyVST: the cqscope effect, the VST 2 shell around the analyser core. Two inputs, two
// outputs, one program, no parameters. Its audio callback copies both channels to the outputs
// (this host interface's buffers and in-place rules are its own business) and hands the
// inputs to its core; the MIDI notes the host reports go to the core's note table; switching
// on makes the core follow the sample rate. Its display draws from the core. Several effects
// in one process share nothing but the read-only kernels of a sample rate.
//
// Threads:
// - constructor and destructor: the host thread that calls the entry or sends effClose.
// - processReplacing: the host's audio thread; noexcept, never waits, locks or allocates.
// - processEvents: the thread that sends opcode 25 (usually the audio thread); never waits,
//   locks or allocates.
// - resume: the thread that switches the effect on (opcode 12); returns at once: the core has
//   the kernels for the effect's sample rate built beside when it has none or the rate
//   changed, while audio and display go on with the old ones (or without, showing no bars).
// - setSampleRate: any non-audio thread (opcode 10); only records the rate.
// - canDo: any thread; resume asks it for "receiveVstMidiEvent".
// - vendorSpecific: any non-audio thread; its wait (vendor_calls.h) blocks that thread until
//   the kernels asked for are ready.
//
// Construction builds no kernels (AnalyserCore says when they are built).
#pragma once

#include "core/analyser_core.h"
#include "frame/audioeffectx.h"
#include "plugin/unique_id.h"

class MyVST : public AudioEffectX {
  public:
    static constexpr VstInt32 kUniqueId = kCqscopeUniqueId;
    static constexpr VstInt32 kNumInputs = 2;
    static constexpr VstInt32 kNumOutputs = 2;
    static constexpr VstInt32 kNumPrograms = 1;
    static constexpr VstInt32 kNumParams = 0;

    // Requires: audioMaster may be null (then every host call is skipped).
    // Throws std::bad_alloc when memory runs out; whatever was built is released.
    explicit MyVST(audioMasterCallback audioMaster);

    // Copies channel 0 and channel 1 of every frame to the outputs bit for bit (in-place
    // buffers are fine), then hands the inputs, as they stand after the copy, to the core.
    // For sampleFrames <= 0 nothing is copied or analysed and the span becomes 0; null
    // buffer lists are ignored.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept override;

    // Applies every note-on and note-off of the list to the note table and answers 1. A null
    // list, null event pointers, events that are not MIDI and note numbers of 128 and above
    // are skipped.
    VstInt32 processEvents(VstEvents* events) override;

    // Asks the host for MIDI (as every effect does), then makes the core follow the sample
    // rate: kernels for 8,000 to 192,000 Hz; at any other rate, or one whose kernels cannot be
    // allocated, the display shows no bars until a resume at a rate the core serves.
    void resume() override;

    // Records the rate (Hz) for the next resume, and for the display's first bank.
    void setSampleRate(float newSampleRate) override;

    // 1 for exactly "receiveVstMidiEvent", 0 for any other text (a null text included).
    VstInt32 canDo(char* text) override;

    // Our hosts' wait for the kernels (vendor_calls.h): with index 'cqsc' and value 'wait',
    // waits at most `floatArg` milliseconds (negative or not a number: not at all) and answers
    // 1 once no build is pending, 0 on timeout. 0 for every other call.
    VstIntPtr vendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg, float floatArg) override;

    // What the display draws from (and what tests drive).
    cqscope::AnalyserCore& core() noexcept { return core_; }

  private:
    cqscope::AnalyserCore core_;
};
