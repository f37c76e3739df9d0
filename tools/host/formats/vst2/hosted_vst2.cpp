// A VST 2.x effect behind the hosted-plug-in interface: loaded by PluginHost, its blocks (the
// block's MIDI through effProcessEvents, then processReplacing) played on the main thread,
// which is at once the host's user-interface thread and its audio thread, its editor opened
// through the dispatcher and idled through effEditIdle. Main thread only.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "common/host_error.h"
#include "formats/plugin_analysis_wait.h"
#include "formats/vst2/event_list.h"
#include "formats/vst2/plugin_editor.h"
#include "formats/vst2/plugin_host.h"
#include "formats/vst2/vst2_format.h"
#include "plugin/unique_id.h"
#include "plugin/vendor_calls.h"

namespace cqhost {
namespace {

// The effect as the play loop drives it.
class VstBlockProcessor : public BlockProcessor {
  public:
    explicit VstBlockProcessor(PluginHost& host) : host_(host) {}
    int numInputs() const override { return std::max(host_.effect().numInputs, 0); }
    int numOutputs() const override { return std::max(host_.effect().numOutputs, 0); }
    void addMidi(const TimedMidiMessage& message, int offset) override {
        events_.addMidi(message.bytes[0], message.bytes[1], message.bytes[2], offset);
    }
    void process(float* const* inputs, float* const* outputs, int frames) override {
        if (!events_.empty()) host_.dispatch(effProcessEvents, 0, 0, events_.build());
        host_.processReplacing(const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
        // The effect may keep the messages until processReplacing returns, no longer.
        events_.clear();
    }

  private:
    PluginHost& host_;
    EventList events_;
};

// The main thread is the audio thread (MainThreadAudioPlugin).
class HostedVst2 : public MainThreadAudioPlugin {
  public:
    HostedVst2(const std::string& path, const PluginLoad& load) : host_(path, load.beforeEntry) {}
    ~HostedVst2() override { closeEditor(); }

    const std::string& path() const override { return host_.path(); }

    void start(double sampleRate, int maxBlock) override {
        if (host_.effect().processReplacing == nullptr) {
            throw HostError("plug-in " + host_.path() + " has no processReplacing entry");
        }
        host_.start(sampleRate, maxBlock);
        processor_ = std::make_unique<VstBlockProcessor>(host_);
    }
    void stop() override { host_.stop(); }
    BlockProcessor& processor() override { return *processor_; }
    // cqscope's effect (known by its unique ID) is asked through its vendor-specific wait.
    void waitForAnalysis() override {
        if (host_.effect().uniqueID != kCqscopeUniqueId) return;
        if (host_.dispatch(effVendorSpecific, kVendorCallCode, kVendorCallWait, nullptr,
                           static_cast<float>(kLongestAnalysisBuildMs)) != 1)
            throwAnalysisTooSlow();
    }

    void requireEditor(const std::string& task) override { checkEditorEffect(host_, task); }
    EditorSize createEditor(WindowApi) override { return editorSize(host_); }
    void openEditor(EditorParent parent) override {
        host_.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent.handle));
        editorOpen_ = true;
    }
    void closeEditor() override {
        if (editorOpen_) host_.dispatch(effEditClose);
        editorOpen_ = false;
    }
    // The editor-idle opcode, which on Linux also dispatches the display's messages.
    void idle() override { host_.dispatch(effEditIdle); }
    long long nextHostTimerWait() const override { return 0; }
    void setHostClock(long long) override {}
    void handleWindowInput() override { idle(); }
    bool hostServesParent() const override { return true; }

  private:
    PluginHost host_;
    std::unique_ptr<VstBlockProcessor> processor_;
    bool editorOpen_ = false;
};

bool holdsAnyFile(const std::string&) {
    return true;
}

std::unique_ptr<HostedPlugin> openVst2(const std::string& path, const PluginLoad& load) {
    return std::make_unique<HostedVst2>(path, load);
}

}  // namespace

const PluginFormat& vst2Format() {
    static const PluginFormat format{"VST 2.x", holdsAnyFile, openVst2, probeVst2};
    return format;
}

}  // namespace cqhost
