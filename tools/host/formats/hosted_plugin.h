// One plug-in as cqscope-host drives it, whatever its format: the one interface every command
// (probe, process, render, watch, the Windows host's process and capture) is written against.
// Each format implements it in its own folder (formats/vst2, formats/clap); which format a
// file holds is decided once, from the file, by the registry (formats.h).
//
// The life of a hosted plug-in: opened from its module file (the format's `open`), started at
// a rate and a largest block, its blocks played through the play loop (play/play_loop.h) on the
// plug-in's audio thread, its editor opened in a parent window and served by the host's loop
// (idle, timers, the clock), then closed in the reverse order by the destructor.
//
// Threads: every call is made on the thread that opened the plug-in, the host's main
// (user-interface) thread, except the BlockProcessor's calls and the jobs handed to
// onAudioThread, which run on the plug-in's audio thread: for a VST 2.x effect that is the
// main thread itself, for a CLAP plug-in a thread of its own (or, where the caller asks, the
// main thread: AudioThread::Caller).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "play/play_loop.h"

namespace cqhost {

struct EditorSize {
    int width = 0, height = 0;  // in pixels
};

// The window system a parent window belongs to.
enum class WindowApi { X11, Win32 };

// The parent an editor is opened in: an X11 window ID, a window of the plug-in's own window
// library (which takes its handle where an X11 window ID goes), or a Win32 HWND.
struct EditorParent {
    WindowApi api = WindowApi::X11;
    std::uintptr_t handle = 0;
};

// How a command wants its plug-in loaded.
struct PluginLoad {
    // Called with the system's handle of the module once it is loaded, before its entry runs:
    // to set up what the plug-in finds from its first instruction, such as a manual clock of
    // its window system (render). It must not throw.
    std::function<void(void* library)> beforeEntry;
    // The timers the host keeps for the plug-in follow a clock the caller moves
    // (setHostClock), at 0 from the start, rather than the system's.
    bool manualClock = false;
    // Whether the host offers the plug-in timer support, where its format lets a host choose.
    bool offerTimers = true;
};

// Where a plug-in's blocks run while its editor is open.
enum class AudioThread {
    Own,     // a thread of the plug-in's own where its format allows one
    Caller,  // the main thread itself
};

class HostedPlugin {
  public:
    virtual ~HostedPlugin() = default;

    // The module file it came from.
    virtual const std::string& path() const = 0;

    // --- Audio (main thread)

    // Prepares the plug-in for audio at `sampleRate` Hz in blocks of at most `maxBlock` frames.
    // Throws HostError when the plug-in cannot process or refuses.
    virtual void start(double sampleRate, int maxBlock) = 0;
    // The reverse of start; safe to call when not started.
    virtual void stop() = 0;
    // The plug-in as the play loop drives it. Requires: started.
    virtual BlockProcessor& processor() = 0;
    // Waits for cqscope's analysis kernels (built beside the switch-on) through the format's
    // own call; any other plug-in has nothing to wait for. Throws HostError on timeout.
    virtual void waitForAnalysis() = 0;
    // Plays blocks until `playBlock` returns 0 (the frames it played otherwise), on the
    // plug-in's audio thread, while this thread serves the plug-in and reports the frames done
    // to `progress` (which may be empty). Rethrows here what `playBlock` threw.
    virtual void playThrough(const std::function<int()>& playBlock,
                             const std::function<void(long long done)>& progress) = 0;
    // Begins processing block by block with this thread running between blocks (render,
    // watch, capture); onAudioThread then runs each job on the audio thread and waits for it;
    // endAudio ends processing (also safe when not begun).
    virtual void beginAudio(AudioThread where) = 0;
    virtual void onAudioThread(const std::function<void()>& job) = 0;
    virtual void endAudio() = 0;

    // --- Editor (main thread)

    // Throws HostError when the plug-in has no editor a host could show for `task` ("render",
    // "capture", "watch") or cannot process audio beside it.
    virtual void requireEditor(const std::string& task) = 0;
    // Makes the editor for a parent of `api` (where the format makes it before its parent)
    // and returns its size. Throws HostError when it has none or reports no size.
    virtual EditorSize createEditor(WindowApi api) = 0;
    // Opens the editor in `parent`, of the size createEditor returned. Throws HostError when
    // the plug-in refuses it.
    virtual void openEditor(EditorParent parent) = 0;
    // Closes the editor and lets go of what createEditor made; safe to call when not open.
    virtual void closeEditor() = 0;
    // The host's user-interface turn: what the plug-in asked of the main thread, its editor's
    // idle call and its timers due.
    virtual void idle() = 0;
    // Milliseconds until a timer the host keeps for the plug-in is next due; 0 or less when
    // none is due later (the plug-in's own window timers are its window system's to tell).
    virtual long long nextHostTimerWait() const = 0;
    // Moves the clock the host's timers for the plug-in follow to `ms` (render's clock, never
    // decreasing).
    virtual void setHostClock(long long ms) = 0;
    // Lets the editor handle at once input the host gave its window directly (render's click).
    virtual void handleWindowInput() = 0;
    // Whether the host's loop serves the parent window's own messages beside idle, as a
    // VST 2.x host's does. Where the plug-in's window system runs from the plug-in's own calls
    // (CLAP) it does not: a pump of the parent would take its children's messages too.
    virtual bool hostServesParent() const = 0;
    // How the editor was refreshed, where the format lets a host choose ("" otherwise): the
    // Windows capture prints it beside the picture it wrote.
    virtual std::string refreshNote() const { return ""; }
};

// A plug-in whose audio thread is the host's main thread (the VST 2.x and VST 3 hosts): the
// blocks play on the calling thread, one after the other, and each job runs where it is handed
// over.
class MainThreadAudioPlugin : public HostedPlugin {
  public:
    void playThrough(const std::function<int()>& playBlock,
                     const std::function<void(long long done)>& progress) override {
        long long done = 0;
        while (const int count = playBlock()) {
            done += count;
            if (progress) progress(done);
        }
    }
    void beginAudio(AudioThread) override {}
    void onAudioThread(const std::function<void()>& job) override { job(); }
    void endAudio() override {}
};

// A plug-in format as cqscope-host knows it: each format's folder gives one, and the registry
// (formats.h) asks them in turn.
struct PluginFormat {
    // The format's name, as messages give it ("VST 2.x", "CLAP").
    const char* name;
    // Whether the file at `path` is of this format. Never throws; a file that cannot be read
    // is not (the last format, which takes any file, then says why it cannot be loaded).
    bool (*holds)(const std::string& path);
    // Loads the module and makes its (first) plug-in, not yet started. Throws HostError with a
    // one-line reason.
    std::unique_ptr<HostedPlugin> (*open)(const std::string& path, const PluginLoad& load);
    // What a host learns about every plug-in of the module: `probe`'s text, or its JSON.
    // Throws HostError as `open` does.
    std::string (*probe)(const std::string& path, bool json);
};

}  // namespace cqhost
