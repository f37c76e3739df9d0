// AudioEffect: construction of the record, the base dispatcher, host opcodes 0 to 4 and the
// six static entries.
#include "frame/audioeffect.h"

#include <cstring>

#include "frame/aeffeditor.h"

namespace {

// The characters N, v, E, f with the first in the most significant byte: the answer to
// effIdentify.
constexpr VstIntPtr kIdentifyAnswer = 0x4E764566;
// The characters N, o, E, f: the base's unique ID until the concrete effect sets its own.
constexpr VstInt32 kBaseUniqueId = 0x4E6F4566;

AudioEffect* effectOf(AEffect* e) {
    return static_cast<AudioEffect*>(e->object);
}

// The getters of opcodes 5 to 8 write the empty string; a host passing no buffer gets nothing.
void writeEmpty(char* text) {
    if (text != nullptr) text[0] = '\0';
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
    // Reserved and future bytes must reach the host as zeros.
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = hostDispatch;
    cEffect.process = hostProcess;
    cEffect.setParameter = hostSetParameter;
    cEffect.getParameter = hostGetParameter;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = kBaseUniqueId;
    cEffect.version = 1;
    cEffect.processReplacing = hostProcessReplacing;
    cEffect.processDoubleReplacing = hostProcessDoubleReplacing;
}

AudioEffect::~AudioEffect() {
    delete editor;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt, VstIntPtr neutral) {
    if (audioMaster == nullptr) return neutral;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    // Compared unsigned, so negative opcodes land in the default row.
    switch (static_cast<std::uint32_t>(opcode)) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            if (value < numPrograms) setProgram(static_cast<VstInt32>(value));
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            setProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetProgramName:
            getProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetParamLabel:
            getParameterLabel(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamDisplay:
            getParameterDisplay(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamName:
            getParameterName(index, static_cast<char*>(ptr));
            return 0;
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(static_cast<VstInt32>(value));
            return 0;
        case effMainsChanged:
            if (value == 0) {
                suspend();
            } else {
                resume();
            }
            return 0;
        case effEditGetRect:
            // The editor writes its rectangle's address through ptr: no address, no answer.
            if (editor == nullptr || ptr == nullptr) return 0;
            return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        case effEditOpen:
            if (editor == nullptr) return 0;
            return editor->open(ptr) ? 1 : 0;
        case effEditClose:
            if (editor != nullptr) editor->close();
            return 0;
        case effEditIdle:
            if (editor != nullptr) editor->idle();
            return 0;
        case effIdentify:
            return kIdentifyAnswer;
        case effGetChunk:
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
        default:
            return 0;
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::getProgramName(char* name) {
    writeEmpty(name);
}
void AudioEffect::getParameterLabel(VstInt32 /*index*/, char* label) {
    writeEmpty(label);
}
void AudioEffect::getParameterDisplay(VstInt32 /*index*/, char* text) {
    writeEmpty(text);
}
void AudioEffect::getParameterName(VstInt32 /*index*/, char* text) {
    writeEmpty(text);
}

VstInt32 AudioEffect::getMasterVersion() {
    const auto version = static_cast<VstInt32>(callHost(audioMasterVersion, 0, 0, nullptr, 0.0f));
    return version != 0 ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

void AudioEffect::masterIdle() {
    callHost(audioMasterIdle, 0, 0, nullptr, 0.0f);
}

bool AudioEffect::isInputConnected(VstInt32 input) {
    return callHost(audioMasterPinConnected, input, 0, nullptr, 0.0f) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    return callHost(audioMasterPinConnected, output, 1, nullptr, 0.0f) == 0;
}

VstIntPtr VSTCALLBACK hostDispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                   void* ptr, float opt) {
    AudioEffect* effect = effectOf(e);
    VstIntPtr result = 0;
    // No exception may unwind into the host: an opcode that fails answers 0.
    try {
        result = effect->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        result = 0;
    }
    if (opcode == effClose) {
        // The record lives inside the object, so it goes with it.
        delete effect;
        return 1;
    }
    return result;
}

void VSTCALLBACK hostProcess(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    effectOf(e)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK hostSetParameter(AEffect* e, VstInt32 index, float value) {
    try {
        effectOf(e)->setParameter(index, value);
    } catch (...) {
    }
}

float VSTCALLBACK hostGetParameter(AEffect* e, VstInt32 index) {
    try {
        return effectOf(e)->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}

void VSTCALLBACK hostProcessReplacing(AEffect* e, float** inputs, float** outputs,
                                      VstInt32 sampleFrames) {
    effectOf(e)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK hostProcessDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                            VstInt32 sampleFrames) {
    effectOf(e)->processDoubleReplacing(inputs, outputs, sampleFrames);
}
