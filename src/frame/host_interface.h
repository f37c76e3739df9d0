// The binary interface between a VST 2.x host and an effect: the records that cross the
// library boundary, the entry and callback signatures, and the opcode and flag constants.
// Every layout is pinned by static_asserts for the 32-bit and the 64-bit target.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;

struct AEffect;

// The host's callback: (effect record or null, opcode, index, value, ptr, opt).
using audioMasterCallback = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode,
                                                    VstInt32 index, VstIntPtr value, void* ptr,
                                                    float opt);
using AEffectDispatcherProc = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode,
                                                      VstInt32 index, VstIntPtr value, void* ptr,
                                                      float opt);
using AEffectProcessProc = void(VSTCALLBACK*)(AEffect* effect, float** inputs, float** outputs,
                                              VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void(VSTCALLBACK*)(AEffect* effect, double** inputs,
                                                    double** outputs, VstInt32 sampleFrames);
using AEffectSetParameterProc = void(VSTCALLBACK*)(AEffect* effect, VstInt32 index, float value);
using AEffectGetParameterProc = float(VSTCALLBACK*)(AEffect* effect, VstInt32 index);

// "VstP", the first character in the most significant byte.
constexpr VstInt32 kEffectMagic = 0x56737450;

// The effect record handed to the host.
struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr reserved1;
    VstIntPtr reserved2;
    VstInt32 initialDelay;
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

// Flags of AEffect::flags.
enum VstAEffectFlags : VstInt32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsCanDoubleReplacing = 1 << 12,
};

// Opcodes the host sends to the effect's dispatcher.
enum AEffectOpcodes : VstInt32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetProgramNameIndexed = 29,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effGetParameterProperties = 56,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69,
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79,
};

// Opcodes the effect sends to the host callback.
enum AudioMasterOpcodes : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49,
};

// ---- Events ----

constexpr VstInt32 kVstMidiType = 1;
constexpr VstInt32 kVstSysExType = 6;

// The 16 bytes every event starts with. Only events of kVstMidiType may be read further.
struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 noteLength;
    VstInt32 noteOffset;
    char midiData[4];
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

// A host allocates this with room for numEvents pointers.
struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];
};

// ---- Editor records ----

struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

struct VstKeyCode {
    VstInt32 character;
    unsigned char virt;
    unsigned char modifier;
};

// ---- Speaker records ----

struct VstSpeakerProperties {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[64];
    VstInt32 type;
    char future[28];
};

// Declared with room for 8 speakers; arrangements made by the effect hold exactly numChannels.
struct VstSpeakerArrangement {
    VstInt32 type;
    VstInt32 numChannels;
    VstSpeakerProperties speakers[8];
};

// ---- Records only passed through, never read ----

struct VstTimeInfo;
struct VstParameterProperties;
struct VstPinProperties;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;
struct VstOfflineTask;
struct VstAudioFile;
struct VstVariableIo;
struct VstPatchChunkInfo;
struct VstFileSelect;

// ---- Layout checks ----

#if INTPTR_MAX == INT64_MAX
#define VST_LAYOUT(off32, off64) (off64)
#else
#define VST_LAYOUT(off32, off64) (off32)
#endif

static_assert(offsetof(AEffect, magic) == VST_LAYOUT(0, 0));
static_assert(offsetof(AEffect, dispatcher) == VST_LAYOUT(4, 8));
static_assert(offsetof(AEffect, process) == VST_LAYOUT(8, 16));
static_assert(offsetof(AEffect, setParameter) == VST_LAYOUT(12, 24));
static_assert(offsetof(AEffect, getParameter) == VST_LAYOUT(16, 32));
static_assert(offsetof(AEffect, numPrograms) == VST_LAYOUT(20, 40));
static_assert(offsetof(AEffect, numParams) == VST_LAYOUT(24, 44));
static_assert(offsetof(AEffect, numInputs) == VST_LAYOUT(28, 48));
static_assert(offsetof(AEffect, numOutputs) == VST_LAYOUT(32, 52));
static_assert(offsetof(AEffect, flags) == VST_LAYOUT(36, 56));
static_assert(offsetof(AEffect, reserved1) == VST_LAYOUT(40, 64));
static_assert(offsetof(AEffect, reserved2) == VST_LAYOUT(44, 72));
static_assert(offsetof(AEffect, initialDelay) == VST_LAYOUT(48, 80));
static_assert(offsetof(AEffect, realQualities) == VST_LAYOUT(52, 84));
static_assert(offsetof(AEffect, offQualities) == VST_LAYOUT(56, 88));
static_assert(offsetof(AEffect, ioRatio) == VST_LAYOUT(60, 92));
static_assert(offsetof(AEffect, object) == VST_LAYOUT(64, 96));
static_assert(offsetof(AEffect, user) == VST_LAYOUT(68, 104));
static_assert(offsetof(AEffect, uniqueID) == VST_LAYOUT(72, 112));
static_assert(offsetof(AEffect, version) == VST_LAYOUT(76, 116));
static_assert(offsetof(AEffect, processReplacing) == VST_LAYOUT(80, 120));
static_assert(offsetof(AEffect, processDoubleReplacing) == VST_LAYOUT(84, 128));
static_assert(offsetof(AEffect, future) == VST_LAYOUT(88, 136));
static_assert(sizeof(AEffect) == VST_LAYOUT(144, 192));

static_assert(offsetof(VstEvents, numEvents) == 0);
static_assert(offsetof(VstEvents, reserved) == VST_LAYOUT(4, 8));
static_assert(offsetof(VstEvents, events) == VST_LAYOUT(8, 16));

static_assert(sizeof(VstEvent) == 32);
static_assert(offsetof(VstMidiEvent, type) == 0);
static_assert(offsetof(VstMidiEvent, byteSize) == 4);
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8);
static_assert(offsetof(VstMidiEvent, flags) == 12);
static_assert(offsetof(VstMidiEvent, noteLength) == 16);
static_assert(offsetof(VstMidiEvent, noteOffset) == 20);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstMidiEvent, detune) == 28);
static_assert(offsetof(VstMidiEvent, noteOffVelocity) == 29);
static_assert(sizeof(VstMidiEvent) == 32);

static_assert(sizeof(ERect) == 8);
static_assert(offsetof(ERect, top) == 0 && offsetof(ERect, left) == 2);
static_assert(offsetof(ERect, bottom) == 4 && offsetof(ERect, right) == 6);

static_assert(offsetof(VstKeyCode, character) == 0);
static_assert(offsetof(VstKeyCode, virt) == 4);
static_assert(offsetof(VstKeyCode, modifier) == 5);
static_assert(sizeof(VstKeyCode) == 8);

static_assert(offsetof(VstSpeakerProperties, name) == 16);
static_assert(offsetof(VstSpeakerProperties, type) == 80);
static_assert(offsetof(VstSpeakerProperties, future) == 84);
static_assert(sizeof(VstSpeakerProperties) == 112);
static_assert(offsetof(VstSpeakerArrangement, numChannels) == 4);
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);
static_assert(sizeof(VstSpeakerArrangement) == 904);

#undef VST_LAYOUT
