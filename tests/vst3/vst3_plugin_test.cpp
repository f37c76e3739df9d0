// The bundle cqscope.vst3 loaded through its exported entries as a host loads it (dlopen of
// Contents/<machine>-linux/cqscope.so, ModuleEntry, GetPluginFactory, createInstance of the
// class the factory lists). Its editor is attached to a parent window of the module's own
// window system (passed as an X11 window ID, as hosts pass theirs) and run by the test host's
// run loop, reached through the frame; for the same audio and notes it shows the VST 2
// editor's picture pixel for pixel. Audio passes bit for bit at the usual rates, in place or
// not; many life cycles leave no window, drawing object or run-loop registration behind.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/display_geometry.h"
#include "loaded_module.h"
#include "vst3/analysis_wait.h"
#include "vst3/vst3_interface.h"
#include "vst_editor_side.h"

namespace {

using namespace vst3;

constexpr std::uint32_t kBlock = VstEditorSide::kBlock;
constexpr int kWidth = display::kWidth;
constexpr int kHeight = display::kHeight;

// An object of the test host: the three FUnknown calls over one interface, counts ignored (the
// test owns it), as the example host's frame and run loop count nothing.
template <class Interface>
class HostObject : public Interface {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        *obj = nullptr;
        if (!sameUid(iid, FUnknown::iid) && !sameUid(iid, Interface::iid)) return kNoInterface;
        *obj = this;
        return kResultOk;
    }
    uint32 PLUGIN_API addRef() override { return ++references; }
    uint32 PLUGIN_API release() override { return --references; }
    int references = 0;  // what the plug-in holds now
};

// The host's run loop, counting what is registered with it.
class TestRunLoop : public HostObject<Linux::IRunLoop> {
  public:
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler,
                                            Linux::FileDescriptor fd) override {
        if (handler == nullptr || fd < 0 || events != nullptr) return kInvalidArgument;
        events = handler;
        return kResultOk;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override {
        if (handler != events) return kInvalidArgument;
        events = nullptr;
        return kResultOk;
    }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler,
                                     Linux::TimerInterval ms) override {
        if (handler == nullptr || ms == 0 || timer != nullptr) return kInvalidArgument;
        timer = handler;
        period = ms;
        return kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
        if (handler != timer) return kInvalidArgument;
        timer = nullptr;
        return kResultOk;
    }
    Linux::IEventHandler* events = nullptr;
    Linux::ITimerHandler* timer = nullptr;
    Linux::TimerInterval period = 0;
};

// The frame, which offers the run loop.
class TestFrame : public HostObject<IPlugFrame> {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (sameUid(iid, Linux::IRunLoop::iid)) {
            *obj = &loop;
            loop.addRef();
            return kResultOk;
        }
        return HostObject<IPlugFrame>::queryInterface(iid, obj);
    }
    tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }
    TestRunLoop loop;
};

class EventList : public HostObject<IEventList> {
  public:
    int32 PLUGIN_API getEventCount() override { return static_cast<int32>(events.size()); }
    tresult PLUGIN_API getEvent(int32 index, Event& e) override {
        if (index < 0 || index >= getEventCount()) return kInvalidArgument;
        e = events[static_cast<std::size_t>(index)];
        return kResultOk;
    }
    tresult PLUGIN_API addEvent(Event&) override { return kResultFalse; }
    std::vector<Event> events;
};

// A memory stream that reports short reads by their count, as the example host's does.
class MemoryStream : public HostObject<IBStream> {
  public:
    tresult PLUGIN_API read(void* buffer, int32 n, int32* done) override {
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(n), bytes.size() - at);
        if (count > 0) std::memcpy(buffer, bytes.data() + at, count);
        at += count;
        if (done != nullptr) *done = static_cast<int32>(count);
        return kResultOk;
    }
    tresult PLUGIN_API write(void* buffer, int32 n, int32* done) override {
        const auto* p = static_cast<const char*>(buffer);
        bytes.insert(bytes.end(), p, p + n);
        if (done != nullptr) *done = n;
        return kResultOk;
    }
    tresult PLUGIN_API seek(int64, int32, int64*) override { return kNotImplemented; }
    tresult PLUGIN_API tell(int64* pos) override {
        if (pos != nullptr) *pos = static_cast<int64>(at);
        return kResultOk;
    }
    std::vector<char> bytes;
    std::size_t at = 0;
};

