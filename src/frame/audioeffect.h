// AudioEffect: the base of every effect object. It owns the AEffect record handed to the
// host (`cEffect`, embedded so its address is stable for the object's life), the six static
// entries stored in that record, the base dispatcher for opcodes 0 to 24, the wrappers for
// host opcodes 0 to 4, and the number-to-text helpers.
//
// Threads:
// - construction, destruction and `dispatcher` run on whichever host thread loads the
//   library, calls the entry, or sends the opcode; the editor opcodes (13, 14, 15, 19) on the
//   host's user-interface thread.
// - `processReplacing`, `processDoubleReplacing` and `process` run on the host's audio
//   thread; they are noexcept and must never wait, lock or allocate.
// - Nothing here takes a lock. The setters are plain stores.
#pragma once

#include "core/default_rate.h"
#include "frame/host_interface.h"

class AEffEditor;

class AudioEffect {
  public:
    // Fills the members and the record: every byte of `cEffect` is zeroed first.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // Deletes the editor, if any.
    virtual ~AudioEffect();

    // The base dispatcher: opcodes 0 to 24; every other opcode answers 0.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}

    virtual void setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }
    virtual void setBlockSize(VstInt32 newBlockSize) { blockSize = newBlockSize; }

    // The audio callback; every concrete effect provides it. Audio thread.
    virtual void processReplacing(float** inputs, float** outputs,
                                  VstInt32 sampleFrames) noexcept = 0;
    // Leaves the outputs untouched. Audio thread.
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        VstInt32 /*sampleFrames*/) noexcept {}

    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
    // Sets the parameter, then tells the host (opcode 0).
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* /*name*/) {}
    // The four getters write the empty string; a null buffer is left alone.
    virtual void getProgramName(char* name);
    virtual void getParameterLabel(VstInt32 index, char* label);
    virtual void getParameterDisplay(VstInt32 index, char* text);
    virtual void getParameterName(VstInt32 index, char* text);

    // Answers the chunk's size in bytes; the base has none and stores nothing.
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/) {
        return 0;
    }

    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }

    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

    virtual AEffEditor* getEditor() { return editor; }
    virtual AEffect* getAeffect() { return &cEffect; }
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }

    // Host opcode 1; the answer, or 1 when the host answers 0 or there is no host.
    virtual VstInt32 getMasterVersion();
    // Host opcode 2; 0 without a host.
    virtual VstInt32 getCurrentUniqueId();
    // Host opcode 3; the answer is ignored.
    virtual void masterIdle();

    // Number-to-text. `text` holds maxLen + 1 bytes; the text is cut to maxLen characters
    // and a zero always stands at position maxLen. A null `text` or a negative maxLen writes
    // nothing.
    virtual void dB2string(float value, char* text, VstInt32 maxLen);
    virtual void Hz2string(float samples, char* text, VstInt32 maxLen);
    virtual void ms2string(float samples, char* text, VstInt32 maxLen);
    virtual void float2string(float value, char* text, VstInt32 maxLen);
    virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

    // The accumulating form; leaves the outputs untouched. Audio thread.
    virtual void process(float** /*inputs*/, float** /*outputs*/,
                         VstInt32 /*sampleFrames*/) noexcept {}
    virtual float getVu() { return 0.0f; }
    virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
    virtual void setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }
    virtual void setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }
    // Host opcode 4 (value 0 for an input, 1 for an output); true when the host answers 0,
    // which means connected, and true without a host.
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

    // Only stores the pointer; the editor sets effFlagsHasEditor itself. The effect owns the
    // editor from now on and deletes it with itself.
    void setEditor(AEffEditor* newEditor) { editor = newEditor; }

  protected:
    // Sets `bit` in the record's flags when `state` is true, clears it otherwise.
    void setFlag(VstInt32 bit, bool state) {
        cEffect.flags = state ? (cEffect.flags | bit) : (cEffect.flags & ~bit);
    }
    // One host call with the record as its first argument; `neutral` when there is no host.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt,
                       VstIntPtr neutral = 0);

    audioMasterCallback audioMaster = nullptr;  // the host callback; may be null
    AEffEditor* editor = nullptr;               // owned; null when the effect has no editor
    float sampleRate = static_cast<float>(cqscope::kDefaultSampleRate);  // Hz
    VstInt32 blockSize = 1024;  // largest block, in sample frames
    VstInt32 numPrograms = 0;
    VstInt32 numParams = 0;
    VstInt32 curProgram = 0;
    AEffect cEffect;  // the record the host holds; `object` points back at this object
};

// The six entries stored in every record. Each finds the effect through the record's
// `object` field. hostDispatch deletes the effect after effClose and answers 1.
VstIntPtr VSTCALLBACK hostDispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                   void* ptr, float opt);
void VSTCALLBACK hostProcess(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
void VSTCALLBACK hostSetParameter(AEffect* e, VstInt32 index, float value);
float VSTCALLBACK hostGetParameter(AEffect* e, VstInt32 index);
void VSTCALLBACK hostProcessReplacing(AEffect* e, float** inputs, float** outputs,
                                      VstInt32 sampleFrames);
void VSTCALLBACK hostProcessDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                            VstInt32 sampleFrames);
