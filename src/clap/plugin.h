// The CLAP plug-in: one stereo input copied bit for bit to one stereo output, the input's
// samples and the held notes (CLAP note events and MIDI note messages alike) fed to its
// analyser core, and the core's display embedded in the host's window (X11 on Linux, Win32 on
// Windows: gui_window.h) at the display's fixed size. No parameters, no state, no latency.
//
// Threads, as the interface tags each call:
// - main thread: init, destroy, activate (asks for the kernels for the rate, built beside:
//   setSampleRate and start), deactivate, on_main_thread, every GUI, port, latency, timer and
//   fd call, and our hosts' wait for those kernels (analysis_wait.h);
// - audio thread: start_processing, stop_processing, reset, process (never wait, lock or
//   allocate: they only copy, read the event list and write the core's atomics);
// - any thread: get_extension (answers static records).
// The display is refreshed by the host's timer (timer support). A host that offers no timer
// support gets its refresh through request_callback: each processed block asks once for an
// on_main_thread call, which runs the display; without audio such a host's picture stands
// still (it has nothing new to show) until the next block. On Windows such a host needs
// neither: its message loop delivers the display window's own timer. Where the host offers fd
// support (Linux), the display's X connection is registered while the display is on screen
// (set_parent to gui destroy), and on_fd handles its events as they arrive (clicks,
// exposures); the refresh stays the timer's.
#pragma once

#include "clap/clap_interface.h"

namespace cqscope::clap {

inline constexpr const char kPluginId[] = "org.example.cqscope";

// The one plug-in's descriptor, static (valid while the library is loaded).
extern const clap_plugin_descriptor kDescriptor;

// A new instance for `host` (not yet initialised), or null when memory runs out. Any thread
// (the factory's create_plugin is thread-safe); calls no host function.
const clap_plugin* createPlugin(const clap_host* host);

}  // namespace cqscope::clap
