// `capture`: plays audio through the plug-in, of any format, with its editor open in a real
// top-level window ("win32"), runs the Windows message loop, and writes what the window shows,
// read back through GDI, after a refresh that saw the whole blocks up to the capture time; then
// clicks Hold through the button's own mouse messages and writes the frozen picture too. The
// blocks play on the main thread, between turns of the message loop (a plug-in's audio thread
// may be the main thread), so the display refreshes only between blocks.
//
// Pictures are binary PPM (P6, 8-bit RGB, top row first): simple to write without a library
// and read on the Linux side.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "audio_input.h"
#include "common/host_error.h"
#include "formats/formats.h"
#include "host_window.h"
#include "play/play_loop.h"
#include "win_commands.h"
#include "window_picture.h"

namespace winhost {
namespace {

using cqhost::HostedPlugin;
using cqhost::HostError;
using cqhost::kBlockSize;

// The editor, open in the parent: closed again when the capture ends, also on an error, before
// the parent goes.
class EditorSession {
  public:
    EditorSession(HostedPlugin& plugin, HWND parent) : plugin_(plugin) {
        plugin_.openEditor({cqhost::WindowApi::Win32, reinterpret_cast<std::uintptr_t>(parent)});
    }
    ~EditorSession() { plugin_.closeEditor(); }
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

  private:
    HostedPlugin& plugin_;
};

// Loads the rival DLL and has it register its window class. Throws HostError.
HMODULE loadRival(const std::string& path) {
    HMODULE rival = LoadLibraryA(path.c_str());
    if (rival == nullptr) throw HostError("cannot load " + path);
    using Register = ATOM (*)();
    auto registerRival = reinterpret_cast<Register>(
        reinterpret_cast<void*>(GetProcAddress(rival, "rivalRegisterClass")));
    if (registerRival == nullptr || registerRival() == 0) {
        FreeLibrary(rival);
        throw HostError(path + " did not register its class");
    }
    return rival;
}

}  // namespace

int runCapture(const CaptureOptions& options) {
    AudioInput audio(options.audio, options.rawRate);
    const long long captureFrame = audio.captureFrame(options.at);
    const std::string livePath = options.out + ".ppm";
    const std::string holdPath = options.out + "-hold.ppm";
    checkWritable(livePath);
    if (options.hold) checkWritable(holdPath);
    if (options.pointer) checkWritable(options.out + "-pointer.ppm");

    // Loaded before the plug-in, as another plug-in of the host would be.
    HMODULE rival = options.rival ? loadRival(*options.rival) : nullptr;

    cqhost::PluginLoad load;
    load.offerTimers = options.hostTimers;
    const std::unique_ptr<HostedPlugin> plugin = cqhost::openPlugin(options.plugin, load);
    plugin->requireEditor("capture");
    plugin->start(audio.sampleRate(), kBlockSize);
    // The kernels are built beside the switch-on: the capture starts from them, as the Linux
    // render does.
    plugin->waitForAnalysis();
    {
        const cqhost::EditorSize size = plugin->createEditor(cqhost::WindowApi::Win32);
        const int width = size.width;
        const int height = size.height;
        ParentWindow parent(width, height);
        EditorSession editor(*plugin, parent.window);
        // The editor's display: the child window that receives its refresh timer.
        HWND display = GetWindow(parent.window, GW_CHILD);
        if (display == nullptr) throw HostError("the editor opened no window in its parent");

        // The refresh at the capture time sees the whole blocks that end at or before it, as
        // in the Linux render.
        plugin->beginAudio(cqhost::AudioThread::Caller);
        playCapture(*plugin, audio, cqhost::seenEnd(captureFrame, audio.frames()));
        plugin->endAudio();
        if (rival != nullptr) {
            // Its class stays registered, with a procedure in code that is now gone.
            FreeLibrary(rival);
            std::printf("unloaded %s with the editor open\n", options.rival->c_str());
        }

        // The host's idle: the plug-in's idle or main-thread work (its timers, when the host
        // offers timer support), beside the message loop that delivers the display's own
        // messages.
        const auto idle = [&plugin] { plugin->idle(); };
        // A refresh that starts now sees the audio played: the blocks up to the capture time.
        awaitRefresh(display, options.timeoutMs, idle);
        const Pixels live = grabClientArea(parent.window, width, height);
        writePpm(livePath, live, width, height);
        const std::string note = plugin->refreshNote();
        std::printf("wrote %s%s\n", livePath.c_str(),
                    note.empty() ? "" : (" (" + note + ")").c_str());

        if (options.pointer) {
            pointerOverAndAway(parent.window, display, options.pointerColumn, options.pointerRow,
                               width, height, options.out + "-pointer.ppm",
                               options.out + "-left.ppm", static_cast<DWORD>(options.timeoutMs),
                               idle);
        }
        if (options.hold) {
            clickHoldAndWrite(parent.window, display, width, height, holdPath,
                              static_cast<DWORD>(options.timeoutMs), idle);
        }
    }
    plugin->stop();
    return 0;
}

}  // namespace winhost
