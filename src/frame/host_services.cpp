// The host services of AudioEffectX: each sends exactly one host opcode with the record as its
// first argument and converts the answer. Without a host nothing is sent and the neutral
// answer is given (0, null, false; the update services keep their stored value).
#include "frame/audioeffectx.h"

namespace {

bool isTrue(VstIntPtr answer) {
    return answer != 0;
}
VstInt32 asInt32(VstIntPtr answer) {
    return static_cast<VstInt32>(answer);
}

}  // namespace

// ---- MIDI and time ----

void AudioEffectX::wantEvents(VstInt32 filter) {
    callHost(audioMasterWantMidi, 0, filter, nullptr, 0.0f);
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter, nullptr, 0.0f));
}

VstInt32 AudioEffectX::tempoAt(VstInt32 pos) {
    return asInt32(callHost(audioMasterTempoAt, 0, pos, nullptr, 0.0f));
}

// ---- Parameters and editing ----

VstInt32 AudioEffectX::getNumAutomatableParameters() {
    return asInt32(callHost(audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::getParameterQuantization() {
    return asInt32(callHost(audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f));
}

bool AudioEffectX::beginEdit(VstInt32 index) {
    return isTrue(callHost(audioMasterBeginEdit, index, 0, nullptr, 0.0f));
}

bool AudioEffectX::endEdit(VstInt32 index) {
    return isTrue(callHost(audioMasterEndEdit, index, 0, nullptr, 0.0f));
}

// ---- Configuration and processing context ----

bool AudioEffectX::ioChanged() {
    return isTrue(callHost(audioMasterIOChanged, 0, 0, nullptr, 0.0f));
}

bool AudioEffectX::needIdle() {
    return isTrue(callHost(audioMasterNeedIdle, 0, 0, nullptr, 0.0f));
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return isTrue(callHost(audioMasterSizeWindow, width, height, nullptr, 0.0f));
}

float AudioEffectX::updateSampleRate() {
    if (audioMaster != nullptr) {
        const VstInt32 answer = asInt32(callHost(audioMasterGetSampleRate, 0, 0, nullptr, 0.0f));
        if (answer > 0) sampleRate = static_cast<float>(answer);
    }
    return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize() {
    if (audioMaster != nullptr) {
        const VstInt32 answer = asInt32(callHost(audioMasterGetBlockSize, 0, 0, nullptr, 0.0f));
        if (answer > 0) blockSize = answer;
    }
    return blockSize;
}

VstInt32 AudioEffectX::getInputLatency() {
    return asInt32(callHost(audioMasterGetInputLatency, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::getOutputLatency() {
    return asInt32(callHost(audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f));
}

AEffect* AudioEffectX::getPreviousPlug(VstInt32 /*input*/) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f));
}

AEffect* AudioEffectX::getNextPlug(VstInt32 /*output*/) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::willProcessReplacing() {
    return asInt32(callHost(audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
    return asInt32(callHost(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::getAutomationState() {
    return asInt32(callHost(audioMasterGetAutomationState, 0, 0, nullptr, 0.0f));
}

void AudioEffectX::setOutputSamplerate(float samplerate) {
    callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, samplerate);
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
    return reinterpret_cast<VstSpeakerArrangement*>(
        callHost(audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0.0f));
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
    return reinterpret_cast<VstSpeakerArrangement*>(
        callHost(audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0.0f));
}

// ---- Host identity ----

bool AudioEffectX::getHostVendorString(char* text) {
    return isTrue(callHost(audioMasterGetVendorString, 0, 0, text, 0.0f));
}

bool AudioEffectX::getHostProductString(char* text) {
    return isTrue(callHost(audioMasterGetProductString, 0, 0, text, 0.0f));
}

VstInt32 AudioEffectX::getHostVendorVersion() {
    return asInt32(callHost(audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg,
                                           float floatArg) {
    return callHost(audioMasterVendorSpecific, arg1, arg2, ptrArg, floatArg);
}

VstInt32 AudioEffectX::canHostDo(char* text) {
    return isTrue(callHost(audioMasterCanDo, 0, 0, text, 0.0f)) ? 1 : 0;
}

VstInt32 AudioEffectX::getHostLanguage() {
    return asInt32(callHost(audioMasterGetLanguage, 0, 0, nullptr, 0.0f));
}

void* AudioEffectX::getDirectory() {
    return reinterpret_cast<void*>(callHost(audioMasterGetDirectory, 0, 0, nullptr, 0.0f));
}

// ---- Display, windows and files ----

void* AudioEffectX::openWindow(void* window) {
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window, 0.0f));
}

bool AudioEffectX::closeWindow(void* window) {
    return isTrue(callHost(audioMasterCloseWindow, 0, 0, window, 0.0f));
}

bool AudioEffectX::updateDisplay() {
    return isTrue(callHost(audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f));
}

bool AudioEffectX::openFileSelector(VstFileSelect* selector) {
    if (selector == nullptr) return false;
    return isTrue(callHost(audioMasterOpenFileSelector, 0, 0, selector, 0.0f));
}

bool AudioEffectX::closeFileSelector(VstFileSelect* selector) {
    if (selector == nullptr) return false;
    return isTrue(callHost(audioMasterCloseFileSelector, 0, 0, selector, 0.0f));
}

bool AudioEffectX::getChunkFile(void* nativePath) {
    if (nativePath == nullptr) return false;
    return isTrue(callHost(audioMasterGetChunkFile, 0, 0, nativePath, 0.0f));
}

// ---- Offline processing ----

bool AudioEffectX::offlineStart(VstAudioFile* files, VstInt32 numAudioFiles,
                                VstInt32 numNewAudioFiles) {
    return isTrue(callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, files, 0.0f));
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource) {
    return isTrue(callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline, 0.0f));
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstInt32 option) {
    return isTrue(callHost(audioMasterOfflineWrite, 0, option, offline, 0.0f));
}

VstInt32 AudioEffectX::offlineGetCurrentPass() {
    return isTrue(callHost(audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f)) ? 1 : 0;
}

VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
    return isTrue(callHost(audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f)) ? 1 : 0;
}
