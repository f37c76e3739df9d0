// The VST 3 plug-in: one object that is the component (IComponent), the audio processor
// (IAudioProcessor) and the edit controller (IEditController) at once, which also answers our
// hosts' wait for its kernels (IAnalysisWait, analysis_wait.h). One stereo input copied
// bit for bit to one stereo output, the input's samples and the held notes of one event input
// (note-on and note-off events) fed to its analyser core, and the core's display in an editor
// view (view.h). No parameters, no latency; its state is a small versioned record that stores
// nothing else today.
//
// Why one object and not a processor with a separate controller: the editor draws from the
// analyser core, which lives where the audio is processed. A separate controller could reach
// it only through the connection point, where hosts may put a proxy of their own between the
// two (so the peer can never be cast to our class), and would need the spectrum sent to it as
// messages, which must not be sent from `process`. One object lets the view draw from the core
// as every other shell's display does. Hosts ask the component for IEditController first and
// use it when present (Ardour 7.3 does, and loads and runs such a plug-in); the factory lists
// the one class, and getControllerClassId answers kResultFalse.
//
// Threads, as the interface tags each call:
// - UI thread: initialize, terminate, every bus, arrangement and state call, setupProcessing
//   and setActive (records the host's rate and has the kernels built beside: the host's thread
//   does not wait for them), the controller's calls, createView and waitForAnalysis;
// - audio thread: process (never waits, locks or allocates: it copies, reads the event list
//   and writes the core's atomics) and possibly setProcessing (changes nothing);
// - any thread: queryInterface, addRef, release (the count is atomic).
#pragma once

#include "vst3/vst3_interface.h"

namespace cqscope::vst3plugin {

// The class ID of the plug-in, the same four numbers on every system (so that a project saved
// on one system finds the plug-in on another).
inline constexpr vst3::Uid kClassId = vst3::makeUid(0x63717363, 0x6F706556, 0x53543350, 0x6C756769);
inline constexpr char kClassName[] = "cqscope";

// A new plug-in object holding one reference for the caller, as IComponent; null when memory
// runs out. Any thread; calls no host function.
vst3::IComponent* createPlugin();

}  // namespace cqscope::vst3plugin
