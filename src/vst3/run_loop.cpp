#include "vst3/run_loop.h"

#if !defined(_WIN32)

namespace cqscope::vst3plugin {

using namespace vst3;

void RunLoopHostLoop::takeFrom(FUnknown* frame) {
    void* loop = nullptr;
    if (frame == nullptr || frame->queryInterface(Linux::IRunLoop::iid.bytes, &loop) != kResultOk)
        loop = nullptr;
    // queryInterface gave a reference: it becomes ours.
    setRunLoop(nullptr);
    loop_ = static_cast<Linux::IRunLoop*>(loop);
}

void RunLoopHostLoop::setRunLoop(Linux::IRunLoop* loop) {
    stopTimer();
    unwatchDescriptor(-1);
    if (loop != nullptr) loop->addRef();
    if (loop_ != nullptr) loop_->release();
    loop_ = loop;
}

bool RunLoopHostLoop::startTimer(std::uint32_t periodMs) noexcept {
    if (loop_ == nullptr || periodMs == 0) return false;
    stopTimer();
    timing_ = loop_->registerTimer(timer_, periodMs) == kResultOk;
    return timing_;
}

void RunLoopHostLoop::stopTimer() noexcept {
    if (!timing_) return;
    loop_->unregisterTimer(timer_);
    timing_ = false;
}

bool RunLoopHostLoop::watchDescriptor(int fd) noexcept {
    if (loop_ == nullptr || fd < 0) return false;
    // The display watches one descriptor at most; the host removes all of a handler's at once,
    // so the descriptor itself is not needed to unwatch.
    unwatchDescriptor(-1);
    watching_ = loop_->registerEventHandler(events_, fd) == kResultOk;
    return watching_;
}

void RunLoopHostLoop::unwatchDescriptor(int) noexcept {
    if (!watching_) return;
    loop_->unregisterEventHandler(events_);
    watching_ = false;
}

}  // namespace cqscope::vst3plugin

#endif
