// The VST 3 interface, as far as cqscope's VST 3 plug-in and cqscope-host's VST 3 host use it: a
// stereo effect with one note input, no parameters, no saved state and a fixed-size embedded
// editor, and a host that probes, processes and opens the editor of such a plug-in. Written from
// the published binary layouts (interface version 3.7.14; released interfaces never change).
//
// Interfaces are C++ classes with only pure virtual methods and single inheritance, rooted in
// FUnknown: an object pointer points to its vtable pointer, and vtable slot n holds the n-th
// method counting the inherited ones first. That is the interface's binary form on every target
// (GCC, MinGW and MSVC lay out such classes alike), so the declaration order below IS the ABI.
// Never add a destructor (GCC would add two slots, MSVC one) or a second method of the same name.
//
// Every record is pinned by static_asserts on its size and each field's offset for the three
// targets: Linux x86-64 (any LP64 Linux lays them out the same), Windows x64 and Windows x86.
// 32-bit Linux aligns 8-byte fields to 4 and is not a target. Every interface ID is pinned byte
// for byte in its platform's order.
//
// Threads: the host calls everything on its UI (main) thread except IAudioProcessor::process
// (and possibly setProcessing), which come on the audio thread; the plug-in calls the host's
// objects (IComponentHandler, IPlugFrame, IRunLoop, IHostApplication) from the UI thread only.
// Each group below notes its exceptions as [UI], [audio] or [UI|audio].
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The calling convention of every interface method, of GetPluginFactory and of the host's
// callbacks: __stdcall on 32-bit Windows, where MinGW's own default for member functions
// (__thiscall, `this` in ecx) would not match; nothing elsewhere (x64 has one convention).
#if defined(_WIN32) && !defined(_WIN64)
#define PLUGIN_API __stdcall
#else
#define PLUGIN_API
#endif

// Marks the module's entry points for export (C linkage, undecorated names). On 32-bit Windows
// a __stdcall export is decorated (GetPluginFactory@0) unless the module is linked with
// -Wl,--kill-at or a .def file: the plug-in's build must do one of those.
#if defined(_WIN32)
#define VST3_EXPORT __declspec(dllexport)
#else
#define VST3_EXPORT __attribute__((visibility("default")))
#endif

namespace vst3 {

// ---- Basic types ---------------------------------------------------------------------------

using int8 = char;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using char8 = char;
using char16 = char16_t;
using TChar = char16;           // one UTF-16 code unit
using String128 = TChar[128];   // UTF-16, NUL-terminated inside the 128 units
using FIDString = const char*;  // 8-bit text, NUL-terminated
using TBool = uint8;            // 0 false, non-zero true
using tresult = int32;
using TUID = char[16];  // a 16-byte interface or class ID, compared with memcmp

using ParamID = uint32;
using ParamValue = double;  // normalised 0-1
using SampleRate = double;  // Hz
using TSamples = int64;
using TQuarterNotes = double;
using Speaker = uint64;
using SpeakerArrangement = uint64;  // one bit per speaker
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using UnitID = int32;
using Sample32 = float;
using Sample64 = double;
using UCoord = int32;
using AttrID = const char*;

// ---- Result codes --------------------------------------------------------------------------

// What every method returns. Success is exactly kResultOk; callers compare exactly, so return
// exactly these. Windows uses COM's HRESULTs (negative as int32), other systems small numbers.
#if defined(_WIN32)
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = kResultOk;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
inline constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
inline constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
inline constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
inline constexpr tresult kNoInterface = -1;
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = kResultOk;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = 2;
inline constexpr tresult kNotImplemented = 3;
inline constexpr tresult kInternalError = 4;
inline constexpr tresult kNotInitialized = 5;
inline constexpr tresult kOutOfMemory = 6;
#endif

// ---- Interface and class IDs ---------------------------------------------------------------

// A TUID as a value, so that IDs can be built and compared at compile time. Pass `bytes` where
// the interface takes a TUID.
struct Uid {
    char bytes[16];
    friend constexpr bool operator==(const Uid&, const Uid&) = default;
};

// The four 32-bit numbers an ID is written as (l1 l2 l3 l4).
struct UidWords {
    uint32 l1, l2, l3, l4;
    friend constexpr bool operator==(const UidWords&, const UidWords&) = default;
};

// How an ID's four numbers are laid out in its 16 bytes. bigEndian (Linux and macOS): each
// number big-endian, in order. windowsGuid (COM's GUID layout, Windows): l1 little-endian, then
// the high and the low half of l2 each little-endian, then l3 and l4 big-endian.
enum class UidLayout { bigEndian, windowsGuid };
#if defined(_WIN32)
inline constexpr UidLayout kNativeUidLayout = UidLayout::windowsGuid;
#else
inline constexpr UidLayout kNativeUidLayout = UidLayout::bigEndian;
#endif

namespace detail {
// Index in the Linux (big-endian) order of byte i of an ID laid out for `layout`; the mapping
// is its own inverse.
constexpr int uidByteSource(int i, UidLayout layout) {
    if (layout == UidLayout::bigEndian || i >= 8) return i;
    constexpr int windowsOrder[8] = {3, 2, 1, 0, 5, 4, 7, 6};
    return windowsOrder[i];
}
}  // namespace detail

// Builds an ID from its four numbers, laid out for `layout` (this system's by default). Define
// class IDs this way so hosts on every system show the same text form.
constexpr Uid makeUid(uint32 l1, uint32 l2, uint32 l3, uint32 l4,
                      UidLayout layout = kNativeUidLayout) {
    const uint32 words[4] = {l1, l2, l3, l4};
    Uid uid{};
    for (int i = 0; i < 16; ++i) {
        const int source = detail::uidByteSource(i, layout);
        const uint32 word = words[source / 4];
        uid.bytes[i] = static_cast<char>(static_cast<uint8>(word >> (8 * (3 - source % 4))));
    }
    return uid;
}

// The four numbers of an ID given as 16 bytes in `layout` (for showing a class ID as text).
constexpr UidWords uidWords(const char* bytes, UidLayout layout = kNativeUidLayout) {
    uint32 words[4] = {};
    for (int i = 0; i < 16; ++i) {
        const int source = detail::uidByteSource(i, layout);
        words[source / 4] |= static_cast<uint32>(static_cast<uint8>(bytes[i]))
                             << (8 * (3 - source % 4));
    }
    return {words[0], words[1], words[2], words[3]};
}

// The 32-hex-digit text form hosts show and store (the four numbers as %08X each, the same on
// every system), with its terminating NUL.
struct UidText {
    char chars[33];
};
constexpr UidText uidText(const char* bytes, UidLayout layout = kNativeUidLayout) {
    const UidWords w = uidWords(bytes, layout);
    const uint32 words[4] = {w.l1, w.l2, w.l3, w.l4};
    UidText text{};
    for (int i = 0; i < 32; ++i) {
        const uint32 digit = (words[i / 8] >> (4 * (7 - i % 8))) & 0xFu;
        text.chars[i] = static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
    }
    return text;
}

// Whether the 16 bytes at `bytes` (an ID a caller passed) are `uid`. Requires: `bytes` not null.
inline bool sameUid(const char* bytes, const Uid& uid) {
    return std::memcmp(bytes, uid.bytes, sizeof uid.bytes) == 0;
}

// ---- Records: packing ----------------------------------------------------------------------

// Records use natural alignment; on Windows the interface asks for pack(8), which equals the
// compilers' default (8-byte fields 8-aligned even on x86, unlike 32-bit SysV).
#if defined(_WIN32)
#pragma pack(push, 8)
#endif

// ---- FUnknown: identity and reference counting ---------------------------------------------

// The root of every interface. Counts start at 1 for the creator and are atomic (any thread
// calls them). queryInterface on success stores the interface pointer, adds a reference and
// returns kResultOk; on failure it stores null and returns kNoInterface; FUnknown itself always
// succeeds. Its ID is COM's IUnknown.
class FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
    virtual tresult PLUGIN_API queryInterface(const TUID interfaceId, void** obj) = 0;  // 0
    virtual uint32 PLUGIN_API addRef() = 0;   // 1: the new count
    virtual uint32 PLUGIN_API release() = 0;  // 2: the new count; 0 = destroyed
};

