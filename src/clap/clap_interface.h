// The CLAP plug-in interface, as far as cqscope and cqscope-host use it: the entry, the plug-in
// factory and its descriptor, the host and plug-in records, processing and events, and the
// extensions audio ports, note ports, GUI, timer support, POSIX fd support, thread check and
// latency. Written from the published binary layouts (interface version 1.2.10); every record
// is pinned by static_asserts on its size and on each field's offset, for the 64-bit targets
// (Linux x86-64 and Windows x64, identical) and for 32-bit Windows. 32-bit Linux lays out
// 64-bit fields differently and is not a target of this header.
//
// Plain C-compatible records in the global namespace, with the interface's own names, so that a
// record handed across the library boundary is exactly what the other side declares.
// Threads: each function pointer's comment gives the thread it may be called on, in the
// interface's own terms: [main-thread], [audio-thread], [thread-safe].
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CLAP_ABI __cdecl
#else
#define CLAP_ABI
#endif

// clap_entry is a data object with C linkage, exported under that exact name.
#if defined(_WIN32)
#define CLAP_EXPORT __declspec(dllexport)
#else
#define CLAP_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

using clap_id = std::uint32_t;
inline constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;
inline constexpr std::size_t CLAP_NAME_SIZE = 256;

// ---- Version -------------------------------------------------------------------------------

struct clap_version {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t revision;
};
using clap_version_t = clap_version;

inline constexpr std::uint32_t CLAP_VERSION_MAJOR = 1;
inline constexpr std::uint32_t CLAP_VERSION_MINOR = 2;
inline constexpr std::uint32_t CLAP_VERSION_REVISION = 10;
inline constexpr clap_version CLAP_VERSION = {CLAP_VERSION_MAJOR, CLAP_VERSION_MINOR,
                                              CLAP_VERSION_REVISION};

// 0.x were development releases; any 1.x plug-in loads in any 1.y host.
constexpr bool clap_version_is_compatible(clap_version version) {
    return version.major >= 1;
}

// ---- Entry and factory ---------------------------------------------------------------------

// The library's one export. `init` first (any thread, never concurrently with any other call
// into the library; a plug-in tolerates repeats of `init` and `deinit`), `deinit` last;
// `get_factory` [thread-safe], null for an unknown factory ID.
struct clap_plugin_entry {
    clap_version_t clap_version;
    bool(CLAP_ABI* init)(const char* plugin_path);
    void(CLAP_ABI* deinit)(void);
    const void*(CLAP_ABI* get_factory)(const char* factory_id);
};
using clap_plugin_entry_t = clap_plugin_entry;

inline constexpr const char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

// Feature strings of a descriptor.
inline constexpr const char CLAP_PLUGIN_FEATURE_INSTRUMENT[] = "instrument";
inline constexpr const char CLAP_PLUGIN_FEATURE_AUDIO_EFFECT[] = "audio-effect";
inline constexpr const char CLAP_PLUGIN_FEATURE_NOTE_EFFECT[] = "note-effect";
inline constexpr const char CLAP_PLUGIN_FEATURE_NOTE_DETECTOR[] = "note-detector";
inline constexpr const char CLAP_PLUGIN_FEATURE_ANALYZER[] = "analyzer";
inline constexpr const char CLAP_PLUGIN_FEATURE_UTILITY[] = "utility";
inline constexpr const char CLAP_PLUGIN_FEATURE_MONO[] = "mono";
inline constexpr const char CLAP_PLUGIN_FEATURE_STEREO[] = "stereo";
inline constexpr const char CLAP_PLUGIN_FEATURE_SURROUND[] = "surround";
inline constexpr const char CLAP_PLUGIN_FEATURE_AMBISONIC[] = "ambisonic";

// Owned by the plug-in, valid until the entry's `deinit`. `id` and `name` are mandatory and
// non-empty; `features` is a null-terminated array.
struct clap_plugin_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features;
};
using clap_plugin_descriptor_t = clap_plugin_descriptor;

struct clap_host;
struct clap_plugin;

