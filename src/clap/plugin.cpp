#include "clap/plugin.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "clap/analysis_wait.h"
#include "clap/clap_host_loop.h"
#include "clap/gui_window.h"
#include "core/analyser_core.h"
#include "core/pass_through.h"
#include "display/display_geometry.h"
#include "display/spectrum_display.h"
#include "kit/own_module.h"
#include "platform/win32.h"

namespace cqscope::clap {

namespace {

constexpr const char* kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_ANALYZER,
                                     CLAP_PLUGIN_FEATURE_STEREO, nullptr};

}  // namespace

const clap_plugin_descriptor kDescriptor = {
    CLAP_VERSION,
    kPluginId,
    "cqscope",
    "cqscope",
    "",
    "",
    "",
    CQSCOPE_CLAP_VERSION,
    "Real-time constant-Q spectrum analyser with the held notes of its note input",
    kFeatures};

namespace {

constexpr std::uint32_t kPortId = 0;

class Plugin {
  public:
    explicit Plugin(const clap_host* host)
        : host_(host), loop_(host), record_{&kDescriptor,    this,           init,
                                            destroy,         activate,       deactivate,
                                            startProcessing, stopProcessing, reset,
                                            process,         getExtension,   onMainThread} {}

    const clap_plugin* record() const { return &record_; }

  private:
    static Plugin& of(const clap_plugin* plugin) {
        return *static_cast<Plugin*>(plugin->plugin_data);
    }

    // ---- Life cycle (main thread) ---------------------------------------------------------

    static bool CLAP_ABI init(const clap_plugin* plugin) {
        of(plugin).loop_.init();
        return true;
    }
    static void CLAP_ABI destroy(const clap_plugin* plugin) {
        Plugin* self = &of(plugin);
        guiDestroy(plugin);
        delete self;
    }
    // Kernels for the host's rate are asked for here and built beside, so that the host's main
    // thread does not wait for them (nor does its audio thread). A rate the analysis cannot
    // serve still activates: audio passes, the display shows no bars.
    static bool CLAP_ABI activate(const clap_plugin* plugin, double sampleRate, std::uint32_t,
                                  std::uint32_t) {
        Plugin& self = of(plugin);
        if (!(sampleRate > 0)) return false;
        self.core_.setSampleRate(sampleRate);
        try {
            (void)self.core_.start();
        } catch (...) {
            return false;
        }
        return true;
    }
    static void CLAP_ABI deactivate(const clap_plugin*) {}
    static void CLAP_ABI onMainThread(const clap_plugin* plugin) {
        Plugin& self = of(plugin);
        self.callbackPending_.store(false, std::memory_order_release);
        if (self.display_ != nullptr) self.display_->run();
    }

    // ---- Audio thread ---------------------------------------------------------------------

    static bool CLAP_ABI startProcessing(const clap_plugin*) { return true; }
    static void CLAP_ABI stopProcessing(const clap_plugin*) {}
    static void CLAP_ABI reset(const clap_plugin*) {}

    static std::int32_t CLAP_ABI process(const clap_plugin* plugin, const clap_process* data) {
        if (data == nullptr) return CLAP_PROCESS_ERROR;
        Plugin& self = of(plugin);
        // Most blocks carry no event: only the count is asked for then, and the reading (out
        // of line) stays out of this path.
        const clap_input_events* events = data->in_events;
        if (events != nullptr && events->size != nullptr && events->get != nullptr) {
            const std::uint32_t count = events->size(events);
            if (count != 0) self.readEvents(events, count);
        }
        // A call with no frames (a host flushing parameters) has no audio to pass or analyse,
        // whatever its buffers hold.
        if (data->frames_count != 0 && data->audio_inputs_count != 0 &&
            data->audio_outputs_count != 0 && data->audio_inputs != nullptr &&
            data->audio_outputs != nullptr) {
            const clap_audio_buffer& in = data->audio_inputs[0];
            const clap_audio_buffer& out = data->audio_outputs[0];
            if (in.channel_count < 2 || out.channel_count < 2 || in.data32 == nullptr ||
                out.data32 == nullptr || in.data32[0] == nullptr || in.data32[1] == nullptr ||
                out.data32[0] == nullptr || out.data32[1] == nullptr)
                return CLAP_PROCESS_ERROR;
            const auto frames = static_cast<std::int32_t>(
                data->frames_count > INT32_MAX ? INT32_MAX : data->frames_count);
            passThrough(in.data32, out.data32, frames);
            // Read from the outputs, which hold the inputs' samples now (in place or not).
            self.core_.audio(out.data32, frames);
        }
        self.askForRefresh();
        return CLAP_PROCESS_CONTINUE;
    }