// ---- Factory -------------------------------------------------------------------------------

// The factory's description of the module [UI].
struct PFactoryInfo {
    enum FactoryFlags : int32 {
        kNoFlags = 0,
        kClassesDiscardable = 1 << 0,
        kLicenseCheck = 1 << 1,  // deprecated
        kComponentNonDiscardable = 1 << 3,
        kUnicode = 1 << 4,  // the module's strings are UTF-16
    };
    char8 vendor[64];
    char8 url[256];
    char8 email[128];
    int32 flags;
};

// One class the factory makes: the processor ("Audio Module Class") or the controller
// ("Component Controller Class").
struct PClassInfo {
    static constexpr int32 kManyInstances = 0x7FFFFFFF;  // cardinality
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
};

// PClassInfo with flags, '|'-separated subcategories, vendor and versions (8-bit text).
struct PClassInfo2 {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
    uint32 classFlags;  // ComponentFlags
    char8 subCategories[128];
    char8 vendor[64];
    char8 version[64];
    char8 sdkVersion[64];
};

// PClassInfo2 with UTF-16 name, vendor and versions.
struct PClassInfoW {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char16 name[64];
    uint32 classFlags;  // ComponentFlags
    char8 subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

// PClassInfo2::classFlags of a processor class.
enum ComponentFlags : uint32 {
    kDistributable = 1 << 0,  // processor and controller may live in different processes
    kSimpleModeSupported = 1 << 1,
};

inline constexpr char kVstAudioEffectClass[] = "Audio Module Class";
inline constexpr char kVstComponentControllerClass[] = "Component Controller Class";

// PClassInfo2::subCategories, '|'-separated. A class whose list holds "Instrument" is taken for
// an instrument; "Analyzer" alone is a meter that hosts may not offer as an insert.
inline constexpr char kFxAnalyzer[] = "Fx|Analyzer";
inline constexpr char kFxAnalyzerStereo[] = "Fx|Analyzer|Stereo";

// PClassInfo2::sdkVersion (informative): the interface version these declarations follow.
inline constexpr char kVstVersionString[] = "VST 3.7.14";

// The module's factory, from GetPluginFactory [UI]. createInstance's IDs point at 16 raw bytes
// (not text); the new object comes with one reference for the caller; an unknown class ID gives
// *obj = null and kNoInterface.
class IPluginFactory : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
    virtual tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) = 0;           // 3
    virtual int32 PLUGIN_API countClasses() = 0;                                 // 4
    virtual tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) = 0;  // 5
    virtual tresult PLUGIN_API createInstance(FIDString classId, FIDString interfaceId,
                                              void** obj) = 0;  // 6
};

class IPluginFactory2 : public IPluginFactory {
  public:
    static constexpr Uid iid = makeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
    virtual tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) = 0;  // 7
};

// setHostContext's context may offer Linux::IRunLoop.
class IPluginFactory3 : public IPluginFactory2 {
  public:
    static constexpr Uid iid = makeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
    virtual tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;  // 8
    virtual tresult PLUGIN_API setHostContext(FUnknown* context) = 0;                    // 9
};

// ---- Entry points --------------------------------------------------------------------------

// The module's exports, with C linkage. Linux: ModuleEntry(the dlopen handle) right after
// dlopen and ModuleExit before dlclose, both required (hosts refuse a module without them; they
// may come more than once: count pairs). Windows: InitDll/ExitDll optional, cdecl.
// GetPluginFactory returns the factory with one reference for the caller.
using GetFactoryProc = IPluginFactory*(PLUGIN_API*)();
using ModuleEntryFunc = bool (*)(void* sharedLibraryHandle);
using ModuleExitFunc = bool (*)();
using InitModuleFunc = bool (*)();
using ExitModuleFunc = bool (*)();
inline constexpr char kGetFactoryProcName[] = "GetPluginFactory";
inline constexpr char kModuleEntryName[] = "ModuleEntry";
inline constexpr char kModuleExitName[] = "ModuleExit";
inline constexpr char kInitModuleName[] = "InitDll";
inline constexpr char kExitModuleName[] = "ExitDll";

// ---- Streams -------------------------------------------------------------------------------

// A host's stream for state [UI, or the processing thread when rendering offline]. Out pointers
// may be null. A short read still returns kResultOk: check numBytesRead.
class IBStream : public FUnknown {
  public:
    enum IStreamSeekMode : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
    static constexpr Uid iid = makeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
    virtual tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;  // 3
    virtual tresult PLUGIN_API write(void* buffer, int32 numBytes,
                                     int32* numBytesWritten) = 0;               // 4
    virtual tresult PLUGIN_API seek(int64 pos, int32 mode, int64* result) = 0;  // 5
    virtual tresult PLUGIN_API tell(int64* pos) = 0;                            // 6
};

// Optional on the same object as IBStream.
class ISizeableStream : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x04F9549E, 0xE02F4E6E, 0x87E86A87, 0x47F4E17F);
    virtual tresult PLUGIN_API getStreamSize(int64& size) = 0;  // 3
    virtual tresult PLUGIN_API setStreamSize(int64 size) = 0;   // 4
};

