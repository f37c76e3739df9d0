// cqscope.clap loaded through clap_entry as a host loads it: the display embedded in a parent
// window of the module's own window system (given through the GUI's set_parent as an X11
// window id, as hosts pass theirs), refreshed by the host's timer or, for a host without timer
// support, by on_main_thread calls it asked for. For the same audio and notes (CLAP note events
// and MIDI note messages alike) it shows the VST 2 editor's picture pixel for pixel; many life
// cycles leave no window, drawing object or init count behind.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "clap/analysis_wait.h"
#include "clap/clap_interface.h"
#include "display/display_geometry.h"
#include "loaded_module.h"
#include "vst_editor_side.h"

namespace {

constexpr std::uint32_t kBlock = VstEditorSide::kBlock;
constexpr double kRate = VstEditorSide::kRate;
constexpr int kWidth = display::kWidth;
constexpr int kHeight = display::kHeight;
constexpr const char* kId = "org.example.cqscope";

// The library, loaded and initialised through its entry, and its window system.
class ClapModule {
  public:
    ClapModule() {
        handle_ = dlopen(CQSCOPE_CLAP_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            ADD_FAILURE() << dlerror();
            return;
        }
        entry_ = static_cast<const clap_plugin_entry*>(dlsym(handle_, "clap_entry"));
        windows = hostCallsOf(handle_);
        if (entry_ == nullptr || !entry_->init(CQSCOPE_CLAP_PATH)) return;
        factory =
            static_cast<const clap_plugin_factory*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
    }
    ~ClapModule() {
        if (entry_ != nullptr) entry_->deinit();
        if (handle_ != nullptr) dlclose(handle_);
    }
    ClapModule(const ClapModule&) = delete;
    ClapModule& operator=(const ClapModule&) = delete;

    const clap_plugin_entry* entry() const { return entry_; }
    const CqpHostCalls* windows = nullptr;
    const clap_plugin_factory* factory = nullptr;

  private:
    void* handle_ = nullptr;
    const clap_plugin_entry* entry_ = nullptr;
};

// A host record that offers timer support or not, and counts what the plug-in asks of it.
struct TestHost {
    explicit TestHost(bool offerTimers) : offerTimers(offerTimers) {
        record.clap_version = CLAP_VERSION;
        record.host_data = this;
        record.name = "cqscope tests";
        record.vendor = "";
        record.url = "";
        record.version = "1";
        record.get_extension = getExtension;
        record.request_restart = [](const clap_host*) {};
        record.request_process = [](const clap_host*) {};
        record.request_callback = [](const clap_host* host) { of(host).callbacks++; };
        timers.register_timer = [](const clap_host* host, std::uint32_t period, clap_id* id) {
            TestHost& self = of(host);
            self.period = period;
            *id = ++self.lastTimer;
            self.liveTimers++;
            return true;
        };
        timers.unregister_timer = [](const clap_host* host, clap_id) {
            of(host).liveTimers--;
            return true;
        };
    }
    static TestHost& of(const clap_host* host) { return *static_cast<TestHost*>(host->host_data); }
    static const void* getExtension(const clap_host* host, const char* id) {
        const TestHost& self = of(host);
        return self.offerTimers && std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0 ? &self.timers
                                                                                : nullptr;
    }

