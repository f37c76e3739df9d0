// A VST 3 plug-in behind the hosted-plug-in interface: the module's first processor class
// ("Audio Module Class"), its blocks (the block's note events, then process) played on the
// main thread, which is at once the host's user-interface thread and its audio thread, its
// editor view attached to the parent and served by the frame's run loop (timers and file
// descriptors) from the host's loop. Main thread only.
#include <memory>

#include "common/host_error.h"
#include "formats/plugin_analysis_wait.h"
#include "formats/vst3/vst3_format.h"
#include "formats/vst3/vst3_plugin.h"
#include "vst3/analysis_wait.h"

namespace cqhost {
namespace {

using namespace vst3;

// The plug-in as the play loop drives it.
class Vst3BlockProcessor : public BlockProcessor {
  public:
    explicit Vst3BlockProcessor(Vst3Plugin& plugin) : plugin_(plugin) {}
    int numInputs() const override { return plugin_.mainChannels(kInput); }
    int numOutputs() const override { return plugin_.mainChannels(kOutput); }
    void addMidi(const TimedMidiMessage& message, int offset) override {
        events_.addMidi(message.bytes.data(), offset);
    }
    void process(float* const* inputs, float* const* outputs, int frames) override {
        plugin_.process(inputs, outputs, frames, events_);
        // The plug-in reads the events during process, no longer.
        events_.clear();
    }

  private:
    Vst3Plugin& plugin_;
    Vst3EventList events_;
};

const char* platformType(WindowApi api) {
    return api == WindowApi::X11 ? kPlatformTypeX11EmbedWindowID : kPlatformTypeHWND;
}

// The main thread is the audio thread (MainThreadAudioPlugin).
class HostedVst3 : public MainThreadAudioPlugin {
  public:
    HostedVst3(const std::string& path, const PluginLoad& load)
        : module_(std::make_unique<Vst3Module>(path, load.beforeEntry)) {
        for (const Vst3ClassInfo& c : module_->classes()) {
            if (c.category != kVstAudioEffectClass) continue;
            plugin_ = std::make_unique<Vst3Plugin>(*module_, c, host_);
            break;
        }
        if (!plugin_) throw HostError("plug-in " + path + " offers no audio processor class");
        if (load.manualClock) host_.frame.runLoop().setManualClock(0);
    }
    // The editor goes first, then the plug-in, then the module; the host's objects last.
    ~HostedVst3() override {
        closeEditor();
        plugin_.reset();
        module_.reset();
    }

    const std::string& path() const override { return module_->path(); }

    void start(double sampleRate, int maxBlock) override {
        plugin_->activate(sampleRate, maxBlock);
        plugin_->startProcessing();
        processor_ = std::make_unique<Vst3BlockProcessor>(*plugin_);
    }
    void stop() override { plugin_->deactivate(); }
    BlockProcessor& processor() override { return *processor_; }
    // cqscope's component answers its own wait interface; other plug-ins have nothing to wait
    // for.
    void waitForAnalysis() override {
        const auto wait = queryVst3<cqscope::vst3plugin::IAnalysisWait>(plugin_->component());
        if (wait && wait->waitForAnalysis(kLongestAnalysisBuildMs) != kResultTrue)
            throwAnalysisTooSlow();
    }

    void requireEditor(const std::string& task) override {
        if (plugin_->controller() == nullptr) {
            throw HostError("plug-in " + path() + " has no edit controller, so no editor to " +
                            task);
        }
    }
    EditorSize createEditor(WindowApi api) override {
        closeEditor();
        view_ = plugin_->createView();
        if (!view_) throw HostError("plug-in " + path() + " has no editor");
        type_ = platformType(api);
        if (view_->isPlatformTypeSupported(type_) != kResultTrue) {
            view_.reset();
            throw HostError("the editor of plug-in " + path() + " cannot open in a " + type_ +
                            " window");
        }
        ViewRect rect{};
        if (view_->getSize(&rect) != kResultOk || rect.right <= rect.left ||
            rect.bottom <= rect.top) {
            view_.reset();
            throw HostError("the editor of plug-in " + path() + " reports no size");
        }
        return {rect.right - rect.left, rect.bottom - rect.top};
    }
    // The frame is set before attached, as hosts do; on Linux the parent is the window ID
    // itself.
    void openEditor(EditorParent parent) override {
        view_->setFrame(&host_.frame);
        if (view_->attached(reinterpret_cast<void*>(parent.handle), type_) != kResultOk) {
            view_->setFrame(nullptr);
            view_.reset();
            throw HostError("plug-in " + path() + " refused to open its editor");
        }
        attached_ = true;
    }
    void closeEditor() override {
        if (attached_) {
            view_->removed();
            view_->setFrame(nullptr);
        }
        attached_ = false;
        view_.reset();
    }
    // The editor's timers due and its descriptors ready, which run its window system.
    void idle() override { host_.frame.runLoop().serve(); }
    long long nextHostTimerWait() const override { return host_.frame.runLoop().nextWait(); }
    void setHostClock(long long ms) override { host_.frame.runLoop().setManualClock(ms); }
    // Input given to the window with no connection to poll: the timers run once, which run
    // the editor's display.
    void handleWindowInput() override { host_.frame.runLoop().serve(true); }
    bool hostServesParent() const override { return false; }

  private:
    Vst3HostObjects host_;
    std::unique_ptr<Vst3Module> module_;
    std::unique_ptr<Vst3Plugin> plugin_;
    std::unique_ptr<Vst3BlockProcessor> processor_;
    Vst3Ptr<IPlugView> view_;
    const char* type_ = "";
    bool attached_ = false;
};

std::unique_ptr<HostedPlugin> openVst3(const std::string& path, const PluginLoad& load) {
    return std::make_unique<HostedVst3>(path, load);
}

}  // namespace

const PluginFormat& vst3Format() {
    static const PluginFormat format{"VST 3", isVst3Module, openVst3, probeVst3};
    return format;
}

}  // namespace cqhost