// ---- Component life: IPluginBase -----------------------------------------------------------

// Base of IComponent and IEditController [UI]. initialize's context should offer
// IHostApplication; a result other than kResultOk makes the host release the object without
// terminate. terminate releases every host object kept.
class IPluginBase : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
    virtual tresult PLUGIN_API initialize(FUnknown* context) = 0;  // 3
    virtual tresult PLUGIN_API terminate() = 0;                    // 4
};

// ---- Processor: buses and IComponent -------------------------------------------------------

enum MediaTypes : MediaType { kAudio = 0, kEvent = 1 };
enum BusDirections : BusDirection { kInput = 0, kOutput = 1 };
enum BusTypes : BusType { kMain = 0, kAux = 1 };  // main buses come first
enum IoModes : IoMode { kSimple = 0, kAdvanced = 1, kOfflineProcessing = 2 };

// One audio or event bus of a component; for an event bus channelCount is the number of MIDI
// channels it takes.
struct BusInfo {
    enum BusFlags : uint32 { kDefaultActive = 1 << 0, kIsControlVoltage = 1 << 1 };
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;  // BusFlags
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

// The processing part [UI]. Buses start inactive until the host activates them (it may not);
// setActive(true) allocates and resets and may repeat; getBusInfo answers kInvalidArgument for
// an index past the count.
class IComponent : public IPluginBase {
  public:
    static constexpr Uid iid = makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
    virtual tresult PLUGIN_API getControllerClassId(TUID classId) = 0;           // 5
    virtual tresult PLUGIN_API setIoMode(IoMode mode) = 0;                       // 6
    virtual int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) = 0;  // 7
    virtual tresult PLUGIN_API getBusInfo(MediaType type, BusDirection dir, int32 index,
                                          BusInfo& bus) = 0;                                   // 8
    virtual tresult PLUGIN_API getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;  // 9
    virtual tresult PLUGIN_API activateBus(MediaType type, BusDirection dir, int32 index,
                                           TBool state) = 0;   // 10
    virtual tresult PLUGIN_API setActive(TBool state) = 0;     // 11
    virtual tresult PLUGIN_API setState(IBStream* state) = 0;  // 12
    virtual tresult PLUGIN_API getState(IBStream* state) = 0;  // 13
};

// ---- Processing: speakers, setup, buffers, IAudioProcessor ---------------------------------

inline constexpr Speaker kSpeakerL = 1 << 0;
inline constexpr Speaker kSpeakerR = 1 << 1;
inline constexpr Speaker kSpeakerM = 1 << 19;
inline constexpr SpeakerArrangement kEmpty = 0;
inline constexpr SpeakerArrangement kMono = kSpeakerM;
inline constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;

enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };

inline constexpr uint32 kNoTail = 0;
inline constexpr uint32 kInfiniteTail = 0xFFFFFFFF;

// What setupProcessing tells the processor while it is inactive.
struct ProcessSetup {
    int32 processMode;         // ProcessModes
    int32 symbolicSampleSize;  // SymbolicSampleSizes
    int32 maxSamplesPerBlock;  // frames
    SampleRate sampleRate;     // Hz
};

// One bus's channels for one process call. A bus may have 0 channels or null channel pointers;
// output pointers may equal input pointers (in place) and channels may share a buffer.
struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags;  // bit c set: channel c is all zero
    union {
        Sample32** channelBuffers32;
        Sample64** channelBuffers64;
    };
};

// The transport state a host may pass with each block.
struct ProcessContext {
    enum StatesAndFlags : uint32 {
        kPlaying = 1 << 1,
        kCycleActive = 1 << 2,
        kRecording = 1 << 3,
        kSystemTimeValid = 1 << 8,
        kProjectTimeMusicValid = 1 << 9,
        kTempoValid = 1 << 10,
        kBarPositionValid = 1 << 11,
        kCycleValid = 1 << 12,
        kTimeSigValid = 1 << 13,
        kSmpteValid = 1 << 14,
        kClockValid = 1 << 15,
        kContTimeValid = 1 << 17,
        kChordValid = 1 << 18,
    };
    struct Chord {
        uint8 keyNote;
        uint8 rootNote;
        int16 chordMask;
    };
    struct FrameRate {
        uint32 framesPerSecond;
        uint32 flags;
    };
    uint32 state;  // StatesAndFlags
    SampleRate sampleRate;
    TSamples projectTimeSamples;
    int64 systemTime;
    TSamples continousTimeSamples;
    TQuarterNotes projectTimeMusic;
    TQuarterNotes barPositionMusic;
    TQuarterNotes cycleStartMusic;
    TQuarterNotes cycleEndMusic;
    double tempo;
    int32 timeSigNumerator;
    int32 timeSigDenominator;
    Chord chord;
    int32 smpteOffsetSubframes;
    FrameRate frameRate;
    int32 samplesToNextClock;
};

class IParameterChanges;
class IEventList;

// One process call [audio]. numSamples is 1..maxSamplesPerBlock, or 0 with no buses and null
// inputs/outputs for a flush call; numInputs/numOutputs may be below the bus counts; every
// event, parameter and context pointer may be null.
struct ProcessData {
    int32 processMode;         // ProcessModes
    int32 symbolicSampleSize;  // SymbolicSampleSizes
    int32 numSamples;          // frames in this block
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

// The audio part, another interface of the component's object. All [UI] except process
// [audio] and setProcessing [UI|audio]. Rate and block size change only while inactive.
class IAudioProcessor : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
    virtual tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                  SpeakerArrangement* outputs,
                                                  int32 numOuts) = 0;  // 3
    virtual tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index,
                                                 SpeakerArrangement& arr) = 0;      // 4
    virtual tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) = 0;  // 5
    virtual uint32 PLUGIN_API getLatencySamples() = 0;                              // 6
    virtual tresult PLUGIN_API setupProcessing(ProcessSetup& setup) = 0;            // 7
    virtual tresult PLUGIN_API setProcessing(TBool state) = 0;                      // 8
    virtual tresult PLUGIN_API process(ProcessData& data) = 0;                      // 9
    virtual uint32 PLUGIN_API getTailSamples() = 0;                                 // 10
};

// Optional: which ProcessContext fields the processor needs, asked once between initialize and
// setActive [UI]. An analyser needing no transport answers 0.
class IProcessContextRequirements : public FUnknown {
  public:
    enum Flags : uint32 {
        kNeedSystemTime = 1 << 0,
        kNeedContinousTimeSamples = 1 << 1,
        kNeedProjectTimeMusic = 1 << 2,
        kNeedBarPositionMusic = 1 << 3,
        kNeedCycleMusic = 1 << 4,
        kNeedSamplesToNextClock = 1 << 5,
        kNeedTempo = 1 << 6,
        kNeedTimeSignature = 1 << 7,
        kNeedChord = 1 << 8,
        kNeedFrameRate = 1 << 9,
        kNeedTransportState = 1 << 10,
    };
    static constexpr Uid iid = makeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
    virtual uint32 PLUGIN_API getProcessContextRequirements() = 0;  // 3
};