// All three [thread-safe]. `create_plugin` answers null for an unknown ID and calls no host
// function; the record it returns is released only by the plug-in's `destroy`.
struct clap_plugin_factory {
    std::uint32_t(CLAP_ABI* get_plugin_count)(const clap_plugin_factory* factory);
    const clap_plugin_descriptor*(CLAP_ABI* get_plugin_descriptor)(
        const clap_plugin_factory* factory, std::uint32_t index);
    const clap_plugin*(CLAP_ABI* create_plugin)(const clap_plugin_factory* factory,
                                                const clap_host* host, const char* plugin_id);
};
using clap_plugin_factory_t = clap_plugin_factory;

// ---- Host record (the host's, valid until after the plug-in's `destroy`) -------------------

struct clap_host {
    clap_version_t clap_version;
    void* host_data;   // the host's own
    const char* name;  // mandatory
    const char* vendor;
    const char* url;
    const char* version;  // mandatory
    // [thread-safe]; null when the host lacks the extension. Not before the plug-in's `init`.
    const void*(CLAP_ABI* get_extension)(const clap_host* host, const char* extension_id);
    void(CLAP_ABI* request_restart)(const clap_host* host);   // [thread-safe]
    void(CLAP_ABI* request_process)(const clap_host* host);   // [thread-safe]
    void(CLAP_ABI* request_callback)(const clap_host* host);  // [thread-safe]: on_main_thread soon
};
using clap_host_t = clap_host;

// ---- Processing ----------------------------------------------------------------------------

inline constexpr std::uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;
inline constexpr std::uint32_t CLAP_EVENT_IS_LIVE = 1;
inline constexpr std::uint32_t CLAP_EVENT_DONT_RECORD = 2;

// Core event types (space 0).
inline constexpr std::uint16_t CLAP_EVENT_NOTE_ON = 0;
inline constexpr std::uint16_t CLAP_EVENT_NOTE_OFF = 1;
inline constexpr std::uint16_t CLAP_EVENT_NOTE_CHOKE = 2;
inline constexpr std::uint16_t CLAP_EVENT_NOTE_END = 3;
inline constexpr std::uint16_t CLAP_EVENT_NOTE_EXPRESSION = 4;
inline constexpr std::uint16_t CLAP_EVENT_PARAM_VALUE = 5;
inline constexpr std::uint16_t CLAP_EVENT_PARAM_MOD = 6;
inline constexpr std::uint16_t CLAP_EVENT_PARAM_GESTURE_BEGIN = 7;
inline constexpr std::uint16_t CLAP_EVENT_PARAM_GESTURE_END = 8;
inline constexpr std::uint16_t CLAP_EVENT_TRANSPORT = 9;
inline constexpr std::uint16_t CLAP_EVENT_MIDI = 10;
inline constexpr std::uint16_t CLAP_EVENT_MIDI_SYSEX = 11;
inline constexpr std::uint16_t CLAP_EVENT_MIDI2 = 12;

// Opens every event; `size` is the whole event's, header included; `time` the frame offset in
// the block. Interpret `type` only when `space_id` is the core space.
struct clap_event_header {
    std::uint32_t size;
    std::uint32_t time;
    std::uint16_t space_id;
    std::uint16_t type;
    std::uint32_t flags;
};
using clap_event_header_t = clap_event_header;

// NOTE_ON/OFF/CHOKE/END. -1 is a wildcard for port, channel and key (never in a note-on) and
// "no ID" for note_id. A note-on with velocity 0 is a real note-on.
struct clap_event_note {
    clap_event_header header;
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel;  // 0..15
    std::int16_t key;      // 0..127, 60 = middle C
    double velocity;       // 0..1
};
using clap_event_note_t = clap_event_note;

// A raw MIDI 1 message: status, data 1, data 2.
struct clap_event_midi {
    clap_event_header header;
    std::uint16_t port_index;
    std::uint8_t data[3];
};
using clap_event_midi_t = clap_event_midi;

// The host's, read-only, sorted by time within the block; valid only during `process`.
struct clap_input_events {
    void* ctx;
    std::uint32_t(CLAP_ABI* size)(const clap_input_events* list);
    const clap_event_header*(CLAP_ABI* get)(const clap_input_events* list, std::uint32_t index);
};
using clap_input_events_t = clap_input_events;

// The host's; `try_push` copies the event (false: not queued). Pushed in time order.
struct clap_output_events {
    void* ctx;
    bool(CLAP_ABI* try_push)(const clap_output_events* list, const clap_event_header* event);
};
using clap_output_events_t = clap_output_events;