Event noteEvent(bool on, int pitch, float velocity, int channel = 0) {
    Event e{};
    e.type = on ? Event::kNoteOnEvent : Event::kNoteOffEvent;
    if (on) {
        e.noteOn = {static_cast<int16>(channel), static_cast<int16>(pitch), 0, velocity, 0, -1};
    } else {
        e.noteOff = {static_cast<int16>(channel), static_cast<int16>(pitch), velocity, -1, 0};
    }
    return e;
}

// The bundle's binary, entered and its factory taken, as a host does; let go in reverse.
class Vst3Module {
  public:
    Vst3Module() {
        handle_ = dlopen(CQSCOPE_VST3_BINARY, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            ADD_FAILURE() << dlerror();
            return;
        }
        const auto entry = reinterpret_cast<ModuleEntryFunc>(dlsym(handle_, kModuleEntryName));
        exit_ = reinterpret_cast<ModuleExitFunc>(dlsym(handle_, kModuleExitName));
        const auto get = reinterpret_cast<GetFactoryProc>(dlsym(handle_, kGetFactoryProcName));
        windows = hostCallsOf(handle_);
        if (entry == nullptr || exit_ == nullptr || get == nullptr || !entry(handle_)) return;
        entered_ = true;
        factory = get();
        void* f2 = nullptr;
        if (factory != nullptr &&
            factory->queryInterface(IPluginFactory2::iid.bytes, &f2) == kResultOk)
            factory2 = static_cast<IPluginFactory2*>(f2);
        PClassInfo info{};
        if (factory != nullptr && factory->getClassInfo(0, &info) == kResultOk)
            std::memcpy(classId, info.cid, sizeof classId);
    }
    ~Vst3Module() {
        if (factory2 != nullptr) factory2->release();
        if (factory != nullptr) factory->release();
        if (entered_) {
            EXPECT_TRUE(exit_());
        }
        if (handle_ != nullptr) dlclose(handle_);
    }
    Vst3Module(const Vst3Module&) = delete;
    Vst3Module& operator=(const Vst3Module&) = delete;

    // One more entry and exit pair, as a host that loads the module twice makes them.
    bool enterAndExitAgain() const {
        const auto entry = reinterpret_cast<ModuleEntryFunc>(dlsym(handle_, kModuleEntryName));
        return entry != nullptr && entry(handle_) && exit_();
    }
    const CqpHostCalls* windows = nullptr;
    IPluginFactory* factory = nullptr;
    IPluginFactory2* factory2 = nullptr;
    TUID classId = {};

  private:
    void* handle_ = nullptr;
    ModuleExitFunc exit_ = nullptr;
    bool entered_ = false;
};

template <class T>
T* queried(FUnknown* object) {
    void* obj = nullptr;
    return object->queryInterface(T::iid.bytes, &obj) == kResultOk ? static_cast<T*>(obj) : nullptr;
}

