// `capture` of a CLAP plug-in: its GUI embedded ("win32") in a real top-level window, the audio
// played through it block by block on the main thread (the interface allows the audio thread to
// be the main thread) in the same blocks and with the same MIDI as the VST 2.x capture, the
// Windows message loop run between blocks, and the window's picture written after a refresh
// that saw the whole blocks up to the capture time; then Hold clicked and the frozen picture
// written, as the VST 2.x capture does it (window_picture.h). With `--no-timer-support` the host
// offers no timer support and the display refreshes on its window's own timer.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "audio_input.h"
#include "common/host_error.h"
#include "formats/clap/clap_host.h"
#include "formats/clap/clap_stream.h"
#include "formats/plugin_analysis_wait.h"
#include "host_window.h"
#include "play/play_loop.h"
#include "win_commands.h"
#include "window_picture.h"

namespace winhost {
namespace {

using cqhost::ClapPlugin;
using cqhost::HostError;

// The GUI, created and embedded in a parent window of its size: destroyed again before that
// window when the capture ends, also on an error.
class GuiSession {
  public:
    explicit GuiSession(const ClapPlugin& plugin) : plugin_(plugin.plugin()) {
        gui_ = static_cast<const clap_plugin_gui*>(plugin.extension(CLAP_EXT_GUI));
        if (gui_ == nullptr)
            throw HostError("the plug-in has no GUI, so there is nothing to capture");
        if (!gui_->is_api_supported(&plugin_, CLAP_WINDOW_API_WIN32, false) ||
            !gui_->create(&plugin_, CLAP_WINDOW_API_WIN32, false)) {
            throw HostError("the plug-in's GUI does not embed in a win32 window");
        }
        // A constructor that throws runs no destructor: the GUI is destroyed here then.
        try {
            embed();
        } catch (...) {
            gui_->destroy(&plugin_);
            throw;
        }
    }
    ~GuiSession() { gui_->destroy(&plugin_); }
    GuiSession(const GuiSession&) = delete;
    GuiSession& operator=(const GuiSession&) = delete;

    HWND parent() const { return parent_->window; }
    std::uint32_t width = 0, height = 0;

  private:
    // The embedding sequence hosts follow: scale, size, a parent of that size, show.
    void embed() {
        gui_->set_scale(&plugin_, 1.0);
        if (!gui_->get_size(&plugin_, &width, &height) || width == 0 || height == 0) {
            throw HostError("the plug-in's GUI reports no size");
        }
        parent_.emplace(static_cast<int>(width), static_cast<int>(height));
        clap_window window{};
        window.api = CLAP_WINDOW_API_WIN32;
        window.win32 = parent_->window;
        if (!gui_->set_parent(&plugin_, &window)) {
            throw HostError("the plug-in's GUI refused the parent window");
        }
        gui_->show(&plugin_);
    }

    const clap_plugin& plugin_;
    const clap_plugin_gui* gui_ = nullptr;
    std::optional<ParentWindow> parent_;
};

}  // namespace

int runClapCapture(const CaptureOptions& options) {
    AudioInput audio(options.audio, options.rawRate);
    const long long captureFrame = audio.captureFrame(options.at);
    const std::string livePath = options.out + ".ppm";
    const std::string holdPath = options.out + "-hold.ppm";
    checkWritable(livePath);
    if (options.hold) checkWritable(holdPath);

    cqhost::ClapLibrary library(options.plugin);
    const auto descriptors = library.descriptors();
    if (descriptors.empty()) throw HostError("plug-in " + options.plugin + " offers no plug-ins");
    ClapPlugin plugin(library, descriptors.front().id, options.hostTimers);
    plugin.activate(audio.sampleRate(), 1, cqhost::kBlockSize);
    // The kernels are built beside activate: the capture starts from them, as the Linux render
    // does.
    cqhost::waitForAnalysis(plugin);
    {
        GuiSession gui(plugin);
        HWND display = GetWindow(gui.parent(), GW_CHILD);
        if (display == nullptr) throw HostError("the GUI opened no window in its parent");

        // The refresh at the capture time sees the whole blocks that end at or before it, as
        // in the Linux render.
        cqhost::ClapBlockProcessor processor(plugin);
        plugin.startProcessing();
        playCapture(processor, audio, cqhost::seenEnd(captureFrame, audio.frames()),
                    [&plugin] { plugin.serviceMainThread(); });
        plugin.stopProcessing();
        // The host's idle: the plug-in's main-thread work (its timer, when the host offers
        // timer support), beside the message loop that delivers the display's own messages.
        const auto idle = [&plugin] { plugin.serviceMainThread(); };
        // A refresh that starts now sees the audio played: the blocks up to the capture time.
        awaitRefresh(display, options.timeoutMs, idle);
        const int width = static_cast<int>(gui.width), height = static_cast<int>(gui.height);
        writePpm(livePath, grabClientArea(gui.parent(), width, height), width, height);
        std::printf("wrote %s (%s)\n", livePath.c_str(),
                    options.hostTimers ? "refreshed with the host's timer support"
                                       : "no timer support offered");
        if (options.hold) {
            clickHoldAndWrite(gui.parent(), display, width, height, holdPath,
                              static_cast<DWORD>(options.timeoutMs), idle);
        }
    }
    plugin.deactivate();
    return 0;
}

}  // namespace winhost