// One port's channels: exactly one of data32 / data64 is set (data32 unless the port is
// flagged for 64-bit samples).
struct clap_audio_buffer {
    float** data32;
    double** data64;
    std::uint32_t channel_count;
    std::uint32_t latency;
    std::uint64_t constant_mask;  // bit i: channel i holds one value (a hint; still filled)
};
using clap_audio_buffer_t = clap_audio_buffer;

struct clap_event_transport;  // kept opaque

struct clap_process {
    std::int64_t steady_time;  // running frame counter, -1 when unknown
    std::uint32_t frames_count;
    const clap_event_transport* transport;  // null for a free-running host
    const clap_audio_buffer* audio_inputs;
    clap_audio_buffer* audio_outputs;
    std::uint32_t audio_inputs_count;
    std::uint32_t audio_outputs_count;
    const clap_input_events* in_events;
    const clap_output_events* out_events;
};
using clap_process_t = clap_process;

// What `process` returns.
inline constexpr std::int32_t CLAP_PROCESS_ERROR = 0;
inline constexpr std::int32_t CLAP_PROCESS_CONTINUE = 1;
inline constexpr std::int32_t CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2;
inline constexpr std::int32_t CLAP_PROCESS_TAIL = 3;
inline constexpr std::int32_t CLAP_PROCESS_SLEEP = 4;

// ---- Plug-in record (the plug-in's, released by `destroy`) ---------------------------------

struct clap_plugin {
    const clap_plugin_descriptor* desc;
    void* plugin_data;                                   // the plug-in's own
    bool(CLAP_ABI* init)(const clap_plugin* plugin);     // [main-thread]
    void(CLAP_ABI* destroy)(const clap_plugin* plugin);  // [main-thread & !active]
    // [main-thread & !active]; may allocate. While active the rate is fixed and every block
    // holds min_frames_count..max_frames_count frames.
    bool(CLAP_ABI* activate)(const clap_plugin* plugin, double sample_rate,
                             std::uint32_t min_frames_count, std::uint32_t max_frames_count);
    void(CLAP_ABI* deactivate)(const clap_plugin* plugin);  // [main-thread & active]
    // [audio-thread & active & !processing]
    bool(CLAP_ABI* start_processing)(const clap_plugin* plugin);
    // [audio-thread & active & processing]
    void(CLAP_ABI* stop_processing)(const clap_plugin* plugin);
    void(CLAP_ABI* reset)(const clap_plugin* plugin);  // [audio-thread & active]
    // [audio-thread & active & processing]; returns a process status.
    std::int32_t(CLAP_ABI* process)(const clap_plugin* plugin, const clap_process* process);
    // [thread-safe]; null when unsupported; not before `init`.
    const void*(CLAP_ABI* get_extension)(const clap_plugin* plugin, const char* id);
    void(CLAP_ABI* on_main_thread)(const clap_plugin* plugin);  // [main-thread]
};
using clap_plugin_t = clap_plugin;

// ---- Extensions ----------------------------------------------------------------------------

inline constexpr const char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
inline constexpr const char CLAP_EXT_NOTE_PORTS[] = "clap.note-ports";
inline constexpr const char CLAP_EXT_GUI[] = "clap.gui";
inline constexpr const char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";
inline constexpr const char CLAP_EXT_POSIX_FD_SUPPORT[] = "clap.posix-fd-support";
inline constexpr const char CLAP_EXT_THREAD_CHECK[] = "clap.thread-check";
inline constexpr const char CLAP_EXT_LATENCY[] = "clap.latency";
inline constexpr const char CLAP_EXT_STATE[] = "clap.state";
inline constexpr const char CLAP_EXT_PARAMS[] = "clap.params";

// Audio ports.
inline constexpr const char CLAP_PORT_MONO[] = "mono";
inline constexpr const char CLAP_PORT_STEREO[] = "stereo";
inline constexpr std::uint32_t CLAP_AUDIO_PORT_IS_MAIN = 1;
inline constexpr std::uint32_t CLAP_AUDIO_PORT_SUPPORTS_64BITS = 2;
inline constexpr std::uint32_t CLAP_AUDIO_PORT_PREFERS_64BITS = 4;
inline constexpr std::uint32_t CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 8;

