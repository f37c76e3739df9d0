// AudioEffectX: the extended dispatcher (opcodes 25 to 79) and resume.
#include "frame/audioeffectx.h"

#include <cmath>

#include "frame/aeffeditor.h"

namespace {

VstIntPtr asAnswer(bool b) {
    return b ? 1 : 0;
}

// The modifier byte of a key opcode travels in the float option: truncated toward zero, then
// its low eight bits (so -1.0 gives 0xFF). A non-finite option gives 0 instead of an undefined
// conversion.
unsigned char modifierFromOption(float opt) {
    if (!std::isfinite(opt)) return 0;
    const double lowBits = std::fmod(std::trunc(static_cast<double>(opt)), 256.0);
    return static_cast<unsigned char>(static_cast<int>(lowBits) & 0xFF);
}

}  // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    switch (opcode) {
        case effProcessEvents:
            return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated:
            return asAnswer(canParameterBeAutomated(index));
        case effString2Parameter:
            return asAnswer(string2parameter(index, static_cast<char*>(ptr)));
        case effGetProgramNameIndexed:
            return asAnswer(getProgramNameIndexed(static_cast<VstInt32>(value), index,
                                                  static_cast<char*>(ptr)));
        case effGetInputProperties:
            return asAnswer(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetOutputProperties:
            return asAnswer(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetPlugCategory:
            return getPlugCategory();
        case effOfflineNotify:
            return asAnswer(offlineNotify(static_cast<VstAudioFile*>(ptr),
                                          static_cast<VstInt32>(value), index != 0));
        case effOfflinePrepare:
            return asAnswer(
                offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)));
        case effOfflineRun:
            return asAnswer(
                offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)));
        case effProcessVarIo:
            return asAnswer(processVariableIo(static_cast<VstVariableIo*>(ptr)));
        case effSetSpeakerArrangement:
            return asAnswer(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                                  static_cast<VstSpeakerArrangement*>(ptr)));
        case effSetBypass:
            return asAnswer(setBypass(value != 0));
        case effGetEffectName:
            return asAnswer(getEffectName(static_cast<char*>(ptr)));
        case effGetVendorString:
            return asAnswer(getVendorString(static_cast<char*>(ptr)));
        case effGetProductString:
            return asAnswer(getProductString(static_cast<char*>(ptr)));
        case effGetVendorVersion:
            return getVendorVersion();
        case effVendorSpecific:
            return vendorSpecific(index, value, ptr, opt);
        case effCanDo:
            return canDo(static_cast<char*>(ptr));
        case effGetTailSize:
            return getGetTailSize();
        case effGetParameterProperties:
            return asAnswer(
                getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
        case effGetVstVersion:
            return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (editor == nullptr) return 0;
            VstKeyCode key{};
            key.character = index;
            key.virt = static_cast<unsigned char>(value & 0xFF);
            key.modifier = modifierFromOption(opt);
            const bool used =
                opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
            return asAnswer(used);
        }
        case effSetEditKnobMode:
            if (editor == nullptr) return 0;
            return asAnswer(editor->setKnobMode(static_cast<VstInt32>(value)));
        case effGetMidiProgramName:
            return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
        case effGetCurrentMidiProgram:
            return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
        case effGetMidiProgramCategory:
            return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
        case effHasMidiProgramsChanged:
            return asAnswer(hasMidiProgramsChanged(index));
        case effGetMidiKeyName:
            return asAnswer(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
        case effBeginSetProgram:
            return asAnswer(beginSetProgram());
        case effEndSetProgram:
            return asAnswer(endSetProgram());
        case effGetSpeakerArrangement:
            return asAnswer(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                                  static_cast<VstSpeakerArrangement**>(ptr)));
        case effShellGetNextPlugin:
            return getNextShellPlugin(static_cast<char*>(ptr));
        case effStartProcess:
            return startProcess();
        case effStopProcess:
            return stopProcess();
        case effSetTotalSampleToProcess:
            return setTotalSampleToProcess(static_cast<VstInt32>(value));
        case effSetPanLaw:
            return asAnswer(setPanLaw(static_cast<VstInt32>(value), opt));
        case effBeginLoadBank:
            return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
        case effBeginLoadProgram:
            return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
        case effSetProcessPrecision:
            return asAnswer(setProcessPrecision(static_cast<VstInt32>(value)));
        case effGetNumMidiInputChannels:
            return getNumMidiInputChannels();
        case effGetNumMidiOutputChannels:
            return getNumMidiOutputChannels();
        default:
            // 0 to 24, the unnamed opcodes of 25 to 79, and everything outside.
            return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume() {
    if ((cEffect.flags & effFlagsIsSynth) != 0) {
        wantEvents(1);
        return;
    }
    char receiveMidi[] = "receiveVstMidiEvent";
    if (canDo(receiveMidi) == 1) wantEvents(1);
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input,
                                         VstSpeakerArrangement** output) {
    if (input != nullptr) *input = nullptr;
    if (output != nullptr) *output = nullptr;
    return false;
}