// ---- Events: note input --------------------------------------------------------------------

struct NoteOnEvent {
    int16 channel;   // MIDI channel 0-15
    int16 pitch;     // MIDI key 0-127
    float tuning;    // cents
    float velocity;  // 0-1
    int32 length;    // frames, 0 if unknown
    int32 noteId;    // -1 if none
};

struct NoteOffEvent {
    int16 channel;
    int16 pitch;
    float velocity;
    int32 noteId;
    float tuning;
};

struct DataEvent {
    uint32 size;
    uint32 type;
    const uint8* bytes;
};

struct PolyPressureEvent {
    int16 channel;
    int16 pitch;
    float pressure;
    int32 noteId;
};

// These two are packed to 4 on 32-bit Windows, which puts Event's union at 20 there.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 4)
#endif
struct NoteExpressionValueEvent {
    uint32 typeId;
    int32 noteId;
    double value;
};

struct NoteExpressionTextEvent {
    uint32 typeId;
    int32 noteId;
    uint32 textLen;
    const TChar* text;
};
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(pop)
#endif

// Chord and scale events are never read here; only their size (16 bytes on 64-bit targets,
// 12 on 32-bit Windows, pointer-aligned) matters, for the union's.
struct ChordEvent {
    alignas(void*) uint8 opaque[8 + sizeof(void*)];
};

struct ScaleEvent {
    alignas(void*) uint8 opaque[8 + sizeof(void*)];
};

// A legacy MIDI controller message out of the plug-in: four one-byte fields.
struct LegacyMIDICCOutEvent {
    uint8 bytes[4];
};

// One event of an IEventList, at sampleOffset frames from the block's start.
struct Event {
    enum EventFlags : uint16 {
        kIsLive = 1 << 0,
        kUserReserved1 = 1 << 14,
        kUserReserved2 = 1 << 15,
    };
    enum EventTypes : uint16 {
        kNoteOnEvent = 0,
        kNoteOffEvent = 1,
        kDataEvent = 2,
        kPolyPressureEvent = 3,
        kNoteExpressionValueEvent = 4,
        kNoteExpressionTextEvent = 5,
        kChordEvent = 6,
        kScaleEvent = 7,
        kLegacyMIDICCOutEvent = 65535,
    };
    int32 busIndex;
    int32 sampleOffset;  // frames from the block's start
    TQuarterNotes ppqPosition;
    uint16 flags;  // EventFlags
    uint16 type;   // EventTypes
    union {
        NoteOnEvent noteOn;
        NoteOffEvent noteOff;
        DataEvent data;
        PolyPressureEvent polyPressure;
        NoteExpressionValueEvent noteExpressionValue;
        NoteExpressionTextEvent noteExpressionText;
        ChordEvent chord;
        ScaleEvent scale;
        LegacyMIDICCOutEvent midiCCOut;
    };
};

// The host's event list for one process call [audio]; events come sorted by sampleOffset.
// getEvent copies into the caller's record.
class IEventList : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
    virtual int32 PLUGIN_API getEventCount() = 0;                    // 3
    virtual tresult PLUGIN_API getEvent(int32 index, Event& e) = 0;  // 4
    virtual tresult PLUGIN_API addEvent(Event& e) = 0;               // 5
};

// ---- Parameters ----------------------------------------------------------------------------

// A host's changes of one parameter within a block [audio]; borrowed for the call.
class IParamValueQueue : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
    virtual ParamID PLUGIN_API getParameterId() = 0;  // 3
    virtual int32 PLUGIN_API getPointCount() = 0;     // 4
    virtual tresult PLUGIN_API getPoint(int32 index, int32& sampleOffset,
                                        ParamValue& value) = 0;  // 5
    virtual tresult PLUGIN_API addPoint(int32 sampleOffset, ParamValue value,
                                        int32& index) = 0;  // 6
};

// The parameter changes of one process call [audio]; the queues are borrowed (no reference).
class IParameterChanges : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
    virtual int32 PLUGIN_API getParameterCount() = 0;                        // 3
    virtual IParamValueQueue* PLUGIN_API getParameterData(int32 index) = 0;  // 4
    virtual IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id,
                                                          int32& index) = 0;  // 5
};

// One parameter as the controller describes it (this plug-in has none).
struct ParameterInfo {
    enum ParameterFlags : int32 {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16,
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;  // ParameterFlags
};

// ---- Controller: IEditController, IComponentHandler ----------------------------------------

// restartComponent's flags.
enum RestartFlags : int32 {
    kReloadComponent = 1 << 0,
    kIoChanged = 1 << 1,
    kParamValuesChanged = 1 << 2,
    kLatencyChanged = 1 << 3,
    kParamTitlesChanged = 1 << 4,
    kMidiCCAssignmentChanged = 1 << 5,
    kNoteExpressionChanged = 1 << 6,
    kIoTitlesChanged = 1 << 7,
    kPrefetchableSupportChanged = 1 << 8,
    kRoutingInfoChanged = 1 << 9,
    kKeyswitchChanged = 1 << 10,
    kParamIDMappingChanged = 1 << 11,
};

// The host's object for edits and restarts, given to setComponentHandler [UI].
class IComponentHandler : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
    virtual tresult PLUGIN_API beginEdit(ParamID id) = 0;                                // 3
    virtual tresult PLUGIN_API performEdit(ParamID id, ParamValue valueNormalized) = 0;  // 4
    virtual tresult PLUGIN_API endEdit(ParamID id) = 0;                                  // 5
    virtual tresult PLUGIN_API restartComponent(int32 flags) = 0;                        // 6
};

class IPlugView;

// The view type createView is asked for.
inline constexpr char kEditor[] = "editor";