struct clap_audio_port_info {
    clap_id id;  // input and output IDs may coincide
    char name[CLAP_NAME_SIZE];
    std::uint32_t flags;
    std::uint32_t channel_count;
    const char* port_type;  // e.g. CLAP_PORT_STEREO; null or "" = unspecified
    clap_id in_place_pair;  // the opposite port that may share this one's buffers, or invalid
};
using clap_audio_port_info_t = clap_audio_port_info;

// Both [main-thread]; ports are scanned only while inactive.
struct clap_plugin_audio_ports {
    std::uint32_t(CLAP_ABI* count)(const clap_plugin* plugin, bool is_input);
    bool(CLAP_ABI* get)(const clap_plugin* plugin, std::uint32_t index, bool is_input,
                        clap_audio_port_info* info);
};
using clap_plugin_audio_ports_t = clap_plugin_audio_ports;

// Note ports: dialects are bits of `supported_dialects`, one value for `preferred_dialect`.
inline constexpr std::uint32_t CLAP_NOTE_DIALECT_CLAP = 1;
inline constexpr std::uint32_t CLAP_NOTE_DIALECT_MIDI = 2;
inline constexpr std::uint32_t CLAP_NOTE_DIALECT_MIDI_MPE = 4;
inline constexpr std::uint32_t CLAP_NOTE_DIALECT_MIDI2 = 8;
inline constexpr std::uint32_t CLAP_NOTE_PORTS_RESCAN_ALL = 1;
inline constexpr std::uint32_t CLAP_NOTE_PORTS_RESCAN_NAMES = 2;

struct clap_note_port_info {
    clap_id id;
    std::uint32_t supported_dialects;
    std::uint32_t preferred_dialect;
    char name[CLAP_NAME_SIZE];
};
using clap_note_port_info_t = clap_note_port_info;

// Both [main-thread].
struct clap_plugin_note_ports {
    std::uint32_t(CLAP_ABI* count)(const clap_plugin* plugin, bool is_input);
    bool(CLAP_ABI* get)(const clap_plugin* plugin, std::uint32_t index, bool is_input,
                        clap_note_port_info* info);
};
using clap_plugin_note_ports_t = clap_plugin_note_ports;

// GUI. On X11 and Win32 sizes are physical pixels.
inline constexpr const char CLAP_WINDOW_API_WIN32[] = "win32";
inline constexpr const char CLAP_WINDOW_API_X11[] = "x11";
inline constexpr const char CLAP_WINDOW_API_WAYLAND[] = "wayland";
inline constexpr const char CLAP_WINDOW_API_COCOA[] = "cocoa";
inline constexpr const char CLAP_WINDOW_API_UIKIT[] = "uikit";

// The member to read is the one `api` names.
struct clap_window {
    const char* api;
    union {
        void* cocoa;
        void* uikit;
        unsigned long x11;  // the X11 window ID
        void* win32;        // the HWND
        void* ptr;
    };
};
using clap_window_t = clap_window;

struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    std::uint32_t aspect_ratio_width;
    std::uint32_t aspect_ratio_height;
};
using clap_gui_resize_hints_t = clap_gui_resize_hints;

// All [main-thread]. Embedded order: is_api_supported, create, set_scale, can_resize,
// get_size (or set_size when resizable), set_parent, show, hide/show..., destroy.
struct clap_plugin_gui {
    bool(CLAP_ABI* is_api_supported)(const clap_plugin* plugin, const char* api, bool is_floating);
    // Points *api at a static string.
    bool(CLAP_ABI* get_preferred_api)(const clap_plugin* plugin, const char** api,
                                      bool* is_floating);
    bool(CLAP_ABI* create)(const clap_plugin* plugin, const char* api, bool is_floating);
    void(CLAP_ABI* destroy)(const clap_plugin* plugin);
    bool(CLAP_ABI* set_scale)(const clap_plugin* plugin, double scale);
    bool(CLAP_ABI* get_size)(const clap_plugin* plugin, std::uint32_t* width,
                             std::uint32_t* height);
    bool(CLAP_ABI* can_resize)(const clap_plugin* plugin);
    bool(CLAP_ABI* get_resize_hints)(const clap_plugin* plugin, clap_gui_resize_hints* hints);
    bool(CLAP_ABI* adjust_size)(const clap_plugin* plugin, std::uint32_t* width,
                                std::uint32_t* height);
    bool(CLAP_ABI* set_size)(const clap_plugin* plugin, std::uint32_t width, std::uint32_t height);
    bool(CLAP_ABI* set_parent)(const clap_plugin* plugin, const clap_window* window);
    bool(CLAP_ABI* set_transient)(const clap_plugin* plugin, const clap_window* window);
    void(CLAP_ABI* suggest_title)(const clap_plugin* plugin, const char* title);
    bool(CLAP_ABI* show)(const clap_plugin* plugin);
    bool(CLAP_ABI* hide)(const clap_plugin* plugin);
};
using clap_plugin_gui_t = clap_plugin_gui;

