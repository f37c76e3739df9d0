// `watch`: shows the plug-in's editor live in a real X11 window, as a Linux host does, while
// playing audio (a file or the built-in demo, over and over) through it in real time. Stops
// when the window is closed, on Ctrl-C, or after --seconds. The window and its connection
// come from this program's own copy of the platform library: a plain X11 window, which any
// Linux plug-in's editor takes as its parent. The plug-in's blocks play on its audio thread
// (HostedPlugin: a thread of its own where its format has one), in turn with the main thread,
// which serves the plug-in (its idle, timers and file descriptors) between them. Main thread.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "common/commands.h"
#include "common/host_error.h"
#include "common/options.h"
#include "common/stop_signals.h"
#include "formats/formats.h"
#include "platform/cqscope_platform.h"
#include "play/audio_source.h"
#include "play/play_loop.h"

namespace cqhost {
namespace {

constexpr auto kIdlePeriod = std::chrono::milliseconds(15);  // about 60 idle calls a second

// Makes a top-level X11 window, titled with the plug-in's path, from this program's own window
// library, not yet shown (showWatchWindow maps it at the editor's size); its X11 window ID.
// Throws HostError without a display.
unsigned long openWatchWindow(const std::string& pluginPath) {
    const unsigned long window = cqpCreateX11HostWindow(("cqscope-host: " + pluginPath).c_str());
    if (window == 0) {
        throw HostError("cannot open a window on the X display (is DISPLAY set and reachable?)");
    }
    return window;
}

void showWatchWindow(unsigned long window, const EditorSize& size) {
    if (!cqpShowX11HostWindow(window, size.width, size.height)) {
        throw HostError("cannot show a window on the X display");
    }
}

void closeWatchWindow(unsigned long window) {
    cqpCloseX11HostWindow(window);
}

// The demo's note-ons, all at the first frame, so that its chord shows as held notes the
// whole time it loops.
std::vector<TimedMidiMessage> demoNoteOns(const std::vector<TimedMidiMessage>& midi) {
    std::vector<TimedMidiMessage> noteOns;
    for (const auto& message : midi) {
        if ((message.bytes[0] & 0xF0) == 0x90 && message.bytes[2] != 0) {
            noteOns.push_back({0, message.bytes});
        }
    }
    return noteOns;
}

// Plays the audio in real time, calling `play` for each block as it falls due and `idle` (the
// plug-in's user-interface turn) about 60 times a second, until the window is closed, Ctrl-C
// or the options' time is up.
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

// The screen's scale as a desktop host tells its plug-ins: the X server's Xft.dpi, as the
// window's connection read it, over the 96 dpi of 100 % (1.0 without the resource).
double screenScale(unsigned long window) {
    const int dpi = cqpX11HostWindowDpi(window);
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

}  // namespace

int runWatch(const WatchOptions& options) {
    AudioSource audio(options.audio, AudioSource::Repeat::Loop);
    const std::unique_ptr<HostedPlugin> plugin = openPlugin(options.plugin);
    plugin->requireEditor("watch");
    plugin->start(audio.sampleRate(), kBlockSize);
    // The demo's chord held from the first block on.
    PlayLoop loop(plugin->processor(), audio, demoNoteOns(audio.midi()));
    // The window's connection is opened first and kept: the screen's resolution is read on it
    // (and a VST 2.x editor's own look at the X server finds it open), so that a server with
    // no other client does not reset before the window is shown.
    const unsigned long window = openWatchWindow(plugin->path());
    // The editor goes before the window it is in, also on an error.
    const auto close = [&] {
        plugin->endAudio();
        plugin->closeEditor();
        closeWatchWindow(window);
    };
    try {
        showWatchWindow(window, plugin->createEditor(WindowApi::X11, screenScale(window)));
        plugin->openEditor({WindowApi::X11, window});
        plugin->beginAudio(AudioThread::Own);
        watchLive(
            options, audio.sampleRate(), window,
            [&](long long position, int count) {
                int played = 0;
                plugin->onAudioThread([&] { played = loop.play(position, count); });
                return played;
            },
            [&plugin] { plugin->idle(); });
    } catch (...) {
        close();
        throw;
    }
    close();
    plugin->stop();
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
