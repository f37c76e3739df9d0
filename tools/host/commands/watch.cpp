// `watch`: shows the plug-in's editor live in a real X11 window, as a Linux host does, while
// playing audio (a file or the built-in demo, over and over) through it in real time. Stops
// when the window is closed, on Ctrl-C, or after --seconds. The window and its connection
// come from this program's own copy of the platform library: a plain X11 window, which any
// Linux plug-in's editor takes as its parent. A VST 2.x effect plays on the main thread, which
// is at once the host's user-interface thread and its audio thread; a CLAP plug-in
// (watch_clap.cpp) on an audio thread of its own.

#include "commands/watch.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "commands/commands.h"
#include "commands/options.h"
#include "common/host_error.h"
#include "common/stop_signals.h"
#include "formats/clap/clap_host.h"
#include "formats/vst2/plugin_host.h"
#include "platform/cqscope_platform.h"
#include "play/audio_source.h"
#include "play/play_loop.h"

namespace cqhost {
namespace {

constexpr auto kIdlePeriod = std::chrono::milliseconds(15);  // about 60 idle calls a second

}  // namespace

unsigned long openWatchWindow(const EditorSize& size, const std::string& pluginPath) {
    const unsigned long window =
        cqpOpenX11HostWindow(size.width, size.height, ("cqscope-host: " + pluginPath).c_str());
    if (window == 0) {
        throw HostError("cannot open a window on the X display (is DISPLAY set and reachable?)");
    }
    return window;
}

void closeWatchWindow(unsigned long window) {
    cqpCloseX11HostWindow(window);
}

std::vector<TimedMidiMessage> demoNoteOns(const std::vector<TimedMidiMessage>& midi) {
    std::vector<TimedMidiMessage> noteOns;
    for (const auto& message : midi) {
        if ((message.bytes[0] & 0xF0) == 0x90 && message.bytes[2] != 0) {
            noteOns.push_back({0, message.bytes});
        }
    }
    return noteOns;
}

void watchLive(const WatchOptions& options, double sampleRate, unsigned long window,
               const std::function<int(long long position, int count)>& play,
               const std::function<void()>& idle) {
    StopOnSignals signals;
    std::fprintf(stderr, "cqscope-host: watching %s; close the window or press Ctrl-C to stop\n",
                 options.audio ? options.audio->c_str() : "the demo chord");
    const auto start = std::chrono::steady_clock::now();
    long long played = 0;
    while (!signals.stopRequested()) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (options.seconds && elapsed >= *options.seconds) return;
        // The audio that is due by now, block by block; after a stall (more than a second
        // behind) the lost time is skipped rather than played at once.
        const auto due = static_cast<long long>(elapsed * sampleRate);
        if (due - played > static_cast<long long>(sampleRate)) played = due - kBlockSize;
        while (played + kBlockSize <= due) played += play(played, kBlockSize);
        idle();
        if (!cqpServiceX11HostWindow(window)) {
            std::fprintf(stderr, "cqscope-host: window closed\n");
            return;
        }
        std::this_thread::sleep_for(kIdlePeriod);
    }
}

int runWatch(const WatchOptions& options) {
    if (isClapPlugin(options.plugin)) return runClapWatch(options);
    AudioSource audio(options.audio, AudioSource::Repeat::Loop);
    PluginHost host(options.plugin);
    AEffect& effect = host.effect();
    if ((effect.flags & effFlagsHasEditor) == 0) throw HostError("the plug-in has no editor");
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    const int width = rect ? rect->right - rect->left : 0;
    const int height = rect ? rect->bottom - rect->top : 0;
    if (width <= 0 || height <= 0) throw HostError("the plug-in's editor reports no size");

    const unsigned long window = openWatchWindow({width, height}, host.path());
    host.start(audio.sampleRate(), kBlockSize);
    host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)));
    // The demo's chord held from the first block on.
    PlayLoop loop(host, audio, demoNoteOns(audio.midi()));
    watchLive(
        options, audio.sampleRate(), window,
        [&loop](long long position, int count) { return loop.play(position, count); },
        [&host] { host.dispatch(effEditIdle); });
    host.dispatch(effEditClose);
    host.stop();
    closeWatchWindow(window);
    return 0;
}

namespace {

class WatchCommand : public Command {
  public:
    WatchCommand()
        : Command("watch", "[AUDIO]", "the editor live in an X11 window while AUDIO plays",
                  "Shows the editor live in an X11 window (DISPLAY) while playing AUDIO (or the\n"
                  "demo chord) through the plug-in in real time, over and over, until the window\n"
                  "is closed, Ctrl-C, or --seconds have passed.\n") {
        options_.plugin = defaultPluginPath();
        path("--plugin", "PATH", "the plug-in (default: cqscope.so beside this program)",
             [this](const std::string& path) { options_.plugin = path; });
        value("--seconds", "S", "stops after S seconds", [this](const std::string& text) {
            options_.seconds = parsePositiveSeconds("--seconds", text, "a time above 0");
        });
    }

  private:
    int run(const std::vector<std::string>& operands) override {
        if (operands.size() > 1) throw UsageError("watch takes at most one audio file");
        if (!operands.empty()) options_.audio = operands[0];
        return runWatch(options_);
    }

    WatchOptions options_;
};

}  // namespace

std::unique_ptr<Command> makeWatchCommand() {
    return std::make_unique<WatchCommand>();
}

}  // namespace cqhost