// All [thread-safe].
struct clap_host_gui {
    void(CLAP_ABI* resize_hints_changed)(const clap_host* host);
    bool(CLAP_ABI* request_resize)(const clap_host* host, std::uint32_t width,
                                   std::uint32_t height);
    bool(CLAP_ABI* request_show)(const clap_host* host);
    bool(CLAP_ABI* request_hide)(const clap_host* host);
    void(CLAP_ABI* closed)(const clap_host* host, bool was_destroyed);
};
using clap_host_gui_t = clap_host_gui;

// Timer support, all [main-thread].
struct clap_plugin_timer_support {
    void(CLAP_ABI* on_timer)(const clap_plugin* plugin, clap_id timer_id);
};
using clap_plugin_timer_support_t = clap_plugin_timer_support;

struct clap_host_timer_support {
    bool(CLAP_ABI* register_timer)(const clap_host* host, std::uint32_t period_ms,
                                   clap_id* timer_id);
    bool(CLAP_ABI* unregister_timer)(const clap_host* host, clap_id timer_id);
};
using clap_host_timer_support_t = clap_host_timer_support;

// POSIX fd support, all [main-thread]; one flag mask both asks and reports; level-triggered.
inline constexpr std::uint32_t CLAP_POSIX_FD_READ = 1;
inline constexpr std::uint32_t CLAP_POSIX_FD_WRITE = 2;
inline constexpr std::uint32_t CLAP_POSIX_FD_ERROR = 4;

struct clap_plugin_posix_fd_support {
    void(CLAP_ABI* on_fd)(const clap_plugin* plugin, int fd, std::uint32_t flags);
};
using clap_plugin_posix_fd_support_t = clap_plugin_posix_fd_support;

struct clap_host_posix_fd_support {
    bool(CLAP_ABI* register_fd)(const clap_host* host, int fd, std::uint32_t flags);
    bool(CLAP_ABI* modify_fd)(const clap_host* host, int fd, std::uint32_t flags);
    bool(CLAP_ABI* unregister_fd)(const clap_host* host, int fd);
};
using clap_host_posix_fd_support_t = clap_host_posix_fd_support;

// Thread check (host side), both [thread-safe].
struct clap_host_thread_check {
    bool(CLAP_ABI* is_main_thread)(const clap_host* host);
    bool(CLAP_ABI* is_audio_thread)(const clap_host* host);
};
using clap_host_thread_check_t = clap_host_thread_check;

// Latency in frames: `get` [main-thread & (being-activated | active)]; the host's `changed`
// [main-thread & being-activated].
struct clap_plugin_latency {
    std::uint32_t(CLAP_ABI* get)(const clap_plugin* plugin);
};
using clap_plugin_latency_t = clap_plugin_latency;

struct clap_host_latency {
    void(CLAP_ABI* changed)(const clap_host* host);
};
using clap_host_latency_t = clap_host_latency;

}  // extern "C"

// ---- Layouts -------------------------------------------------------------------------------

#if INTPTR_MAX == INT64_MAX
#define CLAP_LAYOUT(off64, offW32) (off64)
#elif defined(_WIN32)
#define CLAP_LAYOUT(off64, offW32) (offW32)
#else
#error "The CLAP layouts are pinned for 64-bit targets and 32-bit Windows only"
#endif

static_assert(sizeof(bool) == 1);

static_assert(sizeof(clap_version) == 12 && alignof(clap_version) == 4);
static_assert(offsetof(clap_version, major) == 0);
static_assert(offsetof(clap_version, minor) == 4);
static_assert(offsetof(clap_version, revision) == 8);