// The controller: parameters and the editor [UI]. setComponentHandler may pass null and must
// answer kResultOk; createView("editor") returns a new view with one reference for the caller.
class IEditController : public IPluginBase {
  public:
    static constexpr Uid iid = makeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
    virtual tresult PLUGIN_API setComponentState(IBStream* state) = 0;                       // 5
    virtual tresult PLUGIN_API setState(IBStream* state) = 0;                                // 6
    virtual tresult PLUGIN_API getState(IBStream* state) = 0;                                // 7
    virtual int32 PLUGIN_API getParameterCount() = 0;                                        // 8
    virtual tresult PLUGIN_API getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;  // 9
    virtual tresult PLUGIN_API getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                     String128 string) = 0;  // 10
    virtual tresult PLUGIN_API getParamValueByString(ParamID id, TChar* string,
                                                     ParamValue& valueNormalized) = 0;  // 11
    virtual ParamValue PLUGIN_API normalizedParamToPlain(ParamID id,
                                                         ParamValue valueNormalized) = 0;  // 12
    virtual ParamValue PLUGIN_API plainParamToNormalized(ParamID id,
                                                         ParamValue plainValue) = 0;  // 13
    virtual ParamValue PLUGIN_API getParamNormalized(ParamID id) = 0;                 // 14
    virtual tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue value) = 0;  // 15
    virtual tresult PLUGIN_API setComponentHandler(IComponentHandler* handler) = 0;   // 16
    virtual IPlugView* PLUGIN_API createView(FIDString name) = 0;                     // 17
};

// ---- Processor-controller messages ---------------------------------------------------------

// Typed values of a message, keyed by 8-bit text IDs [UI]. getBinary's data stays the list's.
class IAttributeList : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
    virtual tresult PLUGIN_API setInt(AttrID id, int64 value) = 0;                              // 3
    virtual tresult PLUGIN_API getInt(AttrID id, int64& value) = 0;                             // 4
    virtual tresult PLUGIN_API setFloat(AttrID id, double value) = 0;                           // 5
    virtual tresult PLUGIN_API getFloat(AttrID id, double& value) = 0;                          // 6
    virtual tresult PLUGIN_API setString(AttrID id, const TChar* string) = 0;                   // 7
    virtual tresult PLUGIN_API getString(AttrID id, TChar* string, uint32 sizeInBytes) = 0;     // 8
    virtual tresult PLUGIN_API setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;  // 9
    virtual tresult PLUGIN_API getBinary(AttrID id, const void*& data,
                                         uint32& sizeInBytes) = 0;  // 10
};

// A message between processor and controller, made by IHostApplication::createInstance [UI].
class IMessage : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
    virtual FIDString PLUGIN_API getMessageID() = 0;         // 3
    virtual void PLUGIN_API setMessageID(FIDString id) = 0;  // 4
    virtual IAttributeList* PLUGIN_API getAttributes() = 0;  // 5: borrowed
};

// Processor and controller connected both ways by the host, maybe through proxies: never cast
// the peer to a class of ours [UI]. Never sent from process.
class IConnectionPoint : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
    virtual tresult PLUGIN_API connect(IConnectionPoint* other) = 0;     // 3
    virtual tresult PLUGIN_API disconnect(IConnectionPoint* other) = 0;  // 4
    virtual tresult PLUGIN_API notify(IMessage* message) = 0;            // 5
};

// ---- Host context: IHostApplication --------------------------------------------------------

// The context given to initialize [UI]: the host's name (UTF-16) and the maker of messages and
// attribute lists (pass IMessage's ID as both IDs, or IAttributeList's; one reference for the
// caller; kResultFalse and *obj = null if the host cannot).
class IHostApplication : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
    virtual tresult PLUGIN_API getName(String128 name) = 0;  // 3
    virtual tresult PLUGIN_API createInstance(TUID classId, TUID interfaceId,
                                              void** obj) = 0;  // 4
};

// ---- Editor: IPlugView, IPlugFrame, content scale ------------------------------------------

// A view's rectangle in physical pixels (Windows and X11); width = right - left.
struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

// attached's parent types: on Linux the parent argument is the X11 window ID itself stored in
// the pointer; on Windows it is the HWND.
inline constexpr char kPlatformTypeX11EmbedWindowID[] = "X11EmbedWindowID";
inline constexpr char kPlatformTypeHWND[] = "HWND";

class IPlugFrame;

// The plug-in's editor view [UI]. getSize is valid before attached; the host calls setFrame
// before attached and setFrame(null) after removed, then releases the view (which must not
// outlive its controller). onKey*/onWheel return kResultTrue only if handled.
class IPlugView : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
    virtual tresult PLUGIN_API isPlatformTypeSupported(FIDString type) = 0;                // 3
    virtual tresult PLUGIN_API attached(void* parent, FIDString type) = 0;                 // 4
    virtual tresult PLUGIN_API removed() = 0;                                              // 5
    virtual tresult PLUGIN_API onWheel(float distance) = 0;                                // 6
    virtual tresult PLUGIN_API onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;  // 7
    virtual tresult PLUGIN_API onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;    // 8
    virtual tresult PLUGIN_API getSize(ViewRect* size) = 0;                                // 9
    virtual tresult PLUGIN_API onSize(ViewRect* newSize) = 0;                              // 10
    virtual tresult PLUGIN_API onFocus(TBool state) = 0;                                   // 11
    virtual tresult PLUGIN_API setFrame(IPlugFrame* frame) = 0;                            // 12
    virtual tresult PLUGIN_API canResize() = 0;                                            // 13
    virtual tresult PLUGIN_API checkSizeConstraint(ViewRect* rect) = 0;                    // 14
};

// The host's frame around a view [UI]; resizeView calls the view's onSize in the same call
// stack. On Linux it also answers Linux::IRunLoop.
class IPlugFrame : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
    virtual tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) = 0;  // 3
};

// Optional on the view: the host's display scale (Windows), before or after attached [UI].
// kResultFalse says "not handled".
class IPlugViewContentScaleSupport : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);
    virtual tresult PLUGIN_API setContentScaleFactor(float factor) = 0;  // 3
};

// ---- Linux run loop ------------------------------------------------------------------------

// The host lends its main loop to an editor on Linux (there is no global one): get IRunLoop
// from the IPlugFrame given to setFrame (or the factory's host context), register in attached
// or later, unregister everything in removed. All calls on the UI thread; handlers stay alive
// while registered and never block. Hosts refuse a second handler for one fd and a 0 ms timer.
namespace Linux {

using FileDescriptor = int;
using TimerInterval = uint64;  // milliseconds

// The plug-in's handler of a readable file descriptor.
class IEventHandler : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
    virtual void PLUGIN_API onFDIsSet(FileDescriptor fd) = 0;  // 3
};

// The plug-in's handler of a periodic timer.
class ITimerHandler : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
    virtual void PLUGIN_API onTimer() = 0;  // 3
};

// The host's run loop; unregisterEventHandler removes all of a handler's fds.
class IRunLoop : public FUnknown {
  public:
    static constexpr Uid iid = makeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
    virtual tresult PLUGIN_API registerEventHandler(IEventHandler* handler,
                                                    FileDescriptor fd) = 0;         // 3
    virtual tresult PLUGIN_API unregisterEventHandler(IEventHandler* handler) = 0;  // 4
    virtual tresult PLUGIN_API registerTimer(ITimerHandler* handler,
                                             TimerInterval milliseconds) = 0;  // 5
    virtual tresult PLUGIN_API unregisterTimer(ITimerHandler* handler) = 0;    // 6
};

}  // namespace Linux

