// MyVST: the cqscope effect. Two inputs, two outputs, one program, no parameters. Its audio
// callback passes both channels through unchanged and feeds its own analysis; the MIDI notes
// that the host reports as held are kept in its own note table. Its display reads both
// through the DisplaySource side. Several effects in one process share nothing but the
// read-only kernels of a sample rate.
//
// Threads:
// - constructor and destructor: the host thread that calls the entry or sends effClose.
// - processReplacing: the host's audio thread; noexcept, never waits, locks or allocates.
// - processEvents: the thread that sends opcode 25 (usually the audio thread); never waits,
//   locks or allocates.
// - resume: the thread that switches the effect on (opcode 12); may build kernels for a new
//   sample rate while audio and display go on with the old ones.
// - canDo: any thread; resume asks it for "receiveVstMidiEvent".
// - the DisplaySource functions: the user-interface thread.
#pragma once

#include "analysis/analyser.h"
#include "editor/display_source.h"
#include "frame/audioeffectx.h"
#include "midi/note_table.h"

class MyVST : public AudioEffectX, public DisplaySource {
  public:
    static constexpr VstInt32 kUniqueId = 0x64713933;  // 'dq93'
    static constexpr VstInt32 kNumInputs = 2;
    static constexpr VstInt32 kNumOutputs = 2;
    static constexpr VstInt32 kNumPrograms = 1;
    static constexpr VstInt32 kNumParams = 0;

    // Requires: audioMaster may be null (then every host call is skipped).
    // Throws std::bad_alloc when memory runs out; whatever was built is released.
    explicit MyVST(audioMasterCallback audioMaster);

    // Copies channel 0 and channel 1 of every frame to the outputs bit for bit (in-place
    // buffers are fine), appends the mono mix to the analysis history and sets the signal
    // span. For sampleFrames <= 0 nothing is copied or appended and the span becomes 0; null
    // buffer lists are ignored.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept override;

    // Applies every note-on and note-off of the list to the note table and answers 1. A null
    // list, null event pointers, events that are not MIDI and note numbers of 128 and above
    // are skipped.
    VstInt32 processEvents(VstEvents* events) override;

    // Asks the host for MIDI (as every effect does), then makes the analysis follow the
    // sample rate if it changed: kernels for 8,000 to 192,000 Hz; any other rate, or one
    // whose kernels cannot be allocated, leaves the previous analysis in place.
    void resume() override;

    // 1 for exactly "receiveVstMidiEvent", 0 for any other text (a null text included).
    VstInt32 canDo(char* text) override;

    // DisplaySource: what the editor draws.
    float signalSpan() const noexcept override { return analyser.signalSpan(); }
    void transform() override { analyser.transform(); }
    double magnitude(int octave, int bin) const noexcept override {
        return analyser.magnitudes()[octave][bin];
    }
    unsigned char noteState(int note) const noexcept override { return notes.noteState(note); }

  private:
    // Built for the effect's rate at construction (the default 44.1 kHz).
    cqscope::Analyser analyser;
    cqscope::NoteTable notes;
};