static_assert(sizeof(clap_plugin_entry) == CLAP_LAYOUT(40, 24));
static_assert(offsetof(clap_plugin_entry, clap_version) == 0);
static_assert(offsetof(clap_plugin_entry, init) == CLAP_LAYOUT(16, 12));
static_assert(offsetof(clap_plugin_entry, deinit) == CLAP_LAYOUT(24, 16));
static_assert(offsetof(clap_plugin_entry, get_factory) == CLAP_LAYOUT(32, 20));

static_assert(sizeof(clap_plugin_factory) == CLAP_LAYOUT(24, 12));
static_assert(offsetof(clap_plugin_factory, get_plugin_count) == 0);
static_assert(offsetof(clap_plugin_factory, get_plugin_descriptor) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_plugin_factory, create_plugin) == CLAP_LAYOUT(16, 8));

static_assert(sizeof(clap_plugin_descriptor) == CLAP_LAYOUT(88, 48));
static_assert(offsetof(clap_plugin_descriptor, clap_version) == 0);
static_assert(offsetof(clap_plugin_descriptor, id) == CLAP_LAYOUT(16, 12));
static_assert(offsetof(clap_plugin_descriptor, name) == CLAP_LAYOUT(24, 16));
static_assert(offsetof(clap_plugin_descriptor, vendor) == CLAP_LAYOUT(32, 20));
static_assert(offsetof(clap_plugin_descriptor, url) == CLAP_LAYOUT(40, 24));
static_assert(offsetof(clap_plugin_descriptor, manual_url) == CLAP_LAYOUT(48, 28));
static_assert(offsetof(clap_plugin_descriptor, support_url) == CLAP_LAYOUT(56, 32));
static_assert(offsetof(clap_plugin_descriptor, version) == CLAP_LAYOUT(64, 36));
static_assert(offsetof(clap_plugin_descriptor, description) == CLAP_LAYOUT(72, 40));
static_assert(offsetof(clap_plugin_descriptor, features) == CLAP_LAYOUT(80, 44));

static_assert(sizeof(clap_host) == CLAP_LAYOUT(88, 48));
static_assert(offsetof(clap_host, clap_version) == 0);
static_assert(offsetof(clap_host, host_data) == CLAP_LAYOUT(16, 12));
static_assert(offsetof(clap_host, name) == CLAP_LAYOUT(24, 16));
static_assert(offsetof(clap_host, vendor) == CLAP_LAYOUT(32, 20));
static_assert(offsetof(clap_host, url) == CLAP_LAYOUT(40, 24));
static_assert(offsetof(clap_host, version) == CLAP_LAYOUT(48, 28));
static_assert(offsetof(clap_host, get_extension) == CLAP_LAYOUT(56, 32));
static_assert(offsetof(clap_host, request_restart) == CLAP_LAYOUT(64, 36));
static_assert(offsetof(clap_host, request_process) == CLAP_LAYOUT(72, 40));
static_assert(offsetof(clap_host, request_callback) == CLAP_LAYOUT(80, 44));

static_assert(sizeof(clap_plugin) == CLAP_LAYOUT(96, 48));
static_assert(offsetof(clap_plugin, desc) == 0);
static_assert(offsetof(clap_plugin, plugin_data) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_plugin, init) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_plugin, destroy) == CLAP_LAYOUT(24, 12));
static_assert(offsetof(clap_plugin, activate) == CLAP_LAYOUT(32, 16));
static_assert(offsetof(clap_plugin, deactivate) == CLAP_LAYOUT(40, 20));
static_assert(offsetof(clap_plugin, start_processing) == CLAP_LAYOUT(48, 24));
static_assert(offsetof(clap_plugin, stop_processing) == CLAP_LAYOUT(56, 28));
static_assert(offsetof(clap_plugin, reset) == CLAP_LAYOUT(64, 32));
static_assert(offsetof(clap_plugin, process) == CLAP_LAYOUT(72, 36));
static_assert(offsetof(clap_plugin, get_extension) == CLAP_LAYOUT(80, 40));
static_assert(offsetof(clap_plugin, on_main_thread) == CLAP_LAYOUT(88, 44));