// ---- IDs a host may ask for and this plug-in refuses ---------------------------------------

// Interfaces we never implement or call, only recognise: a plug-in answers kNoInterface for the
// first four, and a host of ours for the last two.
inline constexpr Uid kIEditController2Iid = makeUid(0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038);
inline constexpr Uid kIMidiMappingIid = makeUid(0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5);
inline constexpr Uid kIAudioPresentationLatencyIid =
    makeUid(0x309ECE78, 0xEB7D4FAE, 0x8B2225D9, 0x09FD08B6);
inline constexpr Uid kIUnitInfoIid = makeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
inline constexpr Uid kIComponentHandler2Iid =
    makeUid(0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC);
inline constexpr Uid kIPlugInterfaceSupportIid =
    makeUid(0x4FB58B9E, 0x9EAA4E0F, 0xAB361C1C, 0xCCB56FEA);

#if defined(_WIN32)
#pragma pack(pop)
#endif

// ---- Layout checks -------------------------------------------------------------------------

namespace layout {

enum class Abi { linux64, windows64, windows32 };
#if defined(_WIN64)
inline constexpr Abi kAbi = Abi::windows64;
#elif defined(_WIN32)
inline constexpr Abi kAbi = Abi::windows32;
#else
inline constexpr Abi kAbi = Abi::linux64;
static_assert(sizeof(void*) == 8, "32-bit Linux lays out 8-byte fields differently");
#endif

// The value for this build's ABI among the three.
constexpr std::size_t perAbi(std::size_t linux64, std::size_t windows64, std::size_t windows32) {
    return kAbi == Abi::linux64 ? linux64 : kAbi == Abi::windows64 ? windows64 : windows32;
}
// The same on both 64-bit ABIs, another on 32-bit Windows.
constexpr std::size_t bits64Or32(std::size_t bits64, std::size_t bits32) {
    return perAbi(bits64, bits64, bits32);
}

// An ID written as 32 hex digits (its bytes in memory, in order).
constexpr Uid uidFromHex(const char (&hex)[33]) {
    Uid uid{};
    for (int i = 0; i < 16; ++i) {
        int byte = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = hex[2 * i + k];
            byte = byte * 16 + (c >= 'A' ? c - 'A' + 10 : c - '0');
        }
        uid.bytes[i] = static_cast<char>(static_cast<uint8>(byte));
    }
    return uid;
}
// The ID's bytes as this system lays them out, given both systems' forms.
constexpr Uid nativeHex(const char (&onLinux)[33], const char (&onWindows)[33]) {
    return uidFromHex(kNativeUidLayout == UidLayout::bigEndian ? onLinux : onWindows);
}

}  // namespace layout

// Interface IDs, byte for byte.
static_assert(FUnknown::iid == layout::nativeHex("0000000000000000C000000000000046",
                                                 "0000000000000000C000000000000046"));
static_assert(IPluginBase::iid == layout::nativeHex("22888DDB156E45AE8358B34808190625",
                                                    "DB8D88226E15AE458358B34808190625"));
static_assert(IPluginFactory::iid == layout::nativeHex("7A4D811C52114A1FAED9D2EE0B43BF9F",
                                                       "1C814D7A11521F4AAED9D2EE0B43BF9F"));
static_assert(IPluginFactory2::iid == layout::nativeHex("0007B650F24B4C0BA464EDB9F00B2ABB",
                                                        "50B607004BF20B4CA464EDB9F00B2ABB"));
static_assert(IPluginFactory3::iid == layout::nativeHex("4555A2ABC1234E579B12291036878931",
                                                        "ABA2554523C1574E9B12291036878931"));
static_assert(IComponent::iid == layout::nativeHex("E831FF31F2D54301928EBBEE25697802",
                                                   "31FF31E8D5F20143928EBBEE25697802"));
static_assert(IAudioProcessor::iid == layout::nativeHex("42043F99B7DA453CA569E79D9AAEC33D",
                                                        "993F0442DAB73C45A569E79D9AAEC33D"));
static_assert(IProcessContextRequirements::iid ==
              layout::nativeHex("2A654303EF764E3D95B5FE83730EF6D0",
                                "0343652A76EF3D4E95B5FE83730EF6D0"));
static_assert(IEditController::iid == layout::nativeHex("DCD7BBE37742448DA874AACC979C759E",
                                                        "E3BBD7DC42778D44A874AACC979C759E"));
static_assert(IComponentHandler::iid == layout::nativeHex("93A0BEA30BD045DB8E890B0CC1E46AC6",
                                                          "A3BEA093D00BDB458E890B0CC1E46AC6"));
static_assert(IConnectionPoint::iid == layout::nativeHex("70A4156F6E6E4026989148BFAA60D8D1",
                                                         "6F15A4706E6E2640989148BFAA60D8D1"));
static_assert(IMessage::iid == layout::nativeHex("936F033BC6C047DBBB0882F813C1E613",
                                                 "3B036F93C0C6DB47BB0882F813C1E613"));
static_assert(IAttributeList::iid == layout::nativeHex("1E5F0AEBCC7F4533A254401138AD5EE4",
                                                       "EB0A5F1E7FCC3345A254401138AD5EE4"));
static_assert(IEventList::iid == layout::nativeHex("3A2C4214346349FEB2C4F397B9695A44",
                                                   "14422C3A6334FE49B2C4F397B9695A44"));
static_assert(IParameterChanges::iid == layout::nativeHex("A47796630BB64A56B44384A8466FEB9D",
                                                          "639677A4B60B564AB44384A8466FEB9D"));
static_assert(IParamValueQueue::iid == layout::nativeHex("01263A18ED074F6F98C9D3564686F9BA",
                                                         "183A260107ED6F4F98C9D3564686F9BA"));
static_assert(IBStream::iid == layout::nativeHex("C3BF6EA2309947529B6BF9901EE33E9B",
                                                 "A26EBFC3993052479B6BF9901EE33E9B"));
static_assert(ISizeableStream::iid == layout::nativeHex("04F9549EE02F4E6E87E86A8747F4E17F",
                                                        "9E54F9042FE06E4E87E86A8747F4E17F"));
static_assert(IHostApplication::iid == layout::nativeHex("58E595CCDB2D49698B6AAF8C36A664E5",
                                                         "CC95E5582DDB69498B6AAF8C36A664E5"));
