// The host's Linux::IRunLoop as the display's HostLoop: the display's timer and the descriptor
// of its X connection are registered there with the view's own handlers, which forward the
// host's calls to the display (run, onHostDescriptor).
//
// Threads: UI thread (the host's run loop calls and is called there only).
#pragma once

#include "display/host_loop.h"
#include "vst3/vst3_interface.h"

#if !defined(_WIN32)

namespace cqscope::vst3plugin {

class RunLoopHostLoop final : public HostLoop {
  public:
    // `timer` and `events` are the view's handlers, which stay alive while registered (some
    // hosts keep no reference on them).
    RunLoopHostLoop(vst3::Linux::ITimerHandler* timer, vst3::Linux::IEventHandler* events)
        : timer_(timer), events_(events) {}
    ~RunLoopHostLoop() override { setRunLoop(nullptr); }
    RunLoopHostLoop(const RunLoopHostLoop&) = delete;
    RunLoopHostLoop& operator=(const RunLoopHostLoop&) = delete;

    // Takes the run loop `frame` offers (a reference kept until replaced), or none when
    // `frame` is null or offers none. Either call first unregisters what the display still
    // has registered with the old loop and lets go of it.
    void takeFrom(vst3::FUnknown* frame);
    void setRunLoop(vst3::Linux::IRunLoop* loop);
    bool hasRunLoop() const { return loop_ != nullptr; }

    bool startTimer(std::uint32_t periodMs) noexcept override;
    void stopTimer() noexcept override;
    bool watchDescriptor(int fd) noexcept override;
    void unwatchDescriptor(int fd) noexcept override;

  private:
    vst3::Linux::ITimerHandler* timer_;
    vst3::Linux::IEventHandler* events_;
    vst3::Linux::IRunLoop* loop_ = nullptr;
    bool timing_ = false;
    bool watching_ = false;
};

}  // namespace cqscope::vst3plugin

#endif
