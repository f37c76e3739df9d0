#include "plugin/myvst.h"

#include <cstring>

MyVST::MyVST(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    setNumInputs(kNumInputs);
    setNumOutputs(kNumOutputs);
    setUniqueID(kUniqueId);
    isSynth(false);
    canProcessReplacing(true);
    // Anything built from here on that can fail must either be owned by a member or be
    // handed to the base (setEditor) before the next allocation, so that a std::bad_alloc
    // releases what exists in reverse order (members, then the editor in ~AudioEffect, then
    // the object). An editor whose base constructor registers itself through setEditor and
    // whose own constructor then throws would leave `editor` dangling, so create it as
    //     try { new VstGui(this); } catch (...) { setEditor(nullptr); throw; }
    // The module's allocation-failure test makes every allocation here fail in turn.
}

void MyVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) noexcept {
    if (sampleFrames <= 0) return;
    const float* in0 = inputs[0];
    const float* in1 = inputs[1];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    for (VstInt32 k = 0; k < sampleFrames; ++k) {
        // Bit-for-bit copies (memcpy, not float arithmetic), so NaN payloads, infinities and
        // denormals pass unchanged; channel 0 first, then channel 1, frame by frame, which
        // also keeps in-place and crossed buffers right.
        std::memcpy(&out0[k], &in0[k], sizeof(float));
        std::memcpy(&out1[k], &in1[k], sizeof(float));
    }
}

VstInt32 MyVST::processEvents(VstEvents* /*events*/) {
    return 1;
}

VstInt32 MyVST::canDo(char* text) {
    if (text == nullptr) return 0;
    return std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
}
