// `watch`: shows the plug-in's editor live in a real X11 window, as a Linux host does, while
// playing audio (a file or the built-in demo, over and over) through it in real time. Stops
// when the window is closed, on Ctrl-C, or after --seconds. The window and its connection
// come from this program's own copy of the platform library: a plain X11 window, which any
// Linux plug-in's editor takes as its parent. Main thread only: it is at once the host's user
// interface thread and its audio thread.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "audio_source.h"
#include "commands.h"
#include "demo_signal.h"
#include "event_list.h"
#include "host_error.h"
#include "options.h"
#include "platform/cqscope_platform.h"
#include "play_loop.h"
#include "plugin_host.h"
#include "stop_signals.h"

namespace cqhost {
namespace {

constexpr auto kIdlePeriod = std::chrono::milliseconds(15);  // about 60 idle calls a second

// The demo's note-ons, so that its chord shows as held notes the whole time.
void holdDemoNotes(PluginHost& host, const std::vector<TimedMidiMessage>& midi) {
    EventList notes;
    for (const auto& message : midi) {
        if ((message.bytes[0] & 0xF0) != 0x90 || message.bytes[2] == 0) continue;
        notes.addMidi(message.bytes[0], message.bytes[1], message.bytes[2], 0);
    }
    if (!notes.empty()) host.dispatch(effProcessEvents, 0, 0, notes.build());
}

}  // namespace

int runWatch(const WatchOptions& options) {
    AudioSource audio(options.audio, AudioSource::Repeat::Loop);
    PluginHost host(options.plugin);
    AEffect& effect = host.effect();
    if ((effect.flags & effFlagsHasEditor) == 0) throw HostError("the plug-in has no editor");
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    const int width = rect ? rect->right - rect->left : 0;
    const int height = rect ? rect->bottom - rect->top : 0;
    if (width <= 0 || height <= 0) throw HostError("the plug-in's editor reports no size");

    const unsigned long window =
        cqpOpenX11HostWindow(width, height, ("cqscope-host: " + host.path()).c_str());
    if (window == 0) {
        throw HostError("cannot open a window on the X display (is DISPLAY set and reachable?)");
    }
    host.start(audio.sampleRate(), kBlockSize);
    host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)));
    holdDemoNotes(host, audio.midi());

    StopOnSignals signals;

    PlayLoop loop(host, audio);

    std::fprintf(stderr, "cqscope-host: watching %s; close the window or press Ctrl-C to stop\n",
                 options.audio ? options.audio->c_str() : "the demo chord");
    const auto start = std::chrono::steady_clock::now();
    long long played = 0;
    bool closedByUser = false;
    while (!signals.stopRequested()) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (options.seconds && elapsed >= *options.seconds) break;
        // The audio that is due by now, block by block; after a stall (more than a second
        // behind) the lost time is skipped rather than played at once.
        const auto due = static_cast<long long>(elapsed * audio.sampleRate());
        if (due - played > static_cast<long long>(audio.sampleRate())) played = due - kBlockSize;
        while (played + kBlockSize <= due) played += loop.play(played, kBlockSize);
        host.dispatch(effEditIdle);
        if (!cqpServiceX11HostWindow(window)) {
            closedByUser = true;
            break;
        }
        std::this_thread::sleep_for(kIdlePeriod);
    }

    host.dispatch(effEditClose);
    host.stop();
    cqpCloseX11HostWindow(window);
    if (closedByUser) std::fprintf(stderr, "cqscope-host: window closed\n");
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
        value("--plugin", "PATH", "the plug-in (default: cqscope.so beside this program)",
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