static_assert(IPlugView::iid == layout::nativeHex("5BC32507D06049EAA6151B522B755B29",
                                                  "0725C35B60D0EA49A6151B522B755B29"));
static_assert(IPlugFrame::iid == layout::nativeHex("367FAF01AFA946938D4DA2A0ED0882A3",
                                                   "01AF7F36A9AF93468D4DA2A0ED0882A3"));
static_assert(IPlugViewContentScaleSupport::iid ==
              layout::nativeHex("65ED96908AC445258AADEF7A72EA703F",
                                "9096ED65C48A25458AADEF7A72EA703F"));
// The run loop's IDs are used on Linux only, in the Linux order.
#if !defined(_WIN32)
static_assert(Linux::IRunLoop::iid == layout::uidFromHex("18C3536697764F1A9C5B83857A871389"));
static_assert(Linux::IEventHandler::iid == layout::uidFromHex("561E65C913A0496F813A2C35654D7983"));
static_assert(Linux::ITimerHandler::iid == layout::uidFromHex("10BDD94F41424774821FAD8FECA72CA9"));
#endif
// Both systems' orders on every build, and the text form, which is the same on both.
static_assert(makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802, UidLayout::windowsGuid) ==
              layout::uidFromHex("31FF31E8D5F20143928EBBEE25697802"));
static_assert(makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802, UidLayout::bigEndian) ==
              layout::uidFromHex("E831FF31F2D54301928EBBEE25697802"));
static_assert(uidWords(layout::uidFromHex("31FF31E8D5F20143928EBBEE25697802").bytes,
                       UidLayout::windowsGuid) ==
              UidWords{0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802});