    bool offerTimers;
    clap_host record{};
    clap_host_timer_support timers{};
    std::uint32_t period = 0;
    clap_id lastTimer = 0;
    int liveTimers = 0;
    int callbacks = 0;
};

// A note event or a MIDI message, as a host's input list holds them.
struct Event {
    clap_event_note note{};
    clap_event_midi midi{};
    bool isMidi = false;
    const clap_event_header* header() const { return isMidi ? &midi.header : &note.header; }
};

Event clapNote(std::uint16_t type, std::int16_t key, double velocity) {
    Event e;
    e.note.header = {sizeof(clap_event_note), 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
    e.note.note_id = -1;
    e.note.port_index = 0;
    e.note.channel = 0;
    e.note.key = key;
    e.note.velocity = velocity;
    return e;
}

Event midiMessage(std::uint8_t status, std::uint8_t key, std::uint8_t velocity) {
    Event e;
    e.isMidi = true;
    e.midi.header = {sizeof(clap_event_midi), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
    e.midi.data[0] = status;
    e.midi.data[1] = key;
    e.midi.data[2] = velocity;
    return e;
}

// One instance of the plug-in, active at kRate, processing, its display open in a parent window.
class ClapSide {
  public:
    ClapSide(ClapModule& module, bool offerTimers) : host_(offerTimers) {
        windows_ = module.windows;
        if (windows_ == nullptr || module.factory == nullptr) return;
        windows_->setManualClock(TRUE, 1000);
        plugin_ = module.factory->create_plugin(module.factory, &host_.record, kId);
        if (plugin_ == nullptr || !plugin_->init(plugin_)) return;
        gui_ = static_cast<const clap_plugin_gui*>(plugin_->get_extension(plugin_, CLAP_EXT_GUI));
        timer_ = static_cast<const clap_plugin_timer_support*>(
            plugin_->get_extension(plugin_, CLAP_EXT_TIMER_SUPPORT));
        active_ = plugin_->activate(plugin_, kRate, 1, kBlock);
        // Kernels are built beside; a host of ours waits for them before the first block,
        // through the plug-in's own extension (the pictures compared below need them).
        const auto* wait = static_cast<const cqscope::clap::AnalysisWait*>(
            plugin_->get_extension(plugin_, cqscope::clap::kAnalysisWaitExtension));
        EXPECT_TRUE(wait != nullptr && wait->wait != nullptr && wait->wait(plugin_, 60000));
        processing_ = active_ && plugin_->start_processing(plugin_);
        if (gui_ == nullptr || !gui_->create(plugin_, CLAP_WINDOW_API_X11, false)) return;
        guiCreated_ = true;
        parent_ = windows_->createHostWindow(kWidth, kHeight);
        clap_window window{};
        window.api = CLAP_WINDOW_API_X11;
        window.x11 = static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(parent_));
        opened_ = parent_ != nullptr && gui_->set_parent(plugin_, &window) && gui_->show(plugin_);
    }
    ~ClapSide() {
        if (plugin_ == nullptr) return;
        if (guiCreated_) gui_->destroy(plugin_);
        if (processing_) plugin_->stop_processing(plugin_);
        if (active_) plugin_->deactivate(plugin_);
        plugin_->destroy(plugin_);
        if (parent_ != nullptr) windows_->destroyWindow(parent_);
    }
    bool open() const { return opened_ && processing_; }
    const TestHost& host() const { return host_; }
    const clap_plugin* plugin() const { return plugin_; }

    // One block through separate output buffers (or in place); the outputs are kept.
    void play(float** channels, std::uint32_t frames, const std::vector<Event>& events,
              bool inPlace = false) {
        struct List {
            clap_input_events record;
            const std::vector<Event>* events;
        } list{{nullptr, nullptr, nullptr}, &events};
        list.record.ctx = &list;
        list.record.size = [](const clap_input_events* l) {
            return static_cast<std::uint32_t>(static_cast<const List*>(l->ctx)->events->size());
        };
        list.record.get = [](const clap_input_events* l, std::uint32_t i) {
            return (*static_cast<const List*>(l->ctx)->events)[i].header();
        };
        left_.assign(frames, 0.0f);
        right_.assign(frames, 0.0f);
        float* outputs[] = {left_.data(), right_.data()};
        clap_audio_buffer in{channels, nullptr, 2, 0, 0};
        clap_audio_buffer out{inPlace ? channels : outputs, nullptr, 2, 0, 0};
        clap_process process{};
        process.steady_time = -1;
        process.frames_count = frames;
        process.audio_inputs = &in;
        process.audio_outputs = &out;
        process.audio_inputs_count = 1;
        process.audio_outputs_count = 1;
        process.in_events = &list.record;
        EXPECT_EQ(plugin_->process(plugin_, &process), CLAP_PROCESS_CONTINUE);
    }
    const std::vector<float>& left() const { return left_; }
    const std::vector<float>& right() const { return right_; }

    // What a host's loop does each 100 ms: its timers, or the main-thread callbacks asked for.
    // Nothing else runs the display's windows (no message pump), as in a real host.
    void tick() {
        windows_->advanceClock(100);
        for (int i = 0; i < 3; ++i) {
            if (host_.offerTimers) {
                timer_->on_timer(plugin_, host_.lastTimer);
            } else if (host_.callbacks > answered_) {
                answered_ = host_.callbacks;
                plugin_->on_main_thread(plugin_);
            }
        }
    }
    std::vector<DWORD> pixels() const { return VstEditorSide::readPixels(*windows_, parent_); }

  private:
    TestHost host_;
    const CqpHostCalls* windows_ = nullptr;
    const clap_plugin* plugin_ = nullptr;
    const clap_plugin_gui* gui_ = nullptr;
    const clap_plugin_timer_support* timer_ = nullptr;
    HWND parent_ = nullptr;
    bool active_ = false, processing_ = false, guiCreated_ = false, opened_ = false;
    int answered_ = 0;
    std::vector<float> left_, right_;
};

// The comparison of the LV2 UI's test: a chord with three held notes, silence, one note
// released, then the others by a note-off for any key; the CLAP side gets its notes partly as note
// events, partly as MIDI messages.
void expectTheVstPicture(bool offerTimers) {
    VstEditorSide vst;
    ClapModule module;
    ClapSide clap(module, offerTimers);
    ASSERT_TRUE(vst.open());
    ASSERT_TRUE(clap.open());
    if (offerTimers) {
        EXPECT_EQ(clap.host().liveTimers, 1);
        EXPECT_LE(clap.host().period, 100u);
    }

    std::vector<float> left(kBlock), right(kBlock);
    float* channels[] = {left.data(), right.data()};
    long frame = 0;
    const auto playSeconds = [&](double seconds, bool loud,
                                 std::vector<std::vector<std::uint8_t>> vstNotes,
                                 std::vector<Event> clapEvents) {
        const int blocks = static_cast<int>(seconds * kRate / kBlock);
        for (int b = 0; b < blocks; ++b) {
            toneBlock(channels, frame, loud);
            vst.play(channels, kBlock, vstNotes);
            clap.play(channels, kBlock, clapEvents);
            EXPECT_EQ(clap.left(), left);
            EXPECT_EQ(clap.right(), right);
            vstNotes.clear();
            clapEvents.clear();
            if ((b + 1) % 9 == 0) {
                vst.tick();
                clap.tick();
            }
        }
    };

    // A4 and E5 as note events (E5's velocity rounds to 0 in MIDI terms: still held), C#5 as
    // a MIDI note-on on channel 2.
    playSeconds(1.0, true, {{0x90, 69, 100}, {0x90, 76, 90}, {0x91, 73, 80}},
                {clapNote(CLAP_EVENT_NOTE_ON, 69, 0.8), clapNote(CLAP_EVENT_NOTE_ON, 76, 0.001),
                 midiMessage(0x91, 73, 80)});
    auto shown = clap.pixels();
    EXPECT_EQ(differingPixels(shown, vst.pixels()), 0) << "the tone with three held notes";
    EXPECT_EQ(
        (shown[static_cast<std::size_t>(display::kBarBaseRow - 5) * kWidth + 449] >> 8) & 0xFF,
        0xFFu);

    playSeconds(0.5, false, {}, {});
    EXPECT_EQ(differingPixels(clap.pixels(), vst.pixels()), 0) << "silence";

    playSeconds(0.5, true, {{0x80, 76, 0}}, {clapNote(CLAP_EVENT_NOTE_OFF, 76, 0)});
    EXPECT_EQ(differingPixels(clap.pixels(), vst.pixels()), 0) << "a note released";
    EXPECT_NE(differingPixels(clap.pixels(), shown), 0) << "the picture moved on";

    // A note-off for any key (key -1) releases every note, the MIDI one too.
    playSeconds(0.5, true, {{0x80, 69, 0}, {0x81, 73, 0}}, {clapNote(CLAP_EVENT_NOTE_OFF, -1, 0)});
    EXPECT_EQ(differingPixels(clap.pixels(), vst.pixels()), 0) << "every note released";
    if (!offerTimers) {
        EXPECT_GT(clap.host().callbacks, 0);
    }
}

TEST(ClapDisplay, RefreshedByTheHostsTimerShowsTheVstPicturePixelForPixel) {
    expectTheVstPicture(true);
}

TEST(ClapDisplay, WithoutTimerSupportRefreshedFromCallbacksShowsTheSamePicture) {
    expectTheVstPicture(false);
}

// A steady tone at -20 dBFS cut into short blocks, with a call of no frames (a parameter
// flush, its buffers empty) just before each refresh: bars at A4 at every refresh, and no bar
// in silence, as the VST 2 editor shows them for the same blocks.
TEST(ClapDisplay, HowAHostCutsItsBlocksNeverDecidesSilence) {
    ClapModule module;
    ClapSide clap(module, true);
    ASSERT_TRUE(clap.open());
    expectCutBlocksShownAsTheVstEditorShowsThem(clap);
}

TEST(ClapPlugin, InPlaceBlocksPassBitForBitAndTheGuiIsFixedSizeX11Only) {
    ClapModule module;
    ASSERT_NE(module.factory, nullptr);
    EXPECT_EQ(module.factory->create_plugin(module.factory, nullptr, kId), nullptr);
    TestHost host(true);
    EXPECT_EQ(module.factory->create_plugin(module.factory, &host.record, "org.example.other"),
              nullptr);
    ClapSide side(module, true);
    ASSERT_TRUE(side.open());
    std::vector<float> left(kBlock), right(kBlock);
    for (std::uint32_t k = 0; k < kBlock; ++k) {
        left[k] = static_cast<float>(k) * 1e-3f - 0.25f;
        right[k] = -left[k] * 1.5f;
    }
    const std::vector<float> leftBefore = left, rightBefore = right;
    float* channels[] = {left.data(), right.data()};
    side.play(channels, kBlock, {}, true);
    EXPECT_EQ(left, leftBefore);
    EXPECT_EQ(right, rightBefore);

    const auto* gui = static_cast<const clap_plugin_gui*>(
        side.plugin()->get_extension(side.plugin(), CLAP_EXT_GUI));
    const clap_plugin* p = side.plugin();
    EXPECT_TRUE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_WAYLAND, false));
    EXPECT_FALSE(gui->can_resize(p));
    std::uint32_t w = 0, h = 0;
    EXPECT_TRUE(gui->get_size(p, &w, &h));
    EXPECT_EQ(w, static_cast<std::uint32_t>(kWidth));
    EXPECT_EQ(h, static_cast<std::uint32_t>(kHeight));
    EXPECT_TRUE(gui->set_size(p, w, h));
    EXPECT_FALSE(gui->set_size(p, w + 1, h));
    // The host's scale, as the nearest whole factor within 1 to 3, sets the size.
    for (const auto& [scale, factor] :
         {std::pair{2.4, 2}, std::pair{2.5, 3}, std::pair{9.0, 3}, std::pair{0.5, 1}}) {
        EXPECT_TRUE(gui->set_scale(p, scale));
        EXPECT_TRUE(gui->get_size(p, &w, &h));
        EXPECT_EQ(w, static_cast<std::uint32_t>(kWidth * factor)) << scale;
        EXPECT_EQ(h, static_cast<std::uint32_t>(kHeight * factor)) << scale;
        EXPECT_TRUE(gui->set_size(p, w, h)) << scale;
    }
    const auto* latency = static_cast<const clap_plugin_latency*>(
        side.plugin()->get_extension(side.plugin(), CLAP_EXT_LATENCY));
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->get(p), 0u);
    EXPECT_EQ(side.plugin()->get_extension(side.plugin(), CLAP_EXT_PARAMS), nullptr);
    EXPECT_EQ(side.plugin()->get_extension(side.plugin(), CLAP_EXT_STATE), nullptr);
}

TEST(ClapPlugin, ManyLifeCyclesAndRepeatedInitsLeaveNothingBehind) {
    ClapModule module;
    ASSERT_NE(module.windows, nullptr);
    // Repeated init/deinit pairs, as a wrapping host may make them.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(module.entry()->init(CQSCOPE_CLAP_PATH));
    for (int i = 0; i < 3; ++i) module.entry()->deinit();
    const int before = module.windows->liveObjectCount();
    std::vector<float> left(kBlock, 0.25f), right(kBlock, -0.25f);
    float* channels[] = {left.data(), right.data()};
    for (int cycle = 0; cycle < 20; ++cycle) {
        ClapSide side(module, cycle % 2 == 0);
        ASSERT_TRUE(side.open()) << cycle;
        side.play(channels, kBlock, {clapNote(CLAP_EVENT_NOTE_ON, 60, 1.0)});
        side.tick();
    }
    EXPECT_EQ(module.windows->liveObjectCount(), before);
}

}  // namespace