static_assert(sizeof(clap_process) == CLAP_LAYOUT(64, 40) && alignof(clap_process) == 8);
static_assert(offsetof(clap_process, steady_time) == 0);
static_assert(offsetof(clap_process, frames_count) == 8);
static_assert(offsetof(clap_process, transport) == CLAP_LAYOUT(16, 12));
static_assert(offsetof(clap_process, audio_inputs) == CLAP_LAYOUT(24, 16));
static_assert(offsetof(clap_process, audio_outputs) == CLAP_LAYOUT(32, 20));
static_assert(offsetof(clap_process, audio_inputs_count) == CLAP_LAYOUT(40, 24));
static_assert(offsetof(clap_process, audio_outputs_count) == CLAP_LAYOUT(44, 28));
static_assert(offsetof(clap_process, in_events) == CLAP_LAYOUT(48, 32));
static_assert(offsetof(clap_process, out_events) == CLAP_LAYOUT(56, 36));

static_assert(sizeof(clap_audio_buffer) == CLAP_LAYOUT(32, 24) && alignof(clap_audio_buffer) == 8);
static_assert(offsetof(clap_audio_buffer, data32) == 0);
static_assert(offsetof(clap_audio_buffer, data64) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_audio_buffer, channel_count) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_audio_buffer, latency) == CLAP_LAYOUT(20, 12));
static_assert(offsetof(clap_audio_buffer, constant_mask) == CLAP_LAYOUT(24, 16));

static_assert(sizeof(clap_event_header) == 16 && alignof(clap_event_header) == 4);
static_assert(offsetof(clap_event_header, size) == 0);
static_assert(offsetof(clap_event_header, time) == 4);
static_assert(offsetof(clap_event_header, space_id) == 8);
static_assert(offsetof(clap_event_header, type) == 10);
static_assert(offsetof(clap_event_header, flags) == 12);

static_assert(sizeof(clap_event_note) == 40 && alignof(clap_event_note) == 8);
static_assert(offsetof(clap_event_note, header) == 0);
static_assert(offsetof(clap_event_note, note_id) == 16);
static_assert(offsetof(clap_event_note, port_index) == 20);
static_assert(offsetof(clap_event_note, channel) == 22);
static_assert(offsetof(clap_event_note, key) == 24);
static_assert(offsetof(clap_event_note, velocity) == 32);

static_assert(sizeof(clap_event_midi) == 24 && alignof(clap_event_midi) == 4);
static_assert(offsetof(clap_event_midi, header) == 0);
static_assert(offsetof(clap_event_midi, port_index) == 16);
static_assert(offsetof(clap_event_midi, data) == 18);

static_assert(sizeof(clap_input_events) == CLAP_LAYOUT(24, 12));
static_assert(offsetof(clap_input_events, ctx) == 0);
static_assert(offsetof(clap_input_events, size) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_input_events, get) == CLAP_LAYOUT(16, 8));

static_assert(sizeof(clap_output_events) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_output_events, ctx) == 0);
static_assert(offsetof(clap_output_events, try_push) == CLAP_LAYOUT(8, 4));

static_assert(sizeof(clap_audio_port_info) == CLAP_LAYOUT(288, 276));
static_assert(offsetof(clap_audio_port_info, id) == 0);
static_assert(offsetof(clap_audio_port_info, name) == 4);
static_assert(offsetof(clap_audio_port_info, flags) == 260);
static_assert(offsetof(clap_audio_port_info, channel_count) == 264);
static_assert(offsetof(clap_audio_port_info, port_type) == CLAP_LAYOUT(272, 268));
static_assert(offsetof(clap_audio_port_info, in_place_pair) == CLAP_LAYOUT(280, 272));

static_assert(sizeof(clap_plugin_audio_ports) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_plugin_audio_ports, count) == 0);
static_assert(offsetof(clap_plugin_audio_ports, get) == CLAP_LAYOUT(8, 4));

static_assert(sizeof(clap_note_port_info) == 268 && alignof(clap_note_port_info) == 4);
static_assert(offsetof(clap_note_port_info, id) == 0);
static_assert(offsetof(clap_note_port_info, supported_dialects) == 4);
static_assert(offsetof(clap_note_port_info, preferred_dialect) == 8);
static_assert(offsetof(clap_note_port_info, name) == 12);

