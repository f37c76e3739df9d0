// cqscope-host as a CLAP host: loads a .clap file, creates its plug-ins with a host record of
// its own and drives them through the interface's life cycle.
//
// ClapLibrary owns the loaded file: its constructor loads it, finds `clap_entry`, checks the
// version, calls `init` with the path and finds the plug-in factory; its destructor calls
// `deinit` (only after an `init` that succeeded) and unloads the file. Loading, unloading and
// polling file descriptors are the system's own (clap_host_posix.cpp here); the life cycle is
// clap_host.cpp, and the host record's answers clap_host_services.cpp. On Windows the system's
// part is clap_host_win.cpp: LoadLibrary, and no descriptors.
//
// ClapPlugin is one instance and the host it talks to. Its constructor runs `create_plugin` and
// `init`; its destructor stops processing, deactivates and destroys, in that order, so that an
// instance is always taken down by the rules whatever state an error left it in.
//
// Threads: the thread that constructs a ClapPlugin is its main thread for its whole life; every
// call marked "main thread" below must come from it (a call from elsewhere throws
// std::logic_error, a fault of this program). The calls marked "audio thread" may come from any
// one thread at a time, the main thread included, never two at once: that is the caller's
// promise. The host record's thread check answers accordingly, and the host's own functions
// note every call the plug-in makes on the wrong thread or at the wrong time (ruleBreaks()).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "clap/clap_interface.h"

namespace cqhost {

// Whether a file is a CLAP plug-in: its name ends in ".clap", or it is a loadable library that
// exports `clap_entry` and no VST 2.x entry. Never throws; a file that cannot be loaded is not
// one (the VST 2.x loader then says why).
bool isClapPlugin(const std::string& path);

struct ClapDescriptorInfo {
    clap_version version{};
    std::string id, name, vendor, url, manualUrl, supportUrl, pluginVersion, description;
    std::vector<std::string> features;
};

class ClapLibrary {
  public:
    // Called with the system's library handle once the file is loaded, before its entry
    // runs (to set up what the plug-in finds from its first instruction, such as a manual
    // clock). It must not throw.
    using BeforeEntry = std::function<void(void* library)>;

    // Main thread. Throws HostError with a one-line reason when the file is missing or not a
    // loadable library, exports no `clap_entry`, declares a version before 1.0, its `init`
    // fails, or it offers no plug-in factory.
    explicit ClapLibrary(const std::string& path, const BeforeEntry& beforeEntry = {});
    ~ClapLibrary();
    ClapLibrary(const ClapLibrary&) = delete;
    ClapLibrary& operator=(const ClapLibrary&) = delete;

    const std::string& path() const { return path_; }
    clap_version version() const { return entry_->clap_version; }
    const clap_plugin_factory& factory() const { return *factory_; }
    // Every descriptor the factory lists, in its order; throws HostError for a null one.
    std::vector<ClapDescriptorInfo> descriptors() const;

  private:
    // What loading needs of the system: a symbol of a loaded library, and unloading it.
    struct LibraryCalls {
        void* (*symbol)(void* library, const char* name);
        void (*unload)(void* library);
    };
    // Checks the entry and its factory, for both systems alike; unloads the library and
    // throws HostError on failure, and keeps it otherwise.
    void startFrom(void* library, const LibraryCalls& calls, const BeforeEntry& beforeEntry);

    std::string path_;
    void* library_ = nullptr;
    void (*unload_)(void* library) = nullptr;
    const clap_plugin_entry* entry_ = nullptr;
    const clap_plugin_factory* factory_ = nullptr;
};

// Events for one block, kept as the interface's records in one byte store in time order (stable
// for equal times), handed to a plug-in through a clap_input_events list. Filled on any thread
// before the block; read by the plug-in on the audio thread.
class ClapEventList {
  public:
    ClapEventList();
    // The list record points at this object.
    ClapEventList(const ClapEventList&) = delete;
    ClapEventList& operator=(const ClapEventList&) = delete;
    void clear() {
        bytes_.clear();
        offsets_.clear();
    }
    // A CLAP note event (CLAP_EVENT_NOTE_ON/OFF/CHOKE) at `frame` of the block.
    void addNote(std::uint16_t type, std::uint32_t frame, std::int16_t key, std::int16_t channel,
                 double velocity, std::int32_t noteId = -1, std::int16_t port = 0);
    // A raw MIDI 1 message at `frame` of the block.
    void addMidi(std::uint32_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                 std::uint16_t port = 0);
    std::uint32_t size() const { return static_cast<std::uint32_t>(offsets_.size()); }
    const clap_event_header* at(std::uint32_t index) const;
    const clap_input_events* list() const { return &list_; }

