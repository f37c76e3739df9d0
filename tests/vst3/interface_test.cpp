// A small component written against the VST 3 header, reached the way a host reaches a plug-in:
// IDs passed as 16 raw bytes, methods called through vtable slot numbers. It catches an ID laid
// out in the wrong order, a queryInterface that hands out the wrong base, and a method declared
// in the wrong place (every later slot shifts).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "vst3/vst3_interface.h"

namespace {

using namespace vst3;

// The 16 bytes of an ID as the host sees them on this system, from its 32-digit form in each
// system's order; independent of the header's own constants.
Uid bytesOnThisSystem(const char (&onLinux)[33], const char (&onWindows)[33]) {
    const char* hex = kNativeUidLayout == UidLayout::bigEndian ? onLinux : onWindows;
    Uid uid{};
    for (int i = 0; i < 16; ++i) {
        char pair[3] = {hex[2 * i], hex[2 * i + 1], 0};
        uid.bytes[i] = static_cast<char>(std::strtoul(pair, nullptr, 16));
    }
    return uid;
}

// The processor part of a plug-in, reduced to what the checks observe: the last call's
// arguments. Every call comes from the test's one thread.
class Component final : public IComponent, public IAudioProcessor {
  public:
    tresult PLUGIN_API queryInterface(const TUID interfaceId, void** obj) override {
        if (sameUid(interfaceId, FUnknown::iid) || sameUid(interfaceId, IPluginBase::iid) ||
            sameUid(interfaceId, IComponent::iid))
            *obj = static_cast<IComponent*>(this);
        else if (sameUid(interfaceId, IAudioProcessor::iid))
            *obj = static_cast<IAudioProcessor*>(this);
        else {
            *obj = nullptr;
            return kNoInterface;
        }
        addRef();
        return kResultOk;
    }
    uint32 PLUGIN_API addRef() override { return ++references; }
    uint32 PLUGIN_API release() override { return --references; }

    tresult PLUGIN_API initialize(FUnknown* hostContext) override {
        context = hostContext;
        return kResultOk;
    }
    tresult PLUGIN_API terminate() override { return kResultFalse; }
    tresult PLUGIN_API getControllerClassId(TUID) override { return kResultFalse; }
    tresult PLUGIN_API setIoMode(IoMode) override { return kResultOk; }
    int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) override {
        return type == kAudio || dir == kInput ? 1 : 0;
    }
    tresult PLUGIN_API getBusInfo(MediaType, BusDirection, int32 index, BusInfo& bus) override {
        bus.channelCount = 2;
        return index == 0 ? kResultOk : kInvalidArgument;
    }
    tresult PLUGIN_API getRoutingInfo(RoutingInfo&, RoutingInfo&) override {
        return kNotImplemented;
    }
    tresult PLUGIN_API activateBus(MediaType, BusDirection, int32, TBool) override {
        return kResultOk;
    }
    tresult PLUGIN_API setActive(TBool state) override {
        active = state != 0;
        return kResultOk;
    }
    tresult PLUGIN_API setState(IBStream*) override { return kResultOk; }
    tresult PLUGIN_API getState(IBStream* stream) override {
        savedTo = stream;
        return kResultOk;
    }

    tresult PLUGIN_API setBusArrangements(SpeakerArrangement*, int32, SpeakerArrangement*,
                                          int32) override {
        return kResultFalse;
    }
    tresult PLUGIN_API getBusArrangement(BusDirection, int32, SpeakerArrangement& arr) override {
        arr = kStereo;
        return kResultOk;
    }
    tresult PLUGIN_API canProcessSampleSize(int32 size) override {
        return size == kSample32 ? kResultTrue : kResultFalse;
    }
    uint32 PLUGIN_API getLatencySamples() override { return 0; }
    tresult PLUGIN_API setupProcessing(ProcessSetup& setup) override {
        sampleRate = setup.sampleRate;
        return kResultOk;
    }
    tresult PLUGIN_API setProcessing(TBool) override { return kResultOk; }
    tresult PLUGIN_API process(ProcessData& data) override {
        processedFrames = data.numSamples;
        return kResultOk;
    }
    uint32 PLUGIN_API getTailSamples() override { return 1234; }

    std::atomic<uint32> references{1};
    FUnknown* context = nullptr;
    IBStream* savedTo = nullptr;
    bool active = false;
    double sampleRate = 0;
    int32 processedFrames = -1;
};

// Calls method `slot` of the interface at `object` as a host compiled by anyone would: through
// the object's vtable pointer, with the object as the first argument.
template <class Result, class... Args>
Result callSlot(void* object, int slot, Args... args) {
    void** vtable = *static_cast<void***>(object);
    auto method = reinterpret_cast<Result(PLUGIN_API*)(void*, Args...)>(vtable[slot]);
    return method(object, args...);
}