    // The block's `count` note events and MIDI note messages, all before its audio (as the
    // VST 2 effect takes its events): the held notes only reach the display, which draws
    // after the block, so where in the block a note starts changes nothing it shows. A CLAP
    // note-on of velocity 0 is a real note-on, so it holds the note; a note-off with the
    // wildcard key releases every note.
    [[gnu::noinline]] void readEvents(const clap_input_events* events,
                                      std::uint32_t count) noexcept {
        for (std::uint32_t i = 0; i < count; ++i) {
            const clap_event_header* header = events->get(events, i);
            if (header == nullptr || header->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
            switch (header->type) {
                case CLAP_EVENT_NOTE_ON:
                case CLAP_EVENT_NOTE_OFF:
                case CLAP_EVENT_NOTE_CHOKE: {
                    if (header->size < sizeof(clap_event_note)) break;
                    clap_event_note note;  // copied: the list promises no alignment
                    std::memcpy(&note, header, sizeof note);
                    applyNote(note, header->type == CLAP_EVENT_NOTE_ON);
                    break;
                }
                case CLAP_EVENT_MIDI: {
                    if (header->size < sizeof(clap_event_midi)) break;
                    clap_event_midi midi;
                    std::memcpy(&midi, header, sizeof midi);
                    core_.midiMessage(midi.data, sizeof midi.data);
                    break;
                }
                default:
                    break;
            }
        }
    }
    void applyNote(const clap_event_note& note, bool on) noexcept {
        if (on) {
            if (note.key < 0 || note.key > 127) return;
            const double scaled = note.velocity * 127.0 + 0.5;
            const auto velocity = static_cast<std::uint8_t>(scaled < 1     ? 1
                                                            : scaled > 127 ? 127
                                                                           : scaled);
            core_.midi(0x90, static_cast<std::uint8_t>(note.key), velocity);
        } else if (note.key == -1) {
            core_.releaseAllNotes();
        } else if (note.key >= 0 && note.key <= 127) {
            core_.midi(0x80, static_cast<std::uint8_t>(note.key), 0);
        }
    }
    // Without the host's timers, one on_main_thread call per processed block at most runs the
    // display (request_callback is thread-safe; only the first request of a run is sent).
    void askForRefresh() noexcept {
        if (!refreshByCallback_.load(std::memory_order_relaxed)) return;
        if (callbackPending_.exchange(true, std::memory_order_acq_rel)) return;
        host_->request_callback(host_);
    }

    // ---- Extensions (any thread) ----------------------------------------------------------

    static const void* CLAP_ABI getExtension(const clap_plugin*, const char* id) {
        if (id == nullptr) return nullptr;
        if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &audioPorts;
        if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &notePorts;
        if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &latency;
        if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &gui;
        if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &timerSupport;
        if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &posixFdSupport;
        if (std::strcmp(id, kAnalysisWaitExtension) == 0) return &analysisWait;
        return nullptr;
    }

    // One stereo input and one stereo output, a main in-place pair with the same ID.
    static std::uint32_t CLAP_ABI audioPortCount(const clap_plugin*, bool) { return 1; }
    static bool CLAP_ABI audioPortGet(const clap_plugin*, std::uint32_t index, bool isInput,
                                      clap_audio_port_info* info) {
        if (index != 0 || info == nullptr) return false;
        *info = {};
        info->id = kPortId;
        std::strcpy(info->name, isInput ? "Input" : "Output");
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = 2;
        info->port_type = CLAP_PORT_STEREO;
        info->in_place_pair = kPortId;
        return true;
    }
    // One note input taking CLAP notes and MIDI.
    static std::uint32_t CLAP_ABI notePortCount(const clap_plugin*, bool isInput) {
        return isInput ? 1 : 0;
    }
    static bool CLAP_ABI notePortGet(const clap_plugin*, std::uint32_t index, bool isInput,
                                     clap_note_port_info* info) {
        if (index != 0 || !isInput || info == nullptr) return false;
        *info = {};
        info->id = kPortId;
        info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
        info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
        std::strcpy(info->name, "Notes");
        return true;
    }
    static std::uint32_t CLAP_ABI latencyGet(const clap_plugin*) { return 0; }

    // ---- GUI (main thread): the system's window API, embedded only, fixed size -------------

    static bool CLAP_ABI guiIsApiSupported(const clap_plugin*, const char* api, bool floating) {
        return !floating && api != nullptr && std::strcmp(api, gui_window::kApi) == 0;
    }
    static bool CLAP_ABI guiPreferredApi(const clap_plugin*, const char** api, bool* floating) {
        if (api == nullptr || floating == nullptr) return false;
        *api = gui_window::kApi;
        *floating = false;
        return true;
    }
    static bool CLAP_ABI guiCreate(const clap_plugin* plugin, const char* api, bool floating) {
        Plugin& self = of(plugin);
        if (!guiIsApiSupported(plugin, api, floating)) return false;
        if (self.display_ != nullptr) return true;
        const HINSTANCE module = ownModule();
        if (module == nullptr) return false;
        try {
            // The display takes the host's timer, where it offers one.
            self.display_ = std::make_unique<SpectrumDisplay>(module, self.core_, &self.loop_);
        } catch (...) {
            return false;
        }
        // Refreshed neither by the host's timer nor by the host's message loop: processed
        // blocks ask for on_main_thread calls.
        self.refreshByCallback_.store(self.display_->needsRunCalls(), std::memory_order_relaxed);
        return true;
    }
    static void CLAP_ABI guiDestroy(const clap_plugin* plugin) {
        Plugin& self = of(plugin);
        self.refreshByCallback_.store(false, std::memory_order_relaxed);
        // Gives the host's descriptor and timer back.
        self.display_.reset();
    }
    // The host's scale (2.0 = 200 %) becomes the display's whole factor, the nearest within
    // 1..3. Hosts say it before get_size and set_parent; a change once the display is in its
    // parent reopens it at the new size and asks the host for the room.
    static bool CLAP_ABI guiSetScale(const clap_plugin* plugin, double scale) {
        Plugin& self = of(plugin);
        if (self.display_ == nullptr) return false;
        const int before = self.display_->scale();
        self.display_->setScale(display::scaleOfHostScale(scale));
        if (self.display_->scale() != before && self.display_->isOpen() &&
            self.host_->get_extension != nullptr) {
            const auto* gui = static_cast<const clap_host_gui*>(
                self.host_->get_extension(self.host_, CLAP_EXT_GUI));
            if (gui != nullptr && gui->request_resize != nullptr) {
                (void)gui->request_resize(self.host_,
                                          static_cast<std::uint32_t>(self.display_->width()),
                                          static_cast<std::uint32_t>(self.display_->height()));
            }
        }
        return true;
    }
    static bool CLAP_ABI guiGetSize(const clap_plugin* plugin, std::uint32_t* width,
                                    std::uint32_t* height) {
        const Plugin& self = of(plugin);
        if (self.display_ == nullptr || width == nullptr || height == nullptr) return false;
        *width = static_cast<std::uint32_t>(self.display_->width());
        *height = static_cast<std::uint32_t>(self.display_->height());
        return true;
    }
    static bool CLAP_ABI guiCanResize(const clap_plugin*) { return false; }
    static bool CLAP_ABI guiResizeHints(const clap_plugin*, clap_gui_resize_hints*) {
        return false;
    }
    static bool CLAP_ABI guiAdjustSize(const clap_plugin* plugin, std::uint32_t* width,
                                       std::uint32_t* height) {
        if (width == nullptr || height == nullptr) return false;
        return guiGetSize(plugin, width, height) || fixedSize(width, height);
    }
    static bool CLAP_ABI guiSetSize(const clap_plugin* plugin, std::uint32_t width,
                                    std::uint32_t height) {
        std::uint32_t fixedWidth = 0;
        std::uint32_t fixedHeight = 0;
        if (!guiGetSize(plugin, &fixedWidth, &fixedHeight)) fixedSize(&fixedWidth, &fixedHeight);
        return width == fixedWidth && height == fixedHeight;
    }
    // The size at factor 1, for the calls a host may make before create.
    static bool fixedSize(std::uint32_t* width, std::uint32_t* height) {
        *width = display::kWidth;
        *height = display::kHeight;
        return true;
    }
    static bool CLAP_ABI guiSetParent(const clap_plugin* plugin, const clap_window* window) {
        Plugin& self = of(plugin);
        if (self.display_ == nullptr || window == nullptr) return false;
        const HWND parent = gui_window::parentOf(*window);
        if (parent == nullptr) return false;
        // Opening again closes the old X connection (the host stops polling it first) and has
        // the host poll the new one.
        return self.display_->open(parent);
    }
    static bool CLAP_ABI guiSetTransient(const clap_plugin*, const clap_window*) { return false; }
    static void CLAP_ABI guiSuggestTitle(const clap_plugin*, const char*) {}
    static bool CLAP_ABI guiShow(const clap_plugin* plugin) {
        return of(plugin).display_ != nullptr && of(plugin).display_->isOpen();
    }
    static bool CLAP_ABI guiHide(const clap_plugin* plugin) {
        return of(plugin).display_ != nullptr;
    }

    static void CLAP_ABI onTimer(const clap_plugin* plugin, clap_id timer) {
        Plugin& self = of(plugin);
        if (timer == self.loop_.timerId() && self.display_ != nullptr) self.display_->run();
    }
    // The display's X connection, which it has the host poll while it is on screen.
    static void CLAP_ABI onFd(const clap_plugin* plugin, int fd, std::uint32_t flags) {
        Plugin& self = of(plugin);
        if (self.display_ != nullptr)
            self.display_->onHostDescriptor(fd, (flags & CLAP_POSIX_FD_ERROR) != 0);
    }

    // Our hosts' wait for the kernels activate asked for (analysis_wait.h). Main thread. A
    // wait that cannot be made (its lock failing) answers as a timeout: nothing unwinds into
    // the host.
    static bool CLAP_ABI waitForAnalysis(const clap_plugin* plugin, std::uint32_t timeoutMs) {
        try {
            return of(plugin).core_.waitUntilReady(std::chrono::milliseconds(timeoutMs));
        } catch (...) {
            return false;
        }
    }

    static constexpr clap_plugin_audio_ports audioPorts = {audioPortCount, audioPortGet};
    static constexpr clap_plugin_note_ports notePorts = {notePortCount, notePortGet};
    static constexpr clap_plugin_latency latency = {latencyGet};
    static constexpr clap_plugin_gui gui = {
        guiIsApiSupported, guiPreferredApi, guiCreate,       guiDestroy,    guiSetScale,
        guiGetSize,        guiCanResize,    guiResizeHints,  guiAdjustSize, guiSetSize,
        guiSetParent,      guiSetTransient, guiSuggestTitle, guiShow,       guiHide};
    static constexpr clap_plugin_timer_support timerSupport = {onTimer};
    static constexpr clap_plugin_posix_fd_support posixFdSupport = {onFd};
    static constexpr AnalysisWait analysisWait = {waitForAnalysis};

    const clap_host* host_;
    ClapHostLoop loop_;  // the host's timers and descriptors, for the display (outlives it)
    clap_plugin record_;
    AnalyserCore core_;  // at the default rate until the host activates the plug-in
    std::unique_ptr<SpectrumDisplay> display_;  // between gui create and destroy
    std::atomic<bool> refreshByCallback_{false};
    std::atomic<bool> callbackPending_{false};
};

}  // namespace

const clap_plugin* createPlugin(const clap_host* host) {
    auto* plugin = new (std::nothrow) Plugin(host);
    return plugin != nullptr ? plugin->record() : nullptr;
}

}  // namespace cqscope::clap