  private:
    void add(const void* event, std::uint32_t size);

    // 8-byte units, so that every event (each a multiple of 8 bytes here) starts aligned.
    std::vector<std::uint64_t> bytes_;
    std::vector<std::uint32_t> offsets_;  // in units of bytes_, sorted by the event's time
    clap_input_events list_{};
};

struct ClapAudioPortInfo {
    clap_id id = CLAP_INVALID_ID;
    std::string name;
    std::uint32_t flags = 0, channelCount = 0;
    std::string portType;
    clap_id inPlacePair = CLAP_INVALID_ID;
};

struct ClapNotePortInfo {
    clap_id id = CLAP_INVALID_ID;
    std::string name;
    std::uint32_t supportedDialects = 0, preferredDialect = 0;
};

struct ClapGuiInfo {
    std::vector<std::string> embeddedApis;  // of "x11", "win32", "wayland", "cocoa"
    std::vector<std::string> floatingApis;
    bool hasSize = false;  // size as read after `create` with the first embedded API
    std::uint32_t width = 0, height = 0;
    bool canResize = false;
};

class ClapPlugin {
  public:
    // Main thread. Creates the plug-in `pluginId` of the library and initialises it. Throws
    // HostError when the factory makes none or its `init` fails (it is destroyed then).
    // Without `offerTimers` the host answers no to timer support, as some hosts do.
    ClapPlugin(ClapLibrary& library, const std::string& pluginId, bool offerTimers = true);
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const clap_plugin& plugin() const { return *plugin_; }
    // [thread-safe] The plug-in's own extension record, or null.
    const void* extension(const char* id) const;

    // Main thread, inactive. Empty when the plug-in lacks the extension.
    std::vector<ClapAudioPortInfo> audioPorts(bool input) const;
    std::vector<ClapNotePortInfo> notePorts(bool input) const;
    // Main thread, inactive. Empty when the plug-in has no GUI extension; creates and destroys
    // the GUI once to read its size.
    std::optional<ClapGuiInfo> gui() const;
    // Main thread, active. Empty when the plug-in lacks the latency extension.
    std::optional<std::uint32_t> latency() const;

    // Main thread. Throws HostError when the plug-in refuses; `activate` requires inactive.
    void activate(double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames);
    void deactivate();
    bool active() const { return active_; }
    double sampleRate() const { return sampleRate_; }
    std::uint32_t maxFrames() const { return maxFrames_; }
    // Whether the main input and output ports (index 0) name each other as in-place pair, so
    // that a block may run on one set of buffers; read at `activate`, while ports are fixed.
    bool mainPortsInPlace() const { return mainPortsInPlace_; }
    // Channels of the main input and output ports (0 without one), read at `activate`.
    std::uint32_t mainInputChannels() const { return mainInputChannels_; }
    std::uint32_t mainOutputChannels() const { return mainOutputChannels_; }

    // Audio thread, active. `startProcessing` throws HostError when the plug-in refuses.
    void startProcessing();
    void stopProcessing();
    // Audio thread, processing. One block of `frames` frames (at most maxFrames) on the main
    // input and output ports: `inputs` and `outputs` hold one pointer per channel and may be
    // the same buffers when the ports are an in-place pair. Returns the plug-in's status.
    std::int32_t process(float* const* inputs, std::uint32_t inputChannels, float* const* outputs,
                         std::uint32_t outputChannels, std::uint32_t frames,
                         const ClapEventList& events);

    // Main thread: runs what the plug-in asked of the main thread (an `on_main_thread` call
    // it requested; due timers; file descriptors ready for what it registered them for).
    void serviceMainThread();
    // Main thread. From the first call on, the plug-in's timers follow a clock the caller
    // moves (render's, which follows the audio) instead of the system's: `ms` is its reading,
    // never decreasing. Timers already registered start their period afresh at the
    // first call.
    void setManualClock(long long ms);
    // Main thread: calls `on_timer` once for every registered timer, due or not (only a due
    // one's next due time moves on): for input the host gave the plug-in's window itself
    // (render's click), where no descriptor of the window's tells the host's loop of it.
    void runTimersNow();
    // Main thread. Milliseconds until the plug-in's next timer is due (0: due now), on
    // whichever clock the timers follow; -1 when it has none.
    long long nextTimerWait() const;