// One instance as a host drives it: initialized, set up at `rate`, active and processing, and
// (with `withView`) its editor attached to a parent window with the frame's run loop.
enum class Activation {
    waitForKernels,   // switched on, the kernels built before the first block
    whileBuilding,    // switched on, going on (and maybe released) while they are being built
    neverSwitchedOn,  // set up but never switched on, as a host's scan leaves it: no kernels
};
class Vst3Side {
  public:
    Vst3Side(Vst3Module& module, double rate, bool withView = true,
             Activation activation = Activation::waitForKernels)
        : windows_(module.windows) {
        if (windows_ == nullptr || module.factory == nullptr) return;
        windows_->setManualClock(TRUE, 1000);
        void* obj = nullptr;
        if (module.factory->createInstance(module.classId, IComponent::iid.bytes, &obj) !=
            kResultOk)
            return;
        component = static_cast<IComponent*>(obj);
        if (component->initialize(nullptr) != kResultOk) return;
        processor = queried<IAudioProcessor>(component);
        controller = queried<IEditController>(component);
        if (processor == nullptr || controller == nullptr) return;
        EXPECT_EQ(controller->setComponentHandler(nullptr), kResultOk);
        SpeakerArrangement stereo = kStereo;
        EXPECT_EQ(processor->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
        ProcessSetup setup{kRealtime, kSample32, static_cast<int32>(kBlock), rate};
        EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
        if (activation != Activation::neverSwitchedOn) {
            EXPECT_EQ(component->setActive(1), kResultOk);
        }
        // Kernels are built beside; a host of ours waits for them through the component's own
        // wait interface before the first block (the pictures compared below need them), on
        // every system alike.
        if (activation == Activation::waitForKernels) {
            auto* wait = queried<cqscope::vst3plugin::IAnalysisWait>(component);
            EXPECT_NE(wait, nullptr);
            if (wait != nullptr) {
                EXPECT_EQ(wait->waitForAnalysis(60000), kResultTrue);
                wait->release();
            }
        }
        processing_ = processor->setProcessing(1) == kResultOk;
        if (!withView) return;
        view = controller->createView(kEditor);
        if (view == nullptr) return;
        EXPECT_EQ(view->setFrame(&frame_), kResultOk);
        parent_ = windows_->createHostWindow(kWidth, kHeight);
        attached_ = parent_ != nullptr &&
                    view->attached(parent_, kPlatformTypeX11EmbedWindowID) == kResultOk;
    }
    ~Vst3Side() {
        if (view != nullptr) {
            if (attached_) {
                EXPECT_EQ(view->removed(), kResultOk);
            }
            EXPECT_EQ(frame_.loop.timer, nullptr);
            EXPECT_EQ(frame_.loop.events, nullptr);
            view->setFrame(nullptr);
            EXPECT_EQ(view->release(), 0u);
        }
        if (component != nullptr) {
            if (processing_) processor->setProcessing(0);
            // Also for an instance never switched on, as Ardour's scanner does.
            EXPECT_EQ(component->setActive(0), kResultOk);
            if (controller != nullptr) controller->release();
            if (processor != nullptr) processor->release();
            component->terminate();
            EXPECT_EQ(component->release(), 0u);
        }
        if (parent_ != nullptr) windows_->destroyWindow(parent_);
        EXPECT_EQ(frame_.references, 0);
        EXPECT_EQ(frame_.loop.references, 0);
    }
    bool open() const { return attached_ && processing_; }
    const TestRunLoop& loop() const { return frame_.loop; }

    // One block as a host hands it over (a flush call for 0 frames: no buses, null buffers),
    // through separate outputs or in place; the outputs are kept, with guard samples after
    // the block that must stay untouched.
    tresult play(float** channels, std::uint32_t frames, const std::vector<Event>& notes = {},
                 bool inPlace = false) {
        EventList events;
        events.events = notes;
        left_.assign(frames + kGuard, kGuardValue);
        right_.assign(frames + kGuard, kGuardValue);
        float* outputs[] = {left_.data(), right_.data()};
        AudioBusBuffers in{2, 0, {channels}};
        AudioBusBuffers out{2, 0, {inPlace ? channels : outputs}};
        ProcessData data{};
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = static_cast<int32>(frames);
        if (frames != 0) {
            data.numInputs = 1;
            data.numOutputs = 1;
            data.inputs = &in;
            data.outputs = &out;
        }
        data.inputEvents = &events;
        return processor->process(data);
    }
    std::vector<float> left() const { return {left_.begin(), left_.end() - kGuard}; }
    std::vector<float> right() const { return {right_.begin(), right_.end() - kGuard}; }
    bool guardsKept() const {
        for (std::size_t k = left_.size() - kGuard; k < left_.size(); ++k)
            if (left_[k] != kGuardValue || right_[k] != kGuardValue) return false;
        return true;
    }

    // What the host's run loop does each 100 ms: its timer, nothing else (no message pump).
    void tick() {
        windows_->advanceClock(100);
        for (int i = 0; i < 3; ++i)
            if (frame_.loop.timer != nullptr) frame_.loop.timer->onTimer();
    }
    std::vector<DWORD> pixels() const { return VstEditorSide::readPixels(*windows_, parent_); }

    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    IPlugView* view = nullptr;

  private:
    static constexpr std::size_t kGuard = 4;
    static constexpr float kGuardValue = 1234.5f;
    const CqpHostCalls* windows_;
    TestFrame frame_;
    HWND parent_ = nullptr;
    bool processing_ = false, attached_ = false;
    std::vector<float> left_, right_;
};

std::string utf16ToAscii(const char16* text) {
    std::string out;
    for (; *text != 0; ++text) out += static_cast<char>(*text);
    return out;
}

TEST(Vst3Factory, ListsOneAnalyserEffectClassAndMakesOnlyIt) {
    Vst3Module module;
    ASSERT_NE(module.factory2, nullptr);
    EXPECT_EQ(module.factory->countClasses(), 1);
    PFactoryInfo factoryInfo{};
    ASSERT_EQ(module.factory->getFactoryInfo(&factoryInfo), kResultOk);
    EXPECT_EQ(factoryInfo.flags & PFactoryInfo::kUnicode, PFactoryInfo::kUnicode);
    PClassInfo2 info{};
    ASSERT_EQ(module.factory2->getClassInfo2(0, &info), kResultOk);
    EXPECT_STREQ(info.category, "Audio Module Class");
    EXPECT_STREQ(info.subCategories, "Fx|Analyzer");
    EXPECT_STREQ(info.name, "cqscope");
    EXPECT_EQ(info.cardinality, PClassInfo::kManyInstances);
    EXPECT_EQ(info.classFlags, 0u);
    EXPECT_EQ(std::memcmp(info.cid, module.classId, 16), 0);
    EXPECT_EQ(module.factory2->getClassInfo2(1, &info), kInvalidArgument);
    void* f3 = nullptr;
    ASSERT_EQ(module.factory->queryInterface(IPluginFactory3::iid.bytes, &f3), kResultOk);
    auto* factory3 = static_cast<IPluginFactory3*>(f3);
    PClassInfoW wide{};
    ASSERT_EQ(factory3->getClassInfoUnicode(0, &wide), kResultOk);
    EXPECT_EQ(utf16ToAscii(wide.name), "cqscope");
    factory3->release();

    // An unknown class gives nothing; an interface the object lacks gives nothing and leaks
    // nothing (the release below would fail the count check of a later test otherwise).
    TUID other = {};
    void* obj = &other;
    EXPECT_EQ(module.factory->createInstance(other, IComponent::iid.bytes, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(module.factory->createInstance(module.classId, IPlugView::iid.bytes, &obj),
              kNoInterface);
    EXPECT_EQ(obj, nullptr);
}

// Buses, arrangements, latency, parameters, the controller on the same object, and the state:
// a versioned record that comes back whole, while garbage is refused.
TEST(Vst3Plugin, IsAStereoEffectWithNoteInputNoParametersAndAVersionedState) {
    Vst3Module module;
    Vst3Side side(module, 48000, false);
    ASSERT_NE(side.controller, nullptr);
    IComponent& c = *side.component;
    TUID controllerId = {};
    EXPECT_NE(c.getControllerClassId(controllerId), kResultOk);
    EXPECT_EQ(c.getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(c.getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(c.getBusCount(kEvent, kInput), 1);
    EXPECT_EQ(c.getBusCount(kEvent, kOutput), 0);
    BusInfo bus{};
    ASSERT_EQ(c.getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
    EXPECT_EQ(bus.channelCount, 2);
    EXPECT_EQ(bus.busType, kMain);
    ASSERT_EQ(c.getBusInfo(kEvent, kInput, 0, bus), kResultOk);
    EXPECT_EQ(bus.channelCount, 16);
    EXPECT_EQ(c.getBusInfo(kAudio, kInput, 1, bus), kInvalidArgument);
    EXPECT_EQ(c.getBusInfo(kEvent, kOutput, 0, bus), kInvalidArgument);
    SpeakerArrangement mono = kMono, stereo = kStereo;
    EXPECT_EQ(side.processor->setBusArrangements(&mono, 1, &stereo, 1), kResultFalse);
    EXPECT_EQ(side.processor->canProcessSampleSize(kSample64), kResultFalse);
    EXPECT_EQ(side.processor->getLatencySamples(), 0u);
    EXPECT_EQ(side.controller->getParameterCount(), 0);

    MemoryStream saved;
    ASSERT_EQ(c.getState(&saved), kResultOk);
    EXPECT_FALSE(saved.bytes.empty());
    EXPECT_EQ(c.setState(&saved), kResultOk);
    saved.at = 0;
    EXPECT_EQ(side.controller->setComponentState(&saved), kResultOk);
    MemoryStream empty;
    EXPECT_EQ(c.setState(&empty), kResultOk);
    MemoryStream garbage;
    garbage.bytes = {'R', 'I', 'F', 'F', 0, 1, 0, 0, 'W'};
    EXPECT_EQ(c.setState(&garbage), kResultFalse);
    MemoryStream cut;
    cut.bytes.assign(saved.bytes.begin(), saved.bytes.end() - 1);
    EXPECT_EQ(c.setState(&cut), kResultFalse);

    // The view: created only as the editor, fixed at the display's size, X11 only.
    EXPECT_EQ(side.controller->createView("other"), nullptr);
    IPlugView* view = side.controller->createView(kEditor);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
    ViewRect size{};
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right - size.left, kWidth);
    EXPECT_EQ(size.bottom - size.top, kHeight);
    EXPECT_EQ(view->canResize(), kResultFalse);
    ViewRect asked{0, 0, 100, 100};
    EXPECT_EQ(view->checkSizeConstraint(&asked), kResultTrue);
    EXPECT_EQ(asked.right, kWidth);
    EXPECT_EQ(view->release(), 0u);
}

TEST(Vst3Plugin, PassesAudioBitForBitAtEveryRateInPlaceOrNot) {
    Vst3Module module;
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        Vst3Side side(module, rate, false);
        ASSERT_NE(side.processor, nullptr);
        std::vector<float> left(kBlock), right(kBlock);
        for (std::uint32_t k = 0; k < kBlock; ++k) {
            left[k] = static_cast<float>(k) * 1e-3f - 0.25f;
            right[k] = -left[k] * 1.5f + 1e-38f;
        }
        const std::vector<float> leftBefore = left, rightBefore = right;
        float* channels[] = {left.data(), right.data()};
        for (std::uint32_t frames : {kBlock, 1u, 300u}) {
            ASSERT_EQ(side.play(channels, frames, {noteEvent(true, 60, 0.5f)}), kResultOk);
            EXPECT_EQ(side.left(), std::vector<float>(left.begin(), left.begin() + frames)) << rate;
            EXPECT_EQ(side.right(), std::vector<float>(right.begin(), right.begin() + frames));
            EXPECT_TRUE(side.guardsKept()) << rate << " Hz, " << frames << " frames";
        }
        EXPECT_EQ(side.play(channels, 0), kResultOk);  // a flush call
        ASSERT_EQ(side.play(channels, kBlock, {}, true), kResultOk);
        EXPECT_EQ(left, leftBefore);
        EXPECT_EQ(right, rightBefore);
    }
}

// The comparison of the CLAP test: a chord with three held notes, silence, one note released by
// a note-on of velocity 0, then the others by note-offs.
TEST(Vst3Display, RunByTheHostsRunLoopShowsTheVstPicturePixelForPixel) {
    VstEditorSide vst;
    Vst3Module module;
    Vst3Side side(module, VstEditorSide::kRate);
    ASSERT_TRUE(vst.open());
    ASSERT_TRUE(side.open());
    EXPECT_NE(side.loop().timer, nullptr);
    EXPECT_LE(side.loop().period, 100u);

    std::vector<float> left(kBlock), right(kBlock);
    float* channels[] = {left.data(), right.data()};
    long frame = 0;
    const auto playSeconds = [&](double seconds, bool loud,
                                 std::vector<std::vector<std::uint8_t>> vstNotes,
                                 std::vector<Event> notes) {
        const int blocks = static_cast<int>(seconds * VstEditorSide::kRate / kBlock);
        for (int b = 0; b < blocks; ++b) {
            toneBlock(channels, frame, loud);
            vst.play(channels, kBlock, vstNotes);
            side.play(channels, kBlock, notes);
            vstNotes.clear();
            notes.clear();
            if ((b + 1) % 9 == 0) {
                vst.tick();
                side.tick();
            }
        }
    };

    playSeconds(
        1.0, true, {{0x90, 69, 100}, {0x90, 76, 90}, {0x91, 73, 80}},
        {noteEvent(true, 69, 0.8f), noteEvent(true, 76, 0.7f), noteEvent(true, 73, 0.6f, 1)});
    const auto shown = side.pixels();
    EXPECT_EQ(differingPixels(shown, vst.pixels()), 0) << "the tone with three held notes";
    EXPECT_EQ(
        (shown[static_cast<std::size_t>(display::kBarBaseRow - 5) * kWidth + 449] >> 8) & 0xFF,
        0xFFu);

    playSeconds(0.5, false, {}, {});
    EXPECT_EQ(differingPixels(side.pixels(), vst.pixels()), 0) << "silence";

    playSeconds(0.5, true, {{0x80, 76, 0}}, {noteEvent(true, 76, 0.0f)});
    EXPECT_EQ(differingPixels(side.pixels(), vst.pixels()), 0) << "a note-on of velocity 0";
    EXPECT_NE(differingPixels(side.pixels(), shown), 0) << "the picture moved on";

    playSeconds(0.5, true, {{0x80, 69, 0}, {0x81, 73, 0}},
                {noteEvent(false, 69, 0), noteEvent(false, 73, 0, 1)});
    EXPECT_EQ(differingPixels(side.pixels(), vst.pixels()), 0) << "every note released";
}

// A steady tone cut into short blocks, with a flush call (no buses, null buffers) just before
// each refresh: the VST 2 editor's picture at every refresh.
TEST(Vst3Display, HowAHostCutsItsBlocksNeverDecidesSilence) {
    Vst3Module module;
    Vst3Side side(module, VstEditorSide::kRate);
    ASSERT_TRUE(side.open());
    expectCutBlocksShownAsTheVstEditorShowsThem(side);
}

// 100 instances made, run and released, each making a view only to ask it its platform (as
// hosts do), a few switched on and released while their kernels are still being built, every
// fifth with its editor attached and removed; and a repeated module entry: no window, drawing
// object, run-loop registration or host reference stays behind.
TEST(Vst3Plugin, ManyLifeCyclesAndRepeatedEntriesLeaveNothingBehind) {
    Vst3Module module;
    ASSERT_NE(module.windows, nullptr);
    EXPECT_TRUE(module.enterAndExitAgain());
    const int before = module.windows->liveObjectCount();
    std::vector<float> left(kBlock, 0.25f), right(kBlock, -0.25f);
    float* channels[] = {left.data(), right.data()};
    for (int cycle = 0; cycle < 100; ++cycle) {
        // Building kernels and opening a display take a while: a few instances are switched
        // on, and every fifth opens its editor.
        const bool withView = cycle % 5 == 0;
        Vst3Side side(module, cycle % 2 == 0 ? 48000 : 44100, withView,
                      cycle % 25 == 0 ? Activation::whileBuilding : Activation::neverSwitchedOn);
        ASSERT_NE(side.controller, nullptr) << cycle;
        EXPECT_EQ(side.open(), withView) << cycle;
        IPlugView* probe = side.controller->createView(kEditor);
        ASSERT_NE(probe, nullptr);
        EXPECT_EQ(probe->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
        EXPECT_EQ(probe->release(), 0u);
        side.play(channels, kBlock, {noteEvent(true, 60, 1.0f)});
        side.tick();
    }
    EXPECT_EQ(module.windows->liveObjectCount(), before);
}

}  // namespace