TEST(Vst3Interface, QueryInterfaceAnswersTheRightIdsByteForByteAndRefusesOthers) {
    Component component;
    FUnknown* unknown = static_cast<IComponent*>(&component);
    struct Answer {
        Uid id;
        void* expected;
    };
    const Answer answers[] = {
        {bytesOnThisSystem("0000000000000000C000000000000046", "0000000000000000C000000000000046"),
         static_cast<IComponent*>(&component)},
        {bytesOnThisSystem("22888DDB156E45AE8358B34808190625", "DB8D88226E15AE458358B34808190625"),
         static_cast<IComponent*>(&component)},
        {bytesOnThisSystem("E831FF31F2D54301928EBBEE25697802", "31FF31E8D5F20143928EBBEE25697802"),
         static_cast<IComponent*>(&component)},
        {bytesOnThisSystem("42043F99B7DA453CA569E79D9AAEC33D", "993F0442DAB73C45A569E79D9AAEC33D"),
         static_cast<IAudioProcessor*>(&component)},
    };
    for (const Answer& answer : answers) {
        void* obj = nullptr;
        const uint32 before = component.references;
        EXPECT_EQ(callSlot<tresult>(unknown, 0, answer.id.bytes, &obj), kResultOk);
        EXPECT_EQ(obj, answer.expected);
        EXPECT_EQ(component.references, before + 1);
    }
    // The audio processor is a different base with its own vtable, not the component's.
    EXPECT_NE(static_cast<void*>(static_cast<IAudioProcessor*>(&component)),
              static_cast<void*>(static_cast<IComponent*>(&component)));

    // Refused: an interface the object lacks, one a host probes for, the component's ID with
    // one bit flipped, and its ID in the other system's byte order.
    Uid flipped = IComponent::iid;
    flipped.bytes[15] ^= 1;
    const UidLayout otherLayout =
        kNativeUidLayout == UidLayout::bigEndian ? UidLayout::windowsGuid : UidLayout::bigEndian;
    const Uid refused[] = {IEditController::iid, kIEditController2Iid, flipped,
                           makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802, otherLayout)};
    for (const Uid& id : refused) {
        void* obj = &component;
        const uint32 before = component.references;
        EXPECT_EQ(callSlot<tresult>(unknown, 0, id.bytes, &obj), kNoInterface);
        EXPECT_EQ(obj, nullptr);
        EXPECT_EQ(component.references, before);
    }
    // Created with 1, four answers added one each; slot 2 releases one (slot 1 would add).
    EXPECT_EQ(callSlot<uint32>(unknown, 2), 4u);

    // The text form hosts show is the same on every system.
    EXPECT_STREQ(uidText(IComponent::iid.bytes).chars, "E831FF31F2D54301928EBBEE25697802");
    EXPECT_STREQ(uidText(kIPlugInterfaceSupportIid.bytes).chars,
                 "4FB58B9E9EAA4E0FAB361C1CCCB56FEA");
}

TEST(Vst3Interface, MethodsSitInTheirVtableSlots) {
    Component component;
    void* asComponent = nullptr;
    void* asProcessor = nullptr;
    ASSERT_EQ(component.queryInterface(IComponent::iid.bytes, &asComponent), kResultOk);
    ASSERT_EQ(component.queryInterface(IAudioProcessor::iid.bytes, &asProcessor), kResultOk);

    // IPluginBase 3-4 and IComponent 5-13, counted after FUnknown's three.
    int hostContext = 0;
    EXPECT_EQ(callSlot<tresult>(asComponent, 3, reinterpret_cast<FUnknown*>(&hostContext)),
              kResultOk);
    EXPECT_EQ(static_cast<void*>(component.context), &hostContext);
    EXPECT_EQ(callSlot<tresult>(asComponent, 4), kResultFalse);
    EXPECT_EQ(callSlot<int32>(asComponent, 7, MediaType{kEvent}, BusDirection{kOutput}), 0);
    BusInfo bus{};
    EXPECT_EQ(
        callSlot<tresult>(asComponent, 8, MediaType{kAudio}, BusDirection{kInput}, int32{1}, &bus),
        kInvalidArgument);
    EXPECT_EQ(bus.channelCount, 2);
    EXPECT_EQ(callSlot<tresult>(asComponent, 9, &bus, &bus), kNotImplemented);
    EXPECT_EQ(callSlot<tresult>(asComponent, 11, TBool{1}), kResultOk);
    EXPECT_TRUE(component.active);
    int stream = 0;
    EXPECT_EQ(callSlot<tresult>(asComponent, 13, reinterpret_cast<IBStream*>(&stream)), kResultOk);
    EXPECT_EQ(static_cast<void*>(component.savedTo), &stream);

    // IAudioProcessor 3-10.
    SpeakerArrangement arrangement = kEmpty;
    EXPECT_EQ(callSlot<tresult>(asProcessor, 4, BusDirection{kOutput}, int32{0}, &arrangement),
              kResultOk);
    EXPECT_EQ(arrangement, kStereo);
    EXPECT_EQ(callSlot<tresult>(asProcessor, 5, int32{kSample64}), kResultFalse);
    ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
    EXPECT_EQ(callSlot<tresult>(asProcessor, 7, &setup), kResultOk);
    EXPECT_EQ(component.sampleRate, 48000.0);
    ProcessData data{};
    data.numSamples = 77;
    EXPECT_EQ(callSlot<tresult>(asProcessor, 9, &data), kResultOk);
    EXPECT_EQ(component.processedFrames, 77);
    EXPECT_EQ(callSlot<uint32>(asProcessor, 10), 1234u);
}

