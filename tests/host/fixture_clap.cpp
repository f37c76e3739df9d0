// Small CLAP plug-ins for the host's tests, built from our own interface declarations, one per
// way a file can present itself:
//   FIXTURE_CLAP_PASS        "org.cqscope.test.pass": one stereo input and output paired in
//                            place, passed through bit for bit; one note input (CLAP notes and
//                            MIDI); an x11 GUI of 960 x 512; latency 0. It records every call
//                            (FixtureReport) and each rule the host broke; from init on it
//                            keeps a 40 ms timer and a pipe registered with the host, writes
//                            the pipe on each timer tick and reads it when the host reports it
//                            readable; its first process asks for a main-thread callback.
//   FIXTURE_CLAP_HALF        the same with separate input and output buffers (no in-place
//                            pair), halving the audio;
//   FIXTURE_CLAP_VERSION0    declares CLAP 0.3.0;
//   FIXTURE_CLAP_INIT_FALSE  its entry's init fails;
//   FIXTURE_CLAP_NO_FACTORY  its entry knows no plug-in factory;
//   FIXTURE_CLAP_NO_ENTRY    a library that exports no clap_entry;
//   FIXTURE_CLAP_PLUGIN_INIT_FALSE  the plug-in's own init fails;
//   FIXTURE_CLAP_INCOMPLETE  the plug-in's record lacks its process function;
//   FIXTURE_CLAP_OLD_DESCRIPTOR  a 1.x entry whose one plug-in declares CLAP 0.9.0.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "fixture_clap_report.h"

#if !defined(FIXTURE_CLAP_NO_ENTRY)

namespace {

#if defined(FIXTURE_CLAP_NO_FACTORY)
#define FIXTURE_CLAP_HAS_NO_FACTORY true
#else
#define FIXTURE_CLAP_HAS_NO_FACTORY false
#endif

#if defined(FIXTURE_CLAP_PLUGIN_INIT_FALSE)
constexpr bool kPluginInitFails = true;
#else
constexpr bool kPluginInitFails = false;
#endif

#if defined(FIXTURE_CLAP_HALF)
constexpr bool kInPlace = false;
constexpr float kGain = 0.5f;
#else
constexpr bool kInPlace = true;
constexpr float kGain = 1.0f;
#endif

std::atomic<int> liveInstances{0};
std::atomic<int> entryInits{0};

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_ANALYZER,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};
#if defined(FIXTURE_CLAP_OLD_DESCRIPTOR)
constexpr clap_version kDescriptorVersion = {0, 9, 0};
#else
constexpr clap_version kDescriptorVersion = CLAP_VERSION;
#endif

const clap_plugin_descriptor kDescriptor = {kDescriptorVersion,
                                            "org.cqscope.test.pass",
                                            "Fixture Pass",
                                            "cqscope tests",
                                            "",
                                            "",
                                            "",
                                            "1.2",
                                            "passes audio through",
                                            kFeatures};

struct Instance {
    clap_plugin plugin{};
    const clap_host* host = nullptr;
    const clap_host_thread_check* threads = nullptr;
    const clap_host_timer_support* timers = nullptr;
    const clap_host_posix_fd_support* fds = nullptr;
    bool active = false, processing = false, guiCreated = false;
    std::atomic<bool> inAudioCall{false};
    long blocks = 0;
    clap_id timer = CLAP_INVALID_ID;
    int pipeEnds[2] = {-1, -1};
    // Calls on the main thread and on the audio thread, each written by its own thread only;
    // the audio log is reserved at activate, so that process appends without allocating.
    std::string mainCalls, audioCalls;
    std::mutex faultLock;  // the host may break a rule on either thread
    std::string faults;
};

Instance& self(const clap_plugin* plugin) {
    return *static_cast<Instance*>(plugin->plugin_data);
}

