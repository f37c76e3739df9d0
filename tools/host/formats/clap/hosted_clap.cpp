// A CLAP plug-in behind the hosted-plug-in interface: the file's first plug-in, active at the
// started rate, its blocks played on an audio thread of its own (or the main thread, where the
// caller asks) while the main thread serves its requests, timers and file descriptors, its GUI
// embedded in the parent. Made, used and destroyed on the main thread.
#include <atomic>
#include <memory>

#include "clap/analysis_wait.h"
#include "common/host_error.h"
#include "formats/clap/clap_format.h"
#include "formats/clap/clap_gui_session.h"
#include "formats/clap/clap_host.h"
#include "formats/clap/clap_stream.h"
#include "formats/plugin_analysis_wait.h"

namespace cqhost {
namespace {

class HostedClap : public HostedPlugin {
  public:
    HostedClap(const std::string& path, const PluginLoad& load) : offerTimers_(load.offerTimers) {
        library_ = std::make_unique<ClapLibrary>(path, load.beforeEntry);
        const auto descriptors = library_->descriptors();
        if (descriptors.empty()) throw HostError("plug-in " + path + " offers no plug-ins");
        plugin_ = std::make_unique<ClapPlugin>(*library_, descriptors.front().id, offerTimers_);
        if (load.manualClock) plugin_->setManualClock(0);
    }
    // Processing stops, then the GUI goes; the plug-in is deactivated and destroyed, and the
    // library unloaded, by their own destructors.
    ~HostedClap() override {
        endAudio();
        closeEditor();
    }

    const std::string& path() const override { return library_->path(); }

    void start(double sampleRate, int maxBlock) override {
        plugin_->activate(sampleRate, 1, static_cast<std::uint32_t>(maxBlock));
        processor_ = std::make_unique<ClapBlockProcessor>(*plugin_);
    }
    void stop() override {
        endAudio();
        if (plugin_->active()) plugin_->deactivate();
    }
    BlockProcessor& processor() override { return *processor_; }
    // A plug-in with cqscope's wait extension is asked through it.
    void waitForAnalysis() override {
        const auto* wait = static_cast<const cqscope::clap::AnalysisWait*>(
            plugin_->extension(cqscope::clap::kAnalysisWaitExtension));
        if (wait == nullptr || wait->wait == nullptr) return;
        if (!wait->wait(&plugin_->plugin(), kLongestAnalysisBuildMs)) throwAnalysisTooSlow();
    }
    // The audio thread reports its frames as it goes; the last count once it has ended.
    void playThrough(const std::function<int()>& playBlock,
                     const std::function<void(long long done)>& progress) override {
        const std::uint64_t done = runOnAudioThread(
            *plugin_,
            [&](std::atomic<std::uint64_t>& done) {
                while (const int count = playBlock()) {
                    done.store(done.load() + static_cast<std::uint64_t>(count));
                }
            },
            [&](std::uint64_t framesDone) {
                if (progress) progress(static_cast<long long>(framesDone));
            });
        if (progress) progress(static_cast<long long>(done));
    }
    void beginAudio(AudioThread where) override {
        if (where == AudioThread::Own) {
            audioThread_ = std::make_unique<ClapAudioThread>(*plugin_);
        } else {
            // The interface allows the audio thread to be the main thread.
            plugin_->startProcessing();
            processingHere_ = true;
        }
    }
    // With a thread of its own, the audio thread plays the job while this thread waits.
    void onAudioThread(const std::function<void()>& job) override {
        if (audioThread_) {
            audioThread_->run(job);
        } else {
            job();
        }
    }
    void endAudio() override {
        audioThread_.reset();
        if (processingHere_) plugin_->stopProcessing();
        processingHere_ = false;
    }

    // The GUI's own checks come with createEditor.
    void requireEditor(const std::string&) override {}
    EditorSize createEditor(WindowApi api, double scale) override {
        gui_ = std::make_unique<ClapGuiSession>(*plugin_, library_->path(), api, scale);
        return gui_->size();
    }
    void openEditor(EditorParent parent) override { gui_->embed(parent); }
    void closeEditor() override { gui_.reset(); }
    // The plug-in's requests and its timers due. Nothing here dispatches the display's
    // messages itself: on Linux a host's loop knows only its own windows, and the plug-in's
    // window system runs from the plug-in's calls.
    void idle() override { plugin_->serviceMainThread(); }
    long long nextHostTimerWait() const override { return plugin_->nextTimerWait(); }
    void setHostClock(long long ms) override { plugin_->setManualClock(ms); }
    // A window on screen would tell the host's loop of the input through its X connection, and
    // the loop would let the plug-in handle it at once; a window with no connection to poll
    // has the host run the plug-in's timers once, which run its display.
    void handleWindowInput() override { plugin_->runTimersNow(); }
    bool hostServesParent() const override { return false; }
    std::string refreshNote() const override {
        return offerTimers_ ? "refreshed with the host's timer support"
                            : "no timer support offered";
    }

  private:
    bool offerTimers_;
    std::unique_ptr<ClapLibrary> library_;
    std::unique_ptr<ClapPlugin> plugin_;
    std::unique_ptr<ClapBlockProcessor> processor_;
    std::unique_ptr<ClapGuiSession> gui_;
    std::unique_ptr<ClapAudioThread> audioThread_;
    bool processingHere_ = false;
};

std::unique_ptr<HostedPlugin> openClap(const std::string& path, const PluginLoad& load) {
    return std::make_unique<HostedClap>(path, load);
}

}  // namespace

const PluginFormat& clapFormat() {
    static const PluginFormat format{"CLAP", isClapPlugin, openClap, probeClap};
    return format;
}

}  // namespace cqhost
