// The plug-in as `render` drives it, whatever its interface: its editor open in a parent window
// of the plug-in's own window system, on a manual clock that follows the audio, and its blocks
// played through the play loop (play_loop.h).
//
// A VST 2.x effect (render_target_vst.cpp) has its editor opened through the dispatcher, idles
// through effEditIdle and plays its blocks on the main thread. A CLAP plug-in
// (render_target_clap.cpp) has its GUI embedded as "x11" in the parent, is refreshed by the
// host's timers, which follow the same clock, and plays its blocks on an audio thread of its
// own that takes turns with the main thread: the display runs only between blocks, so the
// pictures are the same whatever the threads do.
//
// Main thread only: every call below is made by render's loop, which is at once the host's
// user-interface thread and the one that hands out the blocks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "files/midi_file.h"
#include "formats/platform_api.h"
#include "formats/vst2/plugin_editor.h"
#include "play/play_loop.h"

namespace cqhost {

class RenderTarget {
  public:
    virtual ~RenderTarget() = default;

    // The window system of the plug-in's module, its clock already manual.
    virtual const PlatformApi& platform() const = 0;
    // The editor's parent window, of the plug-in's size.
    virtual HWND window() const = 0;
    virtual EditorSize size() const = 0;

    // Plays the block [position, position + count) through the plug-in (see PlayLoop::play);
    // returns the frames played.
    virtual int play(long long position, int count) = 0;
    // The last block's audio as the source gave it (PlayLoop::left and right).
    virtual const float* left() const = 0;
    virtual const float* right() const = 0;

    // What a host's user-interface loop does once something may have changed: lets the
    // editor handle its messages and timers due, and pumps the parent's own messages.
    virtual void idle() = 0;
    // Milliseconds until the editor next has something to do on its own (a timer), or 0
    // when nothing is due or it cannot tell.
    virtual long long nextTimerWait() const = 0;
    // Moves the editor's clock on by `ms` milliseconds.
    virtual void advanceClock(long long ms) = 0;
    // Clicks the parent window at (x, y) and lets the editor handle the click at once.
    virtual void click(int x, int y) = 0;
};

// Loads the plug-in at `path` (CLAP when isClapPlugin says so, VST 2.x otherwise) with a
// manual clock at 0 from before it runs, starts it at the audio's rate and opens its editor.
// Throws HostError when it cannot be loaded or has no editor render can draw.
std::unique_ptr<RenderTarget> openRenderTarget(const std::string& path, BlockAudio& audio,
                                               double sampleRate,
                                               std::vector<TimedMidiMessage> midi);

// The two kinds (render_target_vst.cpp, render_target_clap.cpp).
std::unique_ptr<RenderTarget> openVstRenderTarget(const std::string& path, BlockAudio& audio,
                                                  double sampleRate,
                                                  std::vector<TimedMidiMessage> midi);
std::unique_ptr<RenderTarget> openClapRenderTarget(const std::string& path, BlockAudio& audio,
                                                   double sampleRate,
                                                   std::vector<TimedMidiMessage> midi);

}  // namespace cqhost