// Objects whose every method answers its own vtable slot number, as the interface numbers them;
// calling slot n and getting back anything but n means a method is declared out of place.
template <class Interface>
struct Numbered : Interface {
    tresult PLUGIN_API queryInterface(const TUID, void**) override { return 0; }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 2; }
};

// Pointer-returning methods answer their slot number as an address.
template <class T>
T* slotPointer(std::uintptr_t slot) {
    return reinterpret_cast<T*>(slot);
}

struct NumberedFactory final : Numbered<IPluginFactory3> {
    tresult PLUGIN_API getFactoryInfo(PFactoryInfo*) override { return 3; }
    int32 PLUGIN_API countClasses() override { return 4; }
    tresult PLUGIN_API getClassInfo(int32, PClassInfo*) override { return 5; }
    tresult PLUGIN_API createInstance(FIDString, FIDString, void**) override { return 6; }
    tresult PLUGIN_API getClassInfo2(int32, PClassInfo2*) override { return 7; }
    tresult PLUGIN_API getClassInfoUnicode(int32, PClassInfoW*) override { return 8; }
    tresult PLUGIN_API setHostContext(FUnknown*) override { return 9; }
};

struct NumberedController final : Numbered<IEditController> {
    tresult PLUGIN_API initialize(FUnknown*) override { return 3; }
    tresult PLUGIN_API terminate() override { return 4; }
    tresult PLUGIN_API setComponentState(IBStream*) override { return 5; }
    tresult PLUGIN_API setState(IBStream*) override { return 6; }
    tresult PLUGIN_API getState(IBStream*) override { return 7; }
    int32 PLUGIN_API getParameterCount() override { return 8; }
    tresult PLUGIN_API getParameterInfo(int32, ParameterInfo&) override { return 9; }
    tresult PLUGIN_API getParamStringByValue(ParamID, ParamValue, String128) override { return 10; }
    tresult PLUGIN_API getParamValueByString(ParamID, TChar*, ParamValue&) override { return 11; }
    ParamValue PLUGIN_API normalizedParamToPlain(ParamID, ParamValue) override { return 12; }
    ParamValue PLUGIN_API plainParamToNormalized(ParamID, ParamValue) override { return 13; }
    ParamValue PLUGIN_API getParamNormalized(ParamID) override { return 14; }
    tresult PLUGIN_API setParamNormalized(ParamID, ParamValue) override { return 15; }
    tresult PLUGIN_API setComponentHandler(IComponentHandler*) override { return 16; }
    IPlugView* PLUGIN_API createView(FIDString) override { return slotPointer<IPlugView>(17); }
};

struct NumberedView final : Numbered<IPlugView> {
    tresult PLUGIN_API isPlatformTypeSupported(FIDString) override { return 3; }
    tresult PLUGIN_API attached(void*, FIDString) override { return 4; }
    tresult PLUGIN_API removed() override { return 5; }
    tresult PLUGIN_API onWheel(float) override { return 6; }
    tresult PLUGIN_API onKeyDown(char16, int16, int16) override { return 7; }
    tresult PLUGIN_API onKeyUp(char16, int16, int16) override { return 8; }
    tresult PLUGIN_API getSize(ViewRect*) override { return 9; }
    tresult PLUGIN_API onSize(ViewRect*) override { return 10; }
    tresult PLUGIN_API onFocus(TBool) override { return 11; }
    tresult PLUGIN_API setFrame(IPlugFrame*) override { return 12; }
    tresult PLUGIN_API canResize() override { return 13; }
    tresult PLUGIN_API checkSizeConstraint(ViewRect*) override { return 14; }
};

