// AudioEffectX: the extended effect class. It adds the dispatcher for opcodes 25 to 79 (all
// other opcodes go unchanged to AudioEffect::dispatcher), a `resume` that asks the host for
// MIDI when the effect wants it, the host services for host opcodes 6 to 49, the speaker
// arrangement helpers, and neutral defaults for every extended operation. The reserved
// operations only hold their place in the order of virtual operations; nothing calls them.
//
// Threads: `dispatcher` runs on whichever thread the host sends the opcode from (the key and
// knob-mode opcodes on its user-interface thread); `processEvents` on the thread that sends
// opcode 25. The host services run on the caller's thread. Nothing here takes a lock; the
// class has no state of its own beyond the base's members and the record's flags.
#pragma once

#include "frame/audioeffect.h"

class AudioEffectX : public AudioEffect {
  public:
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
        : AudioEffect(audioMaster, numPrograms, numParams) {}

    // Opcodes 25 to 79; everything else goes to AudioEffect::dispatcher.
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;
    // Asks the host for MIDI (wantEvents(1)) when the effect is a synth or canDo answers 1 to
    // "receiveVstMidiEvent".
    void resume() override;

    virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
    virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
    virtual bool getParameterProperties(VstInt32 /*index*/, VstParameterProperties* /*p*/) {
        return false;
    }
    // Host opcodes 43 and 44: the start and end of a user gesture on a parameter.
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/) {
        return false;
    }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
    virtual VstInt32 beginLoadBank(VstPatchChunkInfo* /*info*/) { return 0; }
    virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* /*info*/) { return 0; }

    virtual bool ioChanged();
    // Asks the host for its rate (opcode 16); a positive answer replaces `sampleRate`.
    // Answers the rate now stored, in Hz.
    virtual float updateSampleRate();
    // Asks the host for its block size (opcode 17); a positive answer replaces `blockSize`.
    // Answers the block size now stored, in sample frames.
    virtual VstInt32 updateBlockSize();
    virtual VstInt32 getInputLatency();
    virtual VstInt32 getOutputLatency();

    virtual bool getInputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
        return false;
    }
    virtual bool getOutputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
        return false;
    }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* /*input*/,
                                       VstSpeakerArrangement* /*output*/) {
        return false;
    }
    // Stores null through each non-null address and answers false.
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input,
                                       VstSpeakerArrangement** output);
    virtual bool setBypass(bool /*on*/) { return false; }
    virtual bool setPanLaw(VstInt32 /*type*/, float /*value*/) { return false; }
    virtual bool setProcessPrecision(VstInt32 /*precision*/) { return false; }
    virtual VstInt32 getNumMidiInputChannels() { return 1; }
    virtual VstInt32 getNumMidiOutputChannels() { return 0; }

    virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
    virtual VstInt32 getCurrentProcessLevel();
    virtual VstInt32 getAutomationState();

    // The host's MIDI and other events (opcode 25); the base ignores them and answers 0.
    virtual VstInt32 processEvents(VstEvents* /*events*/) { return 0; }
    virtual VstInt32 startProcess() { return 0; }
    virtual VstInt32 stopProcess() { return 0; }
    virtual bool processVariableIo(VstVariableIo* /*varIo*/) { return false; }
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }

    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual VstInt32 getHostVendorVersion();
    virtual VstIntPtr hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg,
                                         float floatArg);
    // 1 when the host answers anything but 0 to the can-do text, else 0.
    virtual VstInt32 canHostDo(char* text);
    virtual VstInt32 getHostLanguage();

    virtual void isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
    virtual void noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
    virtual VstInt32 getGetTailSize() { return 0; }
    virtual void* getDirectory();

    // The three name getters leave the host's buffer untouched and answer false.
    virtual bool getEffectName(char* /*name*/) { return false; }
    virtual bool getVendorString(char* /*text*/) { return false; }
    virtual bool getProductString(char* /*text*/) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32 /*arg1*/, VstIntPtr /*arg2*/, void* /*ptrArg*/,
                                     float /*floatArg*/) {
        return 0;
    }
    // 1: yes, 0: do not know, -1: no.
    virtual VstInt32 canDo(char* /*text*/) { return 0; }
    virtual VstInt32 getVstVersion() { return 2400; }
    // 2 (synth) when the synth flag is set, else 0 (unknown).
    virtual VstInt32 getPlugCategory() { return (cEffect.flags & effFlagsIsSynth) != 0 ? 2 : 0; }

    virtual VstInt32 getMidiProgramName(VstInt32 /*channel*/, MidiProgramName* /*name*/) {
        return 0;
    }
    virtual VstInt32 getCurrentMidiProgram(VstInt32 /*channel*/, MidiProgramName* /*name*/) {
        return -1;
    }
    virtual VstInt32 getMidiProgramCategory(VstInt32 /*channel*/,
                                            MidiProgramCategory* /*category*/) {
        return 0;
    }
    virtual bool hasMidiProgramsChanged(VstInt32 /*channel*/) { return false; }
    virtual bool getMidiKeyName(VstInt32 /*channel*/, MidiKeyName* /*keyName*/) { return false; }

    virtual bool updateDisplay();
    // Width and height in pixels.
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    virtual bool openFileSelector(VstFileSelect* selector);
    virtual bool closeFileSelector(VstFileSelect* selector);

    virtual VstInt32 getNextShellPlugin(char* /*name*/) { return 0; }

    // Speaker arrangements. A block made by allocateArrangement holds exactly
    // 8 + 112 x numChannels zeroed bytes and belongs to the pointer it is stored in; only
    // allocateArrangement and deallocateArrangement release it.
    virtual bool allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels);
    virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);
    virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from);
    virtual bool matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from);

    virtual bool offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource = true);
    virtual bool offlineWrite(VstOfflineTask* offline, VstInt32 option);
    virtual bool offlineStart(VstAudioFile* files, VstInt32 numAudioFiles,
                              VstInt32 numNewAudioFiles);
    virtual VstInt32 offlineGetCurrentPass();
    virtual VstInt32 offlineGetCurrentMetaPass();
    virtual bool offlineNotify(VstAudioFile* /*files*/, VstInt32 /*count*/, bool /*start*/) {
        return false;
    }
    virtual bool offlinePrepare(VstOfflineTask* /*offline*/, VstInt32 /*count*/) { return false; }
    virtual bool offlineRun(VstOfflineTask* /*offline*/, VstInt32 /*count*/) { return false; }

    virtual VstInt32 reservedValue1() { return 0; }
    virtual VstInt32 reservedValue2() { return 0; }

    // Host opcode 6 with the filter as value (1: MIDI events).
    virtual void wantEvents(VstInt32 filter = 1);
    virtual VstInt32 tempoAt(VstInt32 pos);
    virtual VstInt32 getNumAutomatableParameters();
    virtual VstInt32 getParameterQuantization();

    virtual VstInt32 reservedOne() { return 1; }
    virtual bool reservedQuery1(VstInt32 /*arg*/) { return false; }

    virtual bool needIdle();
    // Both send index 0 and value 0 whatever pin number they are given.
    virtual AEffect* getPreviousPlug(VstInt32 input);
    virtual AEffect* getNextPlug(VstInt32 output);

    virtual void reservedNotice1(VstInt32 /*arg1*/, VstInt32 /*arg2*/) {}
    virtual void reservedNotice2(VstInt32 /*arg1*/, VstInt32 /*arg2*/) {}

    virtual VstInt32 willProcessReplacing();

    // Set or clear flag bits 0x400 and 0x800, as isSynth does for 0x100.
    virtual void reservedFlag1(bool state) { setFlag(0x400, state); }
    virtual void reservedFlag2(bool state) { setFlag(0x800, state); }

    virtual VstInt32 reservedValue3() { return 0; }
    virtual VstInt32 reservedValue4() { return 0; }

    // Rate in Hz.
    virtual void setOutputSamplerate(float samplerate);
    virtual VstSpeakerArrangement* getInputSpeakerArrangement();
    virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
    virtual void* openWindow(void* window);
    virtual bool closeWindow(void* window);

    virtual void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
        blockSize = newBlockSize;
        sampleRate = newSampleRate;
    }

    virtual bool reservedQuery2(VstInt32 /*arg*/) { return false; }
    virtual VstInt32 reservedValue5() { return 0; }
    virtual bool reservedQuery3(VstInt32 /*arg1*/, VstInt32 /*arg2*/) { return false; }
    virtual VstInt32 reservedValue6() { return 0; }
    virtual bool reservedQuery4() { return false; }

    virtual bool getChunkFile(void* nativePath);
};