// Records: size, alignment where it matters, and every field's offset.
#define VST3_OFFSET(record, field, at) \
    static_assert(offsetof(record, field) == (at), #record "::" #field)

static_assert(sizeof(Uid) == sizeof(TUID));
static_assert(sizeof(TBool) == 1 && sizeof(char16) == 2 && sizeof(String128) == 256);

static_assert(sizeof(PFactoryInfo) == 452 && alignof(PFactoryInfo) == 4);
VST3_OFFSET(PFactoryInfo, vendor, 0);
VST3_OFFSET(PFactoryInfo, url, 64);
VST3_OFFSET(PFactoryInfo, email, 320);
VST3_OFFSET(PFactoryInfo, flags, 448);

static_assert(sizeof(PClassInfo) == 116 && alignof(PClassInfo) == 4);
VST3_OFFSET(PClassInfo, cid, 0);
VST3_OFFSET(PClassInfo, cardinality, 16);
VST3_OFFSET(PClassInfo, category, 20);
VST3_OFFSET(PClassInfo, name, 52);

static_assert(sizeof(PClassInfo2) == 440 && alignof(PClassInfo2) == 4);
VST3_OFFSET(PClassInfo2, cid, 0);
VST3_OFFSET(PClassInfo2, cardinality, 16);
VST3_OFFSET(PClassInfo2, category, 20);
VST3_OFFSET(PClassInfo2, name, 52);
VST3_OFFSET(PClassInfo2, classFlags, 116);
VST3_OFFSET(PClassInfo2, subCategories, 120);
VST3_OFFSET(PClassInfo2, vendor, 248);
VST3_OFFSET(PClassInfo2, version, 312);
VST3_OFFSET(PClassInfo2, sdkVersion, 376);

static_assert(sizeof(PClassInfoW) == 696 && alignof(PClassInfoW) == 4);
VST3_OFFSET(PClassInfoW, cid, 0);
VST3_OFFSET(PClassInfoW, cardinality, 16);
VST3_OFFSET(PClassInfoW, category, 20);
VST3_OFFSET(PClassInfoW, name, 52);
VST3_OFFSET(PClassInfoW, classFlags, 180);
VST3_OFFSET(PClassInfoW, subCategories, 184);
VST3_OFFSET(PClassInfoW, vendor, 312);
VST3_OFFSET(PClassInfoW, version, 440);
VST3_OFFSET(PClassInfoW, sdkVersion, 568);

static_assert(sizeof(BusInfo) == 276 && alignof(BusInfo) == 4);
VST3_OFFSET(BusInfo, mediaType, 0);
VST3_OFFSET(BusInfo, direction, 4);
VST3_OFFSET(BusInfo, channelCount, 8);
VST3_OFFSET(BusInfo, name, 12);
VST3_OFFSET(BusInfo, busType, 268);
VST3_OFFSET(BusInfo, flags, 272);

static_assert(sizeof(RoutingInfo) == 12);
VST3_OFFSET(RoutingInfo, mediaType, 0);
VST3_OFFSET(RoutingInfo, busIndex, 4);
VST3_OFFSET(RoutingInfo, channel, 8);

static_assert(sizeof(ProcessSetup) == 24 && alignof(ProcessSetup) == 8);
VST3_OFFSET(ProcessSetup, processMode, 0);
VST3_OFFSET(ProcessSetup, symbolicSampleSize, 4);
VST3_OFFSET(ProcessSetup, maxSamplesPerBlock, 8);
VST3_OFFSET(ProcessSetup, sampleRate, 16);

static_assert(sizeof(AudioBusBuffers) == 24 && alignof(AudioBusBuffers) == 8);
VST3_OFFSET(AudioBusBuffers, numChannels, 0);
VST3_OFFSET(AudioBusBuffers, silenceFlags, 8);
VST3_OFFSET(AudioBusBuffers, channelBuffers32, 16);
VST3_OFFSET(AudioBusBuffers, channelBuffers64, 16);

static_assert(sizeof(ProcessData) == layout::bits64Or32(80, 48));
static_assert(alignof(ProcessData) == layout::bits64Or32(8, 4));
VST3_OFFSET(ProcessData, processMode, 0);
VST3_OFFSET(ProcessData, symbolicSampleSize, 4);
VST3_OFFSET(ProcessData, numSamples, 8);
VST3_OFFSET(ProcessData, numInputs, 12);
VST3_OFFSET(ProcessData, numOutputs, 16);
VST3_OFFSET(ProcessData, inputs, layout::bits64Or32(24, 20));
VST3_OFFSET(ProcessData, outputs, layout::bits64Or32(32, 24));
VST3_OFFSET(ProcessData, inputParameterChanges, layout::bits64Or32(40, 28));
VST3_OFFSET(ProcessData, outputParameterChanges, layout::bits64Or32(48, 32));
VST3_OFFSET(ProcessData, inputEvents, layout::bits64Or32(56, 36));
VST3_OFFSET(ProcessData, outputEvents, layout::bits64Or32(64, 40));
VST3_OFFSET(ProcessData, processContext, layout::bits64Or32(72, 44));

static_assert(sizeof(ProcessContext) == 112 && alignof(ProcessContext) == 8);
VST3_OFFSET(ProcessContext, state, 0);
VST3_OFFSET(ProcessContext, sampleRate, 8);
VST3_OFFSET(ProcessContext, projectTimeSamples, 16);
VST3_OFFSET(ProcessContext, systemTime, 24);
VST3_OFFSET(ProcessContext, continousTimeSamples, 32);
VST3_OFFSET(ProcessContext, projectTimeMusic, 40);
VST3_OFFSET(ProcessContext, barPositionMusic, 48);
VST3_OFFSET(ProcessContext, cycleStartMusic, 56);
VST3_OFFSET(ProcessContext, cycleEndMusic, 64);
VST3_OFFSET(ProcessContext, tempo, 72);
VST3_OFFSET(ProcessContext, timeSigNumerator, 80);
VST3_OFFSET(ProcessContext, timeSigDenominator, 84);
VST3_OFFSET(ProcessContext, chord, 88);
VST3_OFFSET(ProcessContext, smpteOffsetSubframes, 92);
VST3_OFFSET(ProcessContext, frameRate, 96);
VST3_OFFSET(ProcessContext, samplesToNextClock, 104);
static_assert(sizeof(ProcessContext::Chord) == 4 && sizeof(ProcessContext::FrameRate) == 8);
VST3_OFFSET(ProcessContext::Chord, keyNote, 0);
VST3_OFFSET(ProcessContext::Chord, rootNote, 1);
VST3_OFFSET(ProcessContext::Chord, chordMask, 2);
VST3_OFFSET(ProcessContext::FrameRate, framesPerSecond, 0);
VST3_OFFSET(ProcessContext::FrameRate, flags, 4);

static_assert(sizeof(NoteOnEvent) == 20 && alignof(NoteOnEvent) == 4);
VST3_OFFSET(NoteOnEvent, channel, 0);
VST3_OFFSET(NoteOnEvent, pitch, 2);
VST3_OFFSET(NoteOnEvent, tuning, 4);
VST3_OFFSET(NoteOnEvent, velocity, 8);
VST3_OFFSET(NoteOnEvent, length, 12);
VST3_OFFSET(NoteOnEvent, noteId, 16);

static_assert(sizeof(NoteOffEvent) == 16 && alignof(NoteOffEvent) == 4);
VST3_OFFSET(NoteOffEvent, channel, 0);
VST3_OFFSET(NoteOffEvent, pitch, 2);
VST3_OFFSET(NoteOffEvent, velocity, 4);
VST3_OFFSET(NoteOffEvent, noteId, 8);
VST3_OFFSET(NoteOffEvent, tuning, 12);

static_assert(sizeof(DataEvent) == layout::bits64Or32(16, 12));
VST3_OFFSET(DataEvent, size, 0);
VST3_OFFSET(DataEvent, type, 4);
VST3_OFFSET(DataEvent, bytes, 8);

static_assert(sizeof(PolyPressureEvent) == 12);
VST3_OFFSET(PolyPressureEvent, channel, 0);
VST3_OFFSET(PolyPressureEvent, pitch, 2);
VST3_OFFSET(PolyPressureEvent, pressure, 4);
VST3_OFFSET(PolyPressureEvent, noteId, 8);

static_assert(sizeof(NoteExpressionValueEvent) == 16);
static_assert(alignof(NoteExpressionValueEvent) == layout::bits64Or32(8, 4));
VST3_OFFSET(NoteExpressionValueEvent, typeId, 0);
VST3_OFFSET(NoteExpressionValueEvent, noteId, 4);
VST3_OFFSET(NoteExpressionValueEvent, value, 8);

static_assert(sizeof(NoteExpressionTextEvent) == layout::bits64Or32(24, 16));
VST3_OFFSET(NoteExpressionTextEvent, typeId, 0);
VST3_OFFSET(NoteExpressionTextEvent, noteId, 4);
VST3_OFFSET(NoteExpressionTextEvent, textLen, 8);
VST3_OFFSET(NoteExpressionTextEvent, text, layout::bits64Or32(16, 12));

static_assert(sizeof(ChordEvent) == layout::bits64Or32(16, 12));
static_assert(sizeof(ScaleEvent) == layout::bits64Or32(16, 12));
static_assert(sizeof(LegacyMIDICCOutEvent) == 4);

static_assert(sizeof(Event) == layout::bits64Or32(48, 40) && alignof(Event) == 8);
VST3_OFFSET(Event, busIndex, 0);
VST3_OFFSET(Event, sampleOffset, 4);
VST3_OFFSET(Event, ppqPosition, 8);
VST3_OFFSET(Event, flags, 16);
VST3_OFFSET(Event, type, 18);
VST3_OFFSET(Event, noteOn, layout::bits64Or32(24, 20));
VST3_OFFSET(Event, noteOff, layout::bits64Or32(24, 20));
VST3_OFFSET(Event, data, layout::bits64Or32(24, 20));
VST3_OFFSET(Event, polyPressure, layout::bits64Or32(24, 20));
VST3_OFFSET(Event, noteExpressionValue, layout::bits64Or32(24, 20));
VST3_OFFSET(Event, noteExpressionText, layout::bits64Or32(24, 20));
VST3_OFFSET(Event, chord, layout::bits64Or32(24, 20));
VST3_OFFSET(Event, scale, layout::bits64Or32(24, 20));
VST3_OFFSET(Event, midiCCOut, layout::bits64Or32(24, 20));

static_assert(sizeof(ParameterInfo) == 792 && alignof(ParameterInfo) == 8);
VST3_OFFSET(ParameterInfo, id, 0);
VST3_OFFSET(ParameterInfo, title, 4);
VST3_OFFSET(ParameterInfo, shortTitle, 260);
VST3_OFFSET(ParameterInfo, units, 516);
VST3_OFFSET(ParameterInfo, stepCount, 772);
VST3_OFFSET(ParameterInfo, defaultNormalizedValue, 776);
VST3_OFFSET(ParameterInfo, unitId, 784);
VST3_OFFSET(ParameterInfo, flags, 788);

static_assert(sizeof(ViewRect) == 16);
VST3_OFFSET(ViewRect, left, 0);
VST3_OFFSET(ViewRect, top, 4);
VST3_OFFSET(ViewRect, right, 8);
VST3_OFFSET(ViewRect, bottom, 12);

// An interface object is only its vtable pointer.
static_assert(sizeof(FUnknown) == sizeof(void*) && sizeof(IPluginFactory3) == sizeof(void*));
static_assert(sizeof(IEditController) == sizeof(void*) && sizeof(IPlugView) == sizeof(void*));

#undef VST3_OFFSET

}  // namespace vst3