void logMain(Instance& in, const std::string& line) {
    in.mainCalls += line + "\n";
}
void logAudio(Instance& in, const char* line) {
    in.audioCalls += line;
    in.audioCalls += '\n';
}
void fault(Instance& in, const char* what) {
    std::lock_guard<std::mutex> guard(in.faultLock);
    in.faults += std::string(what) + "\n";
}

void mainThreadCall(Instance& in, const char* name) {
    if (in.threads == nullptr || !in.threads->is_main_thread(in.host) ||
        in.threads->is_audio_thread(in.host)) {
        fault(in, (std::string(name) + " off the main thread").c_str());
    }
}

// Marks one audio-thread call, noting a call from a thread the host does not call its audio
// thread and a call overlapping another.
class AudioCall {
  public:
    AudioCall(Instance& in, const char* name) : in_(in) {
        if (in.inAudioCall.exchange(true)) fault(in, (std::string(name) + " overlaps").c_str());
        if (in.threads == nullptr || !in.threads->is_audio_thread(in.host)) {
            fault(in, (std::string(name) + " off the audio thread").c_str());
        }
    }
    ~AudioCall() { in_.inAudioCall = false; }

  private:
    Instance& in_;
};

bool CLAP_ABI pluginInit(const clap_plugin* plugin) {
    Instance& in = self(plugin);
    if (kPluginInitFails) return false;
    in.threads = static_cast<const clap_host_thread_check*>(
        in.host->get_extension(in.host, CLAP_EXT_THREAD_CHECK));
    in.timers = static_cast<const clap_host_timer_support*>(
        in.host->get_extension(in.host, CLAP_EXT_TIMER_SUPPORT));
    in.fds = static_cast<const clap_host_posix_fd_support*>(
        in.host->get_extension(in.host, CLAP_EXT_POSIX_FD_SUPPORT));
    mainThreadCall(in, "init");
    logMain(in, "init");
    if (in.timers != nullptr && !in.timers->register_timer(in.host, 40, &in.timer)) {
        fault(in, "timer refused");
    }
    if (in.fds != nullptr && ::pipe(in.pipeEnds) == 0 &&
        !in.fds->register_fd(in.host, in.pipeEnds[0], CLAP_POSIX_FD_READ)) {
        fault(in, "fd refused");
    }
    return true;
}

void CLAP_ABI pluginDestroy(const clap_plugin* plugin) {
    Instance* in = &self(plugin);
    if (in->active) std::fputs("fixture: destroyed while active\n", stderr), std::abort();
    if (in->timer != CLAP_INVALID_ID) in->timers->unregister_timer(in->host, in->timer);
    if (in->pipeEnds[0] >= 0) {
        if (in->fds != nullptr) in->fds->unregister_fd(in->host, in->pipeEnds[0]);
        ::close(in->pipeEnds[0]);
        ::close(in->pipeEnds[1]);
    }
    delete in;
    --liveInstances;
}

bool CLAP_ABI pluginActivate(const clap_plugin* plugin, double rate, std::uint32_t minFrames,
                             std::uint32_t maxFrames) {
    Instance& in = self(plugin);
    mainThreadCall(in, "activate");
    if (in.active) fault(in, "activate while active");
    in.audioCalls.reserve(in.audioCalls.size() + (1 << 20));
    char line[96];
    std::snprintf(line, sizeof line, "activate %.0f %u %u", rate, minFrames, maxFrames);
    logMain(in, line);
    in.active = true;
    in.blocks = 0;
    return true;
}

void CLAP_ABI pluginDeactivate(const clap_plugin* plugin) {
    Instance& in = self(plugin);
    mainThreadCall(in, "deactivate");
    if (!in.active || in.processing) fault(in, "deactivate while inactive or processing");
    logMain(in, "deactivate");
    in.active = false;
}

bool CLAP_ABI pluginStartProcessing(const clap_plugin* plugin) {
    Instance& in = self(plugin);
    AudioCall call(in, "start_processing");
    if (!in.active || in.processing) fault(in, "start_processing while inactive or processing");
    logAudio(in, "start_processing");
    in.processing = true;
    return true;
}

