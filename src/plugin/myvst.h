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
// - resume: the thread that switches the effect on (opcode 12); builds the kernels for the
//   effect's sample rate when it has none or the rate changed, while audio and display go on
//   with the old ones.
// - setSampleRate: any non-audio thread (opcode 10); only records the rate.
// - canDo: any thread; resume asks it for "receiveVstMidiEvent".
// - the DisplaySource functions: the user-interface thread.
//
// Construction builds no kernels, so a host's scan costs almost nothing. Until the first bank
// exists audio passes through unanalysed; a host that plays without ever resuming gets its
// bank built on the user-interface thread by the display's first refresh (prepareAnalysis).
#pragma once

#include <atomic>

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

    // Records the rate (Hz) for the next resume, and for the display's first bank.
    void setSampleRate(float newSampleRate) override;

    // 1 for exactly "receiveVstMidiEvent", 0 for any other text (a null text included).
    VstInt32 canDo(char* text) override;

    // DisplaySource: what the editor draws.
    void prepareAnalysis() override;
    float signalSpan() const noexcept override { return analyser.signalSpan(); }
    void transform() override { analyser.transform(); }
    void transformShown(ShownAlike shownAlike) override { analyser.transformShown(shownAlike); }
    double magnitude(int octave, int bin) const noexcept override {
        return analyser.magnitudes()[octave][bin];
    }
    unsigned char noteState(int note) const noexcept override { return notes.noteState(note); }

  private:
    // No bank until the first resume (or the display's first refresh with audio flowing).
    cqscope::Analyser analyser;
    // `sampleRate` as last set, for the user-interface thread (Hz).
    std::atomic<float> displayRate{44100.0f};
    cqscope::NoteTable notes;
};
