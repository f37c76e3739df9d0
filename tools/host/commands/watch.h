// What `watch` shows a VST 2.x effect (watch.cpp) and a CLAP plug-in (watch_clap.cpp) with
// alike: the top-level X11 window the editor goes into, and the real-time loop. Main thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "files/midi_file.h"
#include "formats/vst2/plugin_editor.h"

namespace cqhost {

// Opens a top-level X11 window of the editor's size, titled with the plug-in's path, from this
// program's own window library; its X11 window ID. Throws HostError without a display.
unsigned long openWatchWindow(const EditorSize& size, const std::string& pluginPath);
void closeWatchWindow(unsigned long window);

// The demo's note-ons, all at the first frame, so that its chord shows as held notes the
// whole time it loops.
std::vector<TimedMidiMessage> demoNoteOns(const std::vector<TimedMidiMessage>& midi);

// Plays the audio in real time, calling `play` for each block as it falls due and `idle` (the
// plug-in's user-interface turn) about 60 times a second, until the window is closed, Ctrl-C
// or the options' time is up.
void watchLive(const WatchOptions& options, double sampleRate, unsigned long window,
               const std::function<int(long long position, int count)>& play,
               const std::function<void()>& idle);

// `watch` of a CLAP plug-in: its GUI embedded as "x11" in the window, its timers and its X
// connection served by the host's loop, its blocks on an audio thread of its own.
int runClapWatch(const WatchOptions& options);

}  // namespace cqhost
