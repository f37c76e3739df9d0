// A VST 2.x effect as render drives it: loaded with the plug-in's own window system on
// deterministic time from before the effect exists (every tick count it reads, every timer it
// sets, follows the audio), its editor open in a parent window of that system, its blocks
// played on the main thread. Main thread only.
#include <memory>

#include "common/host_error.h"
#include "formats/vst2/plugin_host.h"
#include "render/render_target.h"

namespace cqhost {
namespace {

class VstRenderTarget : public RenderTarget {
  public:
    VstRenderTarget(const std::string& path, BlockAudio& audio, double sampleRate,
                    std::vector<TimedMidiMessage> midi)
        : host_(path, [this, &path](void* library) {
              platform_ = findPlatformApi(library, path, &problem_);
              if (platform_ != nullptr) platform_->setManualClock(TRUE, 0);
          }) {
        checkEditorEffect(host_, "render");
        if (platform_ == nullptr) throw HostError(problem_);
        host_.start(sampleRate, kBlockSize);
        waitForPluginAnalysis(*platform_);
        size_ = editorSize(host_);
        loop_ = std::make_unique<PlayLoop>(host_, audio, std::move(midi));
        // Last, so that nothing after it can throw with the editor open.
        parent_ = platform_->createHostWindow(size_.width, size_.height);
        if (parent_ == nullptr) throw HostError("cannot create the editor's parent window");
        host_.dispatch(effEditOpen, 0, 0, parent_);
    }
    ~VstRenderTarget() override {
        if (parent_ == nullptr) return;
        host_.dispatch(effEditClose);
        platform_->destroyWindow(parent_);
    }

    const PlatformApi& platform() const override { return *platform_; }
    HWND window() const override { return parent_; }
    EditorSize size() const override { return size_; }

    int play(long long position, int count) override { return loop_->play(position, count); }
    const float* left() const override { return loop_->left(); }
    const float* right() const override { return loop_->right(); }

    // The editor-idle opcode, which on Linux also dispatches the display's messages, and a
    // pump of the parent window's own messages.
    void idle() override {
        host_.dispatch(effEditIdle);
        platform_->pumpMessages(parent_);
    }
    long long nextTimerWait() const override {
        return hasRenderCalls(*platform_) ? platform_->nextTimerWait() : 0;
    }
    void advanceClock(long long ms) override { platform_->advanceClock(static_cast<DWORD>(ms)); }
    void click(int x, int y) override {
        platform_->click(parent_, x, y);
        idle();
    }

  private:
    // Set from the host's hook before the entry runs, so declared before the host.
    const PlatformApi* platform_ = nullptr;
    std::string problem_;
    PluginHost host_;
    EditorSize size_;
    HWND parent_ = nullptr;
    std::unique_ptr<PlayLoop> loop_;
};

}  // namespace

std::unique_ptr<RenderTarget> openVstRenderTarget(const std::string& path, BlockAudio& audio,
                                                  double sampleRate,
                                                  std::vector<TimedMidiMessage> midi) {
    return std::make_unique<VstRenderTarget>(path, audio, sampleRate, std::move(midi));
}

}  // namespace cqhost