// The host's side: what a plug-in of ours calls.
struct NumberedHost final : Numbered<IHostApplication> {
    tresult PLUGIN_API getName(String128) override { return 3; }
    tresult PLUGIN_API createInstance(TUID, TUID, void**) override { return 4; }
};

struct NumberedHandler final : Numbered<IComponentHandler> {
    tresult PLUGIN_API beginEdit(ParamID) override { return 3; }
    tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return 4; }
    tresult PLUGIN_API endEdit(ParamID) override { return 5; }
    tresult PLUGIN_API restartComponent(int32) override { return 6; }
};

struct NumberedStream final : Numbered<IBStream> {
    tresult PLUGIN_API read(void*, int32, int32*) override { return 3; }
    tresult PLUGIN_API write(void*, int32, int32*) override { return 4; }
    tresult PLUGIN_API seek(int64, int32, int64*) override { return 5; }
    tresult PLUGIN_API tell(int64*) override { return 6; }
};

struct NumberedEvents final : Numbered<IEventList> {
    int32 PLUGIN_API getEventCount() override { return 3; }
    tresult PLUGIN_API getEvent(int32, Event&) override { return 4; }
    tresult PLUGIN_API addEvent(Event&) override { return 5; }
};

struct NumberedChanges final : Numbered<IParameterChanges> {
    int32 PLUGIN_API getParameterCount() override { return 3; }
    IParamValueQueue* PLUGIN_API getParameterData(int32) override {
        return slotPointer<IParamValueQueue>(4);
    }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID&, int32&) override {
        return slotPointer<IParamValueQueue>(5);
    }
};

struct NumberedConnection final : Numbered<IConnectionPoint> {
    tresult PLUGIN_API connect(IConnectionPoint*) override { return 3; }
    tresult PLUGIN_API disconnect(IConnectionPoint*) override { return 4; }
    tresult PLUGIN_API notify(IMessage*) override { return 5; }
};

struct NumberedRunLoop final : Numbered<Linux::IRunLoop> {
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override {
        return 3;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return 4; }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler*, Linux::TimerInterval) override {
        return 5;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler*) override { return 6; }
};

// Calls slots first..last of `object` without arguments and expects each to answer its number.
// Only where the caller clears the stack: the methods ignore their arguments, so missing ones
// are never read.
template <class Result>
void expectNumberedSlots(FUnknown* object, int first, int last, const char* name) {
    for (int slot = first; slot <= last; ++slot) {
        if constexpr (std::is_pointer_v<Result>)
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(callSlot<Result>(object, slot)),
                      static_cast<std::uintptr_t>(slot))
                << name << " slot " << slot;
        else
            EXPECT_EQ(callSlot<Result>(object, slot), static_cast<Result>(slot))
                << name << " slot " << slot;
    }
}

TEST(Vst3Interface, EveryInterfaceKeepsItsMethodOrder) {
#if defined(_WIN32) && !defined(_WIN64)
    GTEST_SKIP() << "__stdcall methods pop their own arguments: calls without them are unsafe";
#else
    NumberedFactory factory;
    expectNumberedSlots<int32>(&factory, 0, 9, "IPluginFactory3");
    NumberedController controller;
    expectNumberedSlots<int32>(&controller, 3, 11, "IEditController");
    expectNumberedSlots<double>(&controller, 12, 14, "IEditController");
    expectNumberedSlots<int32>(&controller, 15, 16, "IEditController");
    expectNumberedSlots<void*>(&controller, 17, 17, "IEditController");
    NumberedView view;
    expectNumberedSlots<int32>(&view, 3, 14, "IPlugView");
    NumberedHost host;
    expectNumberedSlots<int32>(&host, 3, 4, "IHostApplication");
    NumberedHandler handler;
    expectNumberedSlots<int32>(&handler, 3, 6, "IComponentHandler");
    NumberedStream stream;
    expectNumberedSlots<int32>(&stream, 3, 6, "IBStream");
    NumberedEvents events;
    expectNumberedSlots<int32>(&events, 3, 5, "IEventList");
    NumberedChanges changes;
    expectNumberedSlots<int32>(&changes, 3, 3, "IParameterChanges");
    expectNumberedSlots<void*>(&changes, 4, 5, "IParameterChanges");
    NumberedConnection connection;
    expectNumberedSlots<int32>(&connection, 3, 5, "IConnectionPoint");
    NumberedRunLoop runLoop;
    expectNumberedSlots<int32>(&runLoop, 3, 6, "IRunLoop");
#endif
}

}  // namespace