void CLAP_ABI pluginStopProcessing(const clap_plugin* plugin) {
    Instance& in = self(plugin);
    AudioCall call(in, "stop_processing");
    if (!in.processing) fault(in, "stop_processing while not processing");
    logAudio(in, "stop_processing");
    in.processing = false;
}

void CLAP_ABI pluginReset(const clap_plugin* plugin) {
    Instance& in = self(plugin);
    AudioCall call(in, "reset");
    logAudio(in, "reset");
}

void logEvent(Instance& in, const clap_event_header* header) {
    char line[128];
    if (header->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    if (header->type <= CLAP_EVENT_NOTE_CHOKE && header->size >= sizeof(clap_event_note)) {
        clap_event_note note;
        std::memcpy(&note, header, sizeof note);
        static constexpr const char* kNames[] = {"note-on", "note-off", "note-choke"};
        std::snprintf(line, sizeof line, "%s key %d channel %d velocity %g block %ld frame %u",
                      kNames[header->type], note.key, note.channel, note.velocity, in.blocks,
                      header->time);
    } else if (header->type == CLAP_EVENT_MIDI && header->size >= sizeof(clap_event_midi)) {
        clap_event_midi midi;
        std::memcpy(&midi, header, sizeof midi);
        std::snprintf(line, sizeof line, "midi %02x %02x %02x block %ld frame %u", midi.data[0],
                      midi.data[1], midi.data[2], in.blocks, header->time);
    } else {
        std::snprintf(line, sizeof line, "event type %u block %ld frame %u", header->type,
                      in.blocks, header->time);
    }
    logAudio(in, line);
}

std::int32_t CLAP_ABI pluginProcess(const clap_plugin* plugin, const clap_process* process) {
    Instance& in = self(plugin);
    AudioCall call(in, "process");
    if (!in.processing) fault(in, "process while not processing");
    char line[64];
    std::snprintf(line, sizeof line, "process %u", process->frames_count);
    logAudio(in, line);
    if (in.blocks == 0) in.host->request_callback(in.host);
    std::uint32_t lastTime = 0;
    const clap_input_events* events = process->in_events;
    for (std::uint32_t i = 0, n = events->size(events); i < n; ++i) {
        const clap_event_header* header = events->get(events, i);
        if (header->time < lastTime || header->time >= process->frames_count) {
            fault(in, "event out of order or outside the block");
        }
        lastTime = header->time;
        logEvent(in, header);
    }
    if (process->audio_inputs_count != 1 || process->audio_outputs_count != 1 ||
        process->audio_inputs[0].channel_count != 2 ||
        process->audio_outputs[0].channel_count != 2) {
        fault(in, "process without one stereo input and output");
        return CLAP_PROCESS_ERROR;
    }
    for (int c = 0; c < 2; ++c) {
        const float* source = process->audio_inputs[0].data32[c];
        float* target = process->audio_outputs[0].data32[c];
        if (!kInPlace && source == target) fault(in, "in place without an in-place pair");
        for (std::uint32_t i = 0; i < process->frames_count; ++i) target[i] = kGain * source[i];
    }
    ++in.blocks;
    return CLAP_PROCESS_CONTINUE;
}

std::uint32_t CLAP_ABI audioPortCount(const clap_plugin*, bool) {
    return 1;
}
bool CLAP_ABI audioPortGet(const clap_plugin*, std::uint32_t index, bool isInput,
                           clap_audio_port_info* info) {
    if (index != 0) return false;
    *info = {};
    info->id = isInput ? 1 : 2;
    std::strcpy(info->name, isInput ? "Input" : "Output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = kInPlace ? (isInput ? 2 : 1) : CLAP_INVALID_ID;
    return true;
}
constexpr clap_plugin_audio_ports kAudioPorts = {audioPortCount, audioPortGet};

std::uint32_t CLAP_ABI notePortCount(const clap_plugin*, bool isInput) {
    return isInput ? 1 : 0;
}
bool CLAP_ABI notePortGet(const clap_plugin*, std::uint32_t index, bool isInput,
                          clap_note_port_info* info) {
    if (index != 0 || !isInput) return false;
    *info = {};
    info->id = 3;
    info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
    info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
    std::strcpy(info->name, "Notes");
    return true;
}
constexpr clap_plugin_note_ports kNotePorts = {notePortCount, notePortGet};

bool CLAP_ABI guiIsApiSupported(const clap_plugin*, const char* api, bool floating) {
    return !floating && std::strcmp(api, CLAP_WINDOW_API_X11) == 0;
}
bool CLAP_ABI guiPreferredApi(const clap_plugin*, const char** api, bool* floating) {
    *api = CLAP_WINDOW_API_X11;
    *floating = false;
    return true;
}
bool CLAP_ABI guiCreate(const clap_plugin* plugin, const char* api, bool floating) {
    Instance& in = self(plugin);
    mainThreadCall(in, "gui create");
    if (in.guiCreated || !guiIsApiSupported(plugin, api, floating)) return false;
    in.guiCreated = true;
    return true;
}
void CLAP_ABI guiDestroy(const clap_plugin* plugin) {
    self(plugin).guiCreated = false;
}
bool CLAP_ABI guiSetScale(const clap_plugin*, double) {
    return false;
}
bool CLAP_ABI guiGetSize(const clap_plugin* plugin, std::uint32_t* width, std::uint32_t* height) {
    if (!self(plugin).guiCreated) return false;
    *width = 960;
    *height = 512;
    return true;
}
bool CLAP_ABI guiCanResize(const clap_plugin*) {
    return false;
}
bool CLAP_ABI guiResizeHints(const clap_plugin*, clap_gui_resize_hints*) {
    return false;
}
bool CLAP_ABI guiAdjustSize(const clap_plugin* plugin, std::uint32_t* width,
                            std::uint32_t* height) {
    return guiGetSize(plugin, width, height);
}
bool CLAP_ABI guiSetSize(const clap_plugin*, std::uint32_t width, std::uint32_t height) {
    return width == 960 && height == 512;
}
bool CLAP_ABI guiWindow(const clap_plugin*, const clap_window*) {
    return false;
}
void CLAP_ABI guiSuggestTitle(const clap_plugin*, const char*) {}
bool CLAP_ABI guiShowHide(const clap_plugin*) {
    return false;
}
constexpr clap_plugin_gui kGui = {guiIsApiSupported, guiPreferredApi, guiCreate,    guiDestroy,
                                  guiSetScale,       guiGetSize,      guiCanResize, guiResizeHints,
                                  guiAdjustSize,     guiSetSize,      guiWindow,    guiWindow,
                                  guiSuggestTitle,   guiShowHide,     guiShowHide};

std::uint32_t CLAP_ABI latencyGet(const clap_plugin*) {
    return 0;
}
constexpr clap_plugin_latency kLatency = {latencyGet};

void CLAP_ABI onTimer(const clap_plugin* plugin, clap_id id) {
    Instance& in = self(plugin);
    mainThreadCall(in, "on_timer");
    logMain(in, "timer " + std::to_string(id));
    const char byte = 1;
    if (in.pipeEnds[1] >= 0 && ::write(in.pipeEnds[1], &byte, 1) != 1) fault(in, "pipe write");
}
constexpr clap_plugin_timer_support kTimerSupport = {onTimer};

void CLAP_ABI onFd(const clap_plugin* plugin, int fd, std::uint32_t flags) {
    Instance& in = self(plugin);
    mainThreadCall(in, "on_fd");
    if (fd != in.pipeEnds[0] || !(flags & CLAP_POSIX_FD_READ)) fault(in, "unexpected on_fd");
    char byte;
    if (::read(fd, &byte, 1) != 1) fault(in, "pipe read");
    logMain(in, "fd");
}
constexpr clap_plugin_posix_fd_support kFdSupport = {onFd};

const char* CLAP_ABI reportMainCalls(const clap_plugin* plugin) {
    return self(plugin).mainCalls.c_str();
}
const char* CLAP_ABI reportAudioCalls(const clap_plugin* plugin) {
    return self(plugin).audioCalls.c_str();
}
const char* CLAP_ABI reportFaults(const clap_plugin* plugin) {
    Instance& in = self(plugin);
    std::lock_guard<std::mutex> guard(in.faultLock);
    return in.faults.c_str();
}
int CLAP_ABI reportLive() {
    return liveInstances.load();
}
constexpr FixtureReport kReport = {reportMainCalls, reportAudioCalls, reportFaults, reportLive};

const void* CLAP_ABI pluginGetExtension(const clap_plugin*, const char* id) {
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPorts;
    if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &kNotePorts;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatency;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimerSupport;
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &kFdSupport;
    if (std::strcmp(id, kFixtureReportExtension) == 0) return &kReport;
    return nullptr;
}

void CLAP_ABI pluginOnMainThread(const clap_plugin* plugin) {
    Instance& in = self(plugin);
    mainThreadCall(in, "on_main_thread");
    logMain(in, "on_main_thread");
}

std::uint32_t CLAP_ABI factoryCount(const clap_plugin_factory*) {
    return 1;
}
const clap_plugin_descriptor* CLAP_ABI factoryDescriptor(const clap_plugin_factory*,
                                                         std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
const clap_plugin* CLAP_ABI factoryCreate(const clap_plugin_factory*, const clap_host* host,
                                          const char* id) {
    if (entryInits.load() == 0 || std::strcmp(id, kDescriptor.id) != 0) return nullptr;
    auto* in = new Instance;
    in->host = host;
    in->plugin = {&kDescriptor,
                  in,
                  pluginInit,
                  pluginDestroy,
                  pluginActivate,
                  pluginDeactivate,
                  pluginStartProcessing,
                  pluginStopProcessing,
                  pluginReset,
                  pluginProcess,
                  pluginGetExtension,
                  pluginOnMainThread};
#if defined(FIXTURE_CLAP_INCOMPLETE)
    in->plugin.process = nullptr;
#endif
    ++liveInstances;
    return &in->plugin;
}
constexpr clap_plugin_factory kFactory = {factoryCount, factoryDescriptor, factoryCreate};

bool CLAP_ABI entryInit(const char* path) {
#if defined(FIXTURE_CLAP_INIT_FALSE)
    (void)path;
    return false;
#else
    if (path == nullptr || path[0] == '\0') return false;
    ++entryInits;
    return true;
#endif
}

void CLAP_ABI entryDeinit() {
    if (liveInstances.load() != 0) {
        std::fputs("fixture: deinit with instances alive\n", stderr);
        std::abort();
    }
    --entryInits;
}

const void* CLAP_ABI entryFactory(const char* id) {
    // The no-factory fixture knows no ID, this one included.
    constexpr bool kHasFactory = !FIXTURE_CLAP_HAS_NO_FACTORY;
    return kHasFactory && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

}  // namespace

#if defined(FIXTURE_CLAP_VERSION0)
#define FIXTURE_CLAP_ENTRY_VERSION \
    { 0, 3, 0 }
#else
#define FIXTURE_CLAP_ENTRY_VERSION CLAP_VERSION
#endif

extern "C" {
CLAP_EXPORT extern const clap_plugin_entry clap_entry;
}
const clap_plugin_entry clap_entry = {FIXTURE_CLAP_ENTRY_VERSION, entryInit, entryDeinit,
                                      entryFactory};

#else

extern "C" __attribute__((visibility("default"))) int fixtureNothingToSee() {
    return 0;
}

#endif