    // Host extensions the plug-in asked for, in first-asked order, and each rule it broke when
    // calling the host (wrong thread, or at a time the interface does not allow).
    std::vector<std::string> extensionsAsked() const;
    std::vector<std::string> ruleBreaks() const;

  private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Timer {
        clap_id id;
        std::uint32_t periodMs;
        TimePoint due;
    };
    struct Descriptor {
        int fd;
        std::uint32_t flags;
    };

    static ClapPlugin& of(const clap_host* host);
    static const void* CLAP_ABI getExtension(const clap_host* host, const char* id);
    static void CLAP_ABI requestRestart(const clap_host* host);
    static void CLAP_ABI requestProcess(const clap_host* host);
    static void CLAP_ABI requestCallback(const clap_host* host);
    static bool CLAP_ABI isMainThread(const clap_host* host);
    static bool CLAP_ABI isAudioThread(const clap_host* host);
    static bool CLAP_ABI registerTimer(const clap_host* host, std::uint32_t periodMs,
                                       clap_id* timerId);
    static bool CLAP_ABI unregisterTimer(const clap_host* host, clap_id timerId);
    static bool CLAP_ABI registerFd(const clap_host* host, int fd, std::uint32_t flags);
    static bool CLAP_ABI modifyFd(const clap_host* host, int fd, std::uint32_t flags);
    static bool CLAP_ABI unregisterFd(const clap_host* host, int fd);
    static void CLAP_ABI latencyChanged(const clap_host* host);

    // The instance whose audio-thread call the current thread is inside, if any.
    static thread_local const ClapPlugin* audioCallOf_;
    // Marks the current thread as the instance's audio thread for one call (clap_host.cpp).
    class AudioCall;

    // Kinds of broken rule this host notices, each counted lock-free since the plug-in may
    // break one on its audio thread.
    enum RuleBreak {
        kMainThreadCallOffMainThread,  // a [main-thread] host function called elsewhere
        kLatencyChangedOutsideActivate,
        kUnknownTimer,
        kUnknownFd,
        kRuleBreakKinds
    };

    void requireMainThread(const char* call) const;
    // Ports and the GUI are scanned only while inactive.
    void requireInactive(const char* call) const;
    // Notes a broken rule unless the calling thread is the main thread; returns whether it is.
    bool onMainThread();
    void noteRuleBreak(RuleBreak kind) { ruleBreaks_[kind].fetch_add(1); }
    // What the timers' clock reads now: the system's, or the caller's (setManualClock).
    TimePoint now() const;
    // Calls `on_timer` for the registered timers, only those due when `dueOnly`; a due
    // timer's next due time moves on.
    void fireTimers(bool dueOnly);
    // Main thread: calls `on_fd` for each registered descriptor that is ready (the system's
    // own polling, in clap_host_posix.cpp).
    void serviceDescriptors();
    // Whether this system has file descriptors to poll, so that the host offers posix-fd
    // support (false on Windows, whose plug-ins' windows live on the host's message loop).
    static const bool kPollsDescriptors;

    std::string path_;
    clap_host host_{};
    const clap_plugin* plugin_ = nullptr;
    std::thread::id mainThread_;
    bool offerTimers_ = true;
    bool active_ = false;
    bool processing_ = false;
    bool activating_ = false;
    double sampleRate_ = 0.0;
    std::uint32_t maxFrames_ = 0;
    bool mainPortsInPlace_ = false;
    std::uint32_t mainInputChannels_ = 0, mainOutputChannels_ = 0;
    std::int64_t steadyTime_ = 0;

    std::atomic<bool> callbackRequested_{false};
    std::atomic<bool> restartRequested_{false};
    std::atomic<bool> processRequested_{false};
    // Main thread only (the timer and fd calls are [main-thread]; others are noted, refused).
    std::vector<Timer> timers_;
    clap_id nextTimerId_ = 1;
    std::optional<long long> manualClockMs_;
    std::vector<Descriptor> descriptors_;

    // For each host extension ID this host knows (the last entry: any other ID), when the
    // plug-in first asked for it: 0 never, else 1 for the first ID asked, 2 for the second ...
    static constexpr std::size_t kKnownExtensions = 10;
    std::array<std::atomic<int>, kKnownExtensions + 1> extensionAskedOrder_{};
    std::atomic<int> extensionsAskedCount_{0};
    std::array<std::atomic<int>, kRuleBreakKinds> ruleBreaks_{};
};

}  // namespace cqhost
