// The plug-in's editor view: the analyser core's display embedded in the host's window, at the
// display's fixed size (960 x 512 physical pixels) times the whole factor of the host's content
// scale (IPlugViewContentScaleSupport; 1 until the host says one). The user never resizes it.
//
// On Linux the parent is an X11 window ID ("X11EmbedWindowID") and the display is run by the
// host's run loop: the view asks the IPlugFrame given to setFrame for Linux::IRunLoop when it
// is attached, and the display's timer and X connection are registered there (run_loop.h)
// until the view is removed. A host whose frame offers no run loop gets a display that opens
// but does not refresh. On Windows the parent is an HWND and the display's own window timer,
// dispatched by the host's message loop, refreshes it.
//
// Hosts call setFrame before attached and setFrame(null) after removed, and may create a view
// only to ask isPlatformTypeSupported and release it unattached; the view keeps the plug-in
// object (its `owner`) alive, so it never outlives the core it draws from.
//
// Threads: every call on the host's UI thread, except the reference counts (any thread).
#pragma once

#include "core/analyser_core.h"
#include "vst3/vst3_interface.h"

namespace cqscope::vst3plugin {

// A new view of `core` with one reference for the caller, holding one reference on `owner`
// (the object that owns `core`) until it is destroyed; null when memory runs out.
vst3::IPlugView* createView(AnalyserCore& core, vst3::FUnknown* owner);

}  // namespace cqscope::vst3plugin
