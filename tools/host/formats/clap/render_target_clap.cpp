// A CLAP plug-in as render drives it: loaded with the plug-in's own window system on
// deterministic time from before its entry runs, active at the audio's rate, its GUI embedded
// as "x11" in a parent window of that system and refreshed by the host's timers on the same
// clock, its blocks played on an audio thread of its own that takes turns with the main
// thread. Made, used and destroyed on the main thread.
#include <cstdint>
#include <memory>

#include "common/host_error.h"
#include "formats/clap/clap_gui_session.h"
#include "formats/clap/clap_host.h"
#include "formats/clap/clap_stream.h"
#include "render/render_target.h"

namespace cqhost {
namespace {

class ClapRenderTarget : public RenderTarget {
  public:
    ClapRenderTarget(const std::string& path, BlockAudio& audio, double sampleRate,
                     std::vector<TimedMidiMessage> midi);
    ~ClapRenderTarget() override;

    const PlatformApi& platform() const override { return *platform_; }
    HWND window() const override { return parent_; }
    EditorSize size() const override { return gui_->size(); }

    // The audio thread plays the block while this thread waits.
    int play(long long position, int count) override {
        int played = 0;
        audioThread_->run([&] { played = loop_->play(position, count); });
        return played;
    }
    const float* left() const override { return loop_->left(); }
    const float* right() const override { return loop_->right(); }

    // The host's loop: the plug-in's requests and its timers due on the render's clock,
    // which run its display. Nothing here dispatches the display's messages itself (a pump of
    // the parent would take its children's too): on Linux a host's loop knows only its own
    // windows, and the plug-in's window system runs from the plug-in's calls.
    void idle() override { plugin_->serviceMainThread(); }
    // The nearer of the display's own next timer and the host's next timer for the plug-in;
    // either may be the one that shows a change.
    long long nextTimerWait() const override {
        long long wait = 0;
        for (long long candidate : {hasRenderCalls(*platform_) ? platform_->nextTimerWait() : 0LL,
                                    plugin_->nextTimerWait()}) {
            if (candidate > 0 && (wait == 0 || candidate < wait)) wait = candidate;
        }
        return wait;
    }
    void advanceClock(long long ms) override {
        clockMs_ += ms;
        platform_->advanceClock(static_cast<DWORD>(ms));
        plugin_->setManualClock(clockMs_);
    }
    // A window on screen would tell the host's loop of the click through its X connection,
    // and the loop would let the plug-in handle it at once; the parent here has no connection
    // to poll, so the host runs the plug-in's timers once, which run its display.
    void click(int x, int y) override {
        platform_->click(parent_, x, y);
        plugin_->runTimersNow();
    }

  private:
    void close();

    // Set from the library's hook before the entry runs, so declared before the library.
    const PlatformApi* platform_ = nullptr;
    std::string problem_;
    std::unique_ptr<ClapLibrary> library_;
    std::unique_ptr<ClapPlugin> plugin_;
    std::unique_ptr<ClapGuiSession> gui_;
    HWND parent_ = nullptr;
    long long clockMs_ = 0;
    std::unique_ptr<ClapBlockProcessor> processor_;
    std::unique_ptr<PlayLoop> loop_;
    std::unique_ptr<ClapAudioThread> audioThread_;
};

ClapRenderTarget::ClapRenderTarget(const std::string& path, BlockAudio& audio, double sampleRate,
                                   std::vector<TimedMidiMessage> midi) {
    library_ = std::make_unique<ClapLibrary>(path, [this, &path](void* library) {
        platform_ = findPlatformApi(library, path, &problem_);
        if (platform_ != nullptr) platform_->setManualClock(TRUE, 0);
    });
    const auto descriptors = library_->descriptors();
    if (descriptors.empty()) throw HostError("plug-in " + path + " offers no plug-ins");
    plugin_ = std::make_unique<ClapPlugin>(*library_, descriptors.front().id);
    plugin_->setManualClock(0);
    if (platform_ == nullptr) throw HostError(problem_);
    plugin_->activate(sampleRate, 1, kBlockSize);
    waitForPluginAnalysis(*platform_);
    processor_ = std::make_unique<ClapBlockProcessor>(*plugin_);
    loop_ = std::make_unique<PlayLoop>(*processor_, audio, std::move(midi));
    try {
        gui_ = std::make_unique<ClapGuiSession>(*plugin_, path);
        parent_ = platform_->createHostWindow(gui_->size().width, gui_->size().height);
        if (parent_ == nullptr) throw HostError("cannot create the editor's parent window");
        // A window of the plug-in's own window library, which takes its handle where an X11
        // window ID goes.
        gui_->embed(static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(parent_)));
        audioThread_ = std::make_unique<ClapAudioThread>(*plugin_);
    } catch (...) {
        close();
        throw;
    }
}

ClapRenderTarget::~ClapRenderTarget() {
    close();
}

// Processing stops on the audio thread, then the GUI goes, then its parent; the plug-in is
// deactivated and destroyed, and the library unloaded, by their own destructors.
void ClapRenderTarget::close() {
    audioThread_.reset();
    gui_.reset();
    if (parent_ != nullptr) platform_->destroyWindow(parent_);
    parent_ = nullptr;
}

}  // namespace

std::unique_ptr<RenderTarget> openClapRenderTarget(const std::string& path, BlockAudio& audio,
                                                   double sampleRate,
                                                   std::vector<TimedMidiMessage> midi) {
    return std::make_unique<ClapRenderTarget>(path, audio, sampleRate, std::move(midi));
}

}  // namespace cqhost
