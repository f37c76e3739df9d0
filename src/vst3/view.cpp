#include "vst3/view.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "display/display_geometry.h"
#include "display/spectrum_display.h"
#include "kit/own_module.h"
#include "platform/win32.h"
#include "vst3/run_loop.h"
#include "vst3/unknown.h"

namespace cqscope::vst3plugin {

using namespace vst3;

namespace {

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

// The view's size at a whole factor of the display's scale.
ViewRect sizeAt(int scale) {
    return ViewRect{0, 0, display::kWidth * scale, display::kHeight * scale};
}

#if defined(_WIN32)
class View final : public IPlugView, public IPlugViewContentScaleSupport {
#else
class View final : public IPlugView,
                   public IPlugViewContentScaleSupport,
                   public Linux::ITimerHandler,
                   public Linux::IEventHandler {
#endif
  public:
    View(AnalyserCore& core, FUnknown* owner) : core_(core), owner_(owner) {
        owner_->addRef();
    }

    // ---- FUnknown (any thread) --------------------------------------------------------------

    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        void* found = nullptr;
        if (isUid(iid, FUnknown::iid) || isUid(iid, IPlugView::iid))
            found = static_cast<IPlugView*>(this);
        else if (isUid(iid, IPlugViewContentScaleSupport::iid))
            found = static_cast<IPlugViewContentScaleSupport*>(this);
#if !defined(_WIN32)
        else if (isUid(iid, Linux::ITimerHandler::iid))
            found = static_cast<Linux::ITimerHandler*>(this);
        else if (isUid(iid, Linux::IEventHandler::iid))
            found = static_cast<Linux::IEventHandler*>(this);
#endif
        return answerQuery(obj, found, references_);
    }
    uint32 PLUGIN_API addRef() override {
        return references_.add();
    }
    uint32 PLUGIN_API release() override {
        const uint32 left = references_.drop();
        if (left == 0) delete this;
        return left;
    }

    // ---- IPlugView (UI thread) --------------------------------------------------------------

    tresult PLUGIN_API isPlatformTypeSupported(FIDString type) override {
        return type != nullptr && std::strcmp(type, kPlatformType) == 0 ? kResultTrue
                                                                        : kResultFalse;
    }
    // Opens the display in `parent`; attached again without removed first reopens it there.
    tresult PLUGIN_API attached(void* parent, FIDString type) override {
        if (parent == nullptr || isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
        const HINSTANCE module = ownModule();
        if (module == nullptr) return kResultFalse;
        display_.reset();
#if defined(_WIN32)
        HostLoop* loop = nullptr;
        const HWND window = static_cast<HWND>(parent);
#else
        // The frame's run loop, asked for now that the display needs it (setFrame came first).
        loop_.takeFrom(frame_);
        HostLoop* loop = loop_.hasRunLoop() ? &loop_ : nullptr;
        // The X11 window ID itself travels in the pointer; our window library takes a foreign
        // window ID where a parent handle goes.
        const HWND window = reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(parent));
#endif
        try {
            display_ = std::make_unique<SpectrumDisplay>(module, core_, loop);
        } catch (...) {
            return kOutOfMemory;
        }
        display_->setScale(scale_);
        if (!display_->open(window)) {
            display_.reset();
            return kResultFalse;
        }
        return kResultOk;
    }
    // Closes the display, which gives the host's timer and descriptor back.
    tresult PLUGIN_API removed() override {
        display_.reset();
#if !defined(_WIN32)
        loop_.setRunLoop(nullptr);
#endif
        return kResultOk;
    }
    tresult PLUGIN_API onWheel(float) override {
        return kResultFalse;
    }
    tresult PLUGIN_API onKeyDown(char16, int16, int16) override {
        return kResultFalse;
    }
    tresult PLUGIN_API onKeyUp(char16, int16, int16) override {
        return kResultFalse;
    }
    tresult PLUGIN_API getSize(ViewRect* size) override {
        if (size == nullptr) return kInvalidArgument;
        *size = sizeAt(scale_);
        return kResultOk;
    }
    tresult PLUGIN_API onSize(ViewRect* newSize) override {
        return newSize != nullptr ? kResultOk : kInvalidArgument;
    }
    tresult PLUGIN_API onFocus(TBool) override {
        return kResultOk;
    }
    tresult PLUGIN_API setFrame(IPlugFrame* frame) override {
        if (frame != nullptr) frame->addRef();
        if (frame_ != nullptr) frame_->release();
        frame_ = frame;
        return kResultOk;
    }
    tresult PLUGIN_API canResize() override {
        return kResultFalse;
    }
    tresult PLUGIN_API checkSizeConstraint(ViewRect* rect) override {
        if (rect == nullptr) return kInvalidArgument;
        *rect = sizeAt(scale_);
        return kResultTrue;
    }

    // ---- IPlugViewContentScaleSupport (UI thread) -------------------------------------------

    // The host's scale (2.0 = 200 %) becomes the display's whole factor, the nearest within
    // 1..3, before or after attached; once attached, the display reopens at the new size and
    // the frame is asked for the room.
    tresult PLUGIN_API setContentScaleFactor(float factor) override {
        const int scale = display::scaleOfHostScale(factor);
        if (scale == scale_) return kResultTrue;
        scale_ = scale;
        if (display_ != nullptr) {
            display_->setScale(scale_);
            ViewRect size = sizeAt(scale_);
            if (frame_ != nullptr) (void)frame_->resizeView(this, &size);
        }
        return kResultTrue;
    }

#if !defined(_WIN32)
    // ---- The host's run loop (UI thread) ----------------------------------------------------

    void PLUGIN_API onTimer() override {
        if (display_ != nullptr) display_->run();
    }
    void PLUGIN_API onFDIsSet(Linux::FileDescriptor fd) override {
        if (display_ != nullptr) display_->onHostDescriptor(fd, false);
    }
#endif

  private:
    ~View() {
        display_.reset();
        if (frame_ != nullptr) frame_->release();
#if !defined(_WIN32)
        loop_.setRunLoop(nullptr);
#endif
        owner_->release();
    }

    ReferenceCount references_;
    AnalyserCore& core_;
    FUnknown* owner_;  // keeps core_ alive
    IPlugFrame* frame_ = nullptr;
    int scale_ = display::kMinScale;  // the host's content scale as a whole factor
#if !defined(_WIN32)
    RunLoopHostLoop loop_{this, this};  // outlives display_, which holds it
#endif
    std::unique_ptr<SpectrumDisplay> display_;  // between attached and removed
};

}  // namespace

IPlugView* createView(AnalyserCore& core, FUnknown* owner) {
    if (owner == nullptr) return nullptr;
    return new (std::nothrow) View(core, owner);
}

}  // namespace cqscope::vst3plugin