static_assert(sizeof(clap_plugin_note_ports) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_plugin_note_ports, count) == 0);
static_assert(offsetof(clap_plugin_note_ports, get) == CLAP_LAYOUT(8, 4));

static_assert(sizeof(clap_window) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_window, api) == 0);
static_assert(offsetof(clap_window, cocoa) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_window, uikit) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_window, x11) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_window, win32) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_window, ptr) == CLAP_LAYOUT(8, 4));

static_assert(sizeof(clap_gui_resize_hints) == 12);
static_assert(offsetof(clap_gui_resize_hints, can_resize_horizontally) == 0);
static_assert(offsetof(clap_gui_resize_hints, can_resize_vertically) == 1);
static_assert(offsetof(clap_gui_resize_hints, preserve_aspect_ratio) == 2);
static_assert(offsetof(clap_gui_resize_hints, aspect_ratio_width) == 4);
static_assert(offsetof(clap_gui_resize_hints, aspect_ratio_height) == 8);

static_assert(sizeof(clap_plugin_gui) == CLAP_LAYOUT(120, 60));
static_assert(offsetof(clap_plugin_gui, is_api_supported) == 0);
static_assert(offsetof(clap_plugin_gui, get_preferred_api) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_plugin_gui, create) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_plugin_gui, destroy) == CLAP_LAYOUT(24, 12));
static_assert(offsetof(clap_plugin_gui, set_scale) == CLAP_LAYOUT(32, 16));
static_assert(offsetof(clap_plugin_gui, get_size) == CLAP_LAYOUT(40, 20));
static_assert(offsetof(clap_plugin_gui, can_resize) == CLAP_LAYOUT(48, 24));
static_assert(offsetof(clap_plugin_gui, get_resize_hints) == CLAP_LAYOUT(56, 28));
static_assert(offsetof(clap_plugin_gui, adjust_size) == CLAP_LAYOUT(64, 32));
static_assert(offsetof(clap_plugin_gui, set_size) == CLAP_LAYOUT(72, 36));
static_assert(offsetof(clap_plugin_gui, set_parent) == CLAP_LAYOUT(80, 40));
static_assert(offsetof(clap_plugin_gui, set_transient) == CLAP_LAYOUT(88, 44));
static_assert(offsetof(clap_plugin_gui, suggest_title) == CLAP_LAYOUT(96, 48));
static_assert(offsetof(clap_plugin_gui, show) == CLAP_LAYOUT(104, 52));
static_assert(offsetof(clap_plugin_gui, hide) == CLAP_LAYOUT(112, 56));

static_assert(sizeof(clap_host_gui) == CLAP_LAYOUT(40, 20));
static_assert(offsetof(clap_host_gui, resize_hints_changed) == 0);
static_assert(offsetof(clap_host_gui, request_resize) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_host_gui, request_show) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_host_gui, request_hide) == CLAP_LAYOUT(24, 12));
static_assert(offsetof(clap_host_gui, closed) == CLAP_LAYOUT(32, 16));

static_assert(sizeof(clap_plugin_timer_support) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_plugin_timer_support, on_timer) == 0);
static_assert(sizeof(clap_host_timer_support) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_host_timer_support, register_timer) == 0);
static_assert(offsetof(clap_host_timer_support, unregister_timer) == CLAP_LAYOUT(8, 4));

static_assert(sizeof(clap_plugin_posix_fd_support) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_plugin_posix_fd_support, on_fd) == 0);
static_assert(sizeof(clap_host_posix_fd_support) == CLAP_LAYOUT(24, 12));
static_assert(offsetof(clap_host_posix_fd_support, register_fd) == 0);
static_assert(offsetof(clap_host_posix_fd_support, modify_fd) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_host_posix_fd_support, unregister_fd) == CLAP_LAYOUT(16, 8));

static_assert(sizeof(clap_host_thread_check) == CLAP_LAYOUT(16, 8));
static_assert(offsetof(clap_host_thread_check, is_main_thread) == 0);
static_assert(offsetof(clap_host_thread_check, is_audio_thread) == CLAP_LAYOUT(8, 4));

static_assert(sizeof(clap_plugin_latency) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_plugin_latency, get) == 0);
static_assert(sizeof(clap_host_latency) == CLAP_LAYOUT(8, 4));
static_assert(offsetof(clap_host_latency, changed) == 0);

#undef CLAP_LAYOUT
