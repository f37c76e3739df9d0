// The plug-in as `render` drives it, whatever its format: loaded with the plug-in's own window
// system on deterministic time from before its entry runs (every tick count it reads and every
// timer it sets follows the audio), started at the audio's rate, its editor open in a parent
// window of that system, and its blocks played through the play loop (play_loop.h) on the
// plug-in's audio thread, which takes turns with the main thread: the display runs only
// between blocks, so the pictures are the same whatever the threads do.
//
// Main thread only: every call below is made by render's loop, which is at once the host's
// user-interface thread and the one that hands out the blocks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "files/midi_file.h"
#include "formats/hosted_plugin.h"
#include "formats/platform_api.h"
#include "play/play_loop.h"

namespace cqhost {

class RenderTarget {
  public:
    // Loads the plug-in at `path` with a manual clock at 0 from before it runs, starts it at
    // `sampleRate` and opens its editor. Throws HostError when it cannot be loaded or has no
    // editor render can draw.
    RenderTarget(const std::string& path, BlockAudio& audio, double sampleRate,
                 std::vector<TimedMidiMessage> midi);
    ~RenderTarget();
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    // The window system of the plug-in's module, its clock already manual.
    const PlatformApi& platform() const { return *platform_; }
    // The editor's parent window, of the plug-in's size.
    HWND window() const { return parent_; }
    EditorSize size() const { return size_; }

    // Plays the block [position, position + count) through the plug-in on its audio thread
    // while this thread waits (see PlayLoop::play); returns the frames played.
    int play(long long position, int count);
    // The last block's audio as the source gave it (PlayLoop::left and right).
    const float* left() const { return loop_->left(); }
    const float* right() const { return loop_->right(); }

    // What a host's user-interface loop does once something may have changed: lets the
    // editor handle its messages and timers due, and serves the parent's own messages where
    // the plug-in's format has the host do so.
    void idle();
    // Milliseconds until the editor next has something to do on its own (a timer of its
    // window system's, or one the host keeps for it), or 0 when nothing is due or it cannot
    // tell.
    long long nextTimerWait() const;
    // Moves the editor's clock on by `ms` milliseconds.
    void advanceClock(long long ms);
    // Clicks the parent window at (x, y) and lets the editor handle the click at once.
    void click(int x, int y);
    // Moves the pointer over the parent window to (x, y), where it rests, and lets the editor
    // handle the motion at once. Throws HostError when the plug-in's window system cannot.
    void movePointer(int x, int y);

  private:
    void close();
    void serveParent();

    std::unique_ptr<HostedPlugin> plugin_;
    const PlatformApi* platform_ = nullptr;
    EditorSize size_;
    HWND parent_ = nullptr;
    long long clockMs_ = 0;
    std::unique_ptr<PlayLoop> loop_;
};

}  // namespace cqhost
