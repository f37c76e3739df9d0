// `capture`: plays audio through the plug-in with its editor open in a real top-level window,
// runs the Windows message loop, and writes what the window shows, read back through GDI,
// after a refresh that saw the whole blocks up to the capture time; then clicks Hold through
// the button's own mouse messages and writes the frozen picture too.
//
// Pictures are binary PPM (P6, 8-bit RGB, top row first): simple to write without a library
// and read on the Linux side.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "audio_input.h"
#include "common/host_error.h"
#include "formats/plugin_analysis_wait.h"
#include "formats/vst2/plugin_editor.h"
#include "formats/vst2/plugin_host.h"
#include "host_window.h"
#include "play/play_loop.h"
#include "win_commands.h"
#include "window_picture.h"

namespace winhost {
namespace {

using cqhost::HostError;
using cqhost::kBlockSize;
using cqhost::PluginHost;

// The editor, open in the parent: closed again when the capture ends, also on an error.
class EditorSession {
  public:
    EditorSession(PluginHost& plugin, HWND parent) : plugin_(plugin) {
        plugin_.dispatch(effEditOpen, 0, 0, parent);
    }
    ~EditorSession() { plugin_.dispatch(effEditClose); }
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

  private:
    PluginHost& plugin_;
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

    // Loaded before the plug-in, as another plug-in of the host would be.
    HMODULE rival = options.rival ? loadRival(*options.rival) : nullptr;

    PluginHost plugin(options.plugin);
    cqhost::checkEditorEffect(plugin, "capture");
    plugin.start(audio.sampleRate(), kBlockSize);
    // The kernels are built beside the switch-on: the capture starts from them, as the Linux
    // render does.
    cqhost::waitForAnalysis(plugin);
    const cqhost::EditorSize size = cqhost::editorSize(plugin);
    const int width = size.width;
    const int height = size.height;

    ParentWindow parent(width, height);
    EditorSession editor(plugin, parent.window);
    // The editor's display: the child window that receives its refresh timer.
    HWND display = GetWindow(parent.window, GW_CHILD);
    if (display == nullptr) throw HostError("the editor opened no window in its parent");

    // The refresh at the capture time sees the whole blocks that end at or before it, as in
    // the Linux render.
    cqhost::VstBlockProcessor processor(plugin);
    playCapture(processor, audio, cqhost::seenEnd(captureFrame, audio.frames()),
                [&plugin] { plugin.dispatch(effEditIdle); });
    if (rival != nullptr) {
        // Its class stays registered, with a procedure in code that is now gone.
        FreeLibrary(rival);
        std::printf("unloaded %s with the editor open\n", options.rival->c_str());
    }

    // A refresh that starts now sees the audio played: the blocks up to the capture time.
    const auto idle = [&plugin] { plugin.dispatch(effEditIdle); };
    awaitRefresh(display, options.timeoutMs, idle);
    const Pixels live = grabClientArea(parent.window, width, height);
    writePpm(livePath, live, width, height);
    std::printf("wrote %s\n", livePath.c_str());

    if (options.hold) {
        clickHoldAndWrite(parent.window, display, width, height, holdPath,
                          static_cast<DWORD>(options.timeoutMs), idle);
    }
    return 0;
}

}  // namespace winhost
