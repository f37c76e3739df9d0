// `watch` of a CLAP plug-in: its GUI embedded as "x11" in a top-level X11 window, refreshed by
// the host's timers and handling clicks through its X connection, which the host's loop polls
// when the plug-in registers it; its blocks played on an audio thread of its own, in turn with
// the main thread, which serves the plug-in between them. Main thread.
#include <memory>

#include "commands/watch.h"
#include "common/host_error.h"
#include "formats/clap/clap_gui_session.h"
#include "formats/clap/clap_host.h"
#include "formats/clap/clap_stream.h"
#include "play/audio_source.h"
#include "play/play_loop.h"

namespace cqhost {

int runClapWatch(const WatchOptions& options) {
    AudioSource audio(options.audio, AudioSource::Repeat::Loop);
    ClapLibrary library(options.plugin);
    const auto descriptors = library.descriptors();
    if (descriptors.empty()) throw HostError("plug-in " + options.plugin + " offers no plug-ins");
    ClapPlugin plugin(library, descriptors.front().id);
    plugin.activate(audio.sampleRate(), 1, kBlockSize);
    ClapBlockProcessor processor(plugin);
    // The demo's chord held from the first block on.
    PlayLoop loop(processor, audio, demoNoteOns(audio.midi()));
    auto gui = std::make_unique<ClapGuiSession>(plugin, options.plugin);
    const unsigned long window = openWatchWindow(gui->size(), library.path());
    // The GUI goes before the window it is embedded in, also on an error.
    try {
        gui->embed(window);
        ClapAudioThread audioThread(plugin);
        watchLive(
            options, audio.sampleRate(), window,
            [&](long long position, int count) {
                int played = 0;
                audioThread.run([&] { played = loop.play(position, count); });
                return played;
            },
            [&plugin] { plugin.serviceMainThread(); });
    } catch (...) {
        gui.reset();
        closeWatchWindow(window);
        throw;
    }
    gui.reset();
    closeWatchWindow(window);
    return 0;
}

}  // namespace cqhost
