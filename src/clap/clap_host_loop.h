// The CLAP host's timer and posix-fd support as the display's HostLoop: the display asks for
// its timer and descriptor through it, and the plug-in forwards on_timer (for timerId) and
// on_fd to the display.
//
// Threads: main thread (init, and every timer and fd call of the interface).
#pragma once

#include "clap/clap_interface.h"
#include "display/host_loop.h"

namespace cqscope::clap {

class ClapHostLoop : public HostLoop {
  public:
    explicit ClapHostLoop(const clap_host* host) : host_(host) {}

    // Finds the host's timer and fd support (the plug-in's init; a record with a missing
    // function counts as none).
    void init();

    // The host timer the display holds, or CLAP_INVALID_ID.
    clap_id timerId() const { return timer_; }

    bool startTimer(std::uint32_t periodMs) noexcept override;
    void stopTimer() noexcept override;
    bool watchDescriptor(int fd) noexcept override;
    void unwatchDescriptor(int fd) noexcept override;

  private:
    const clap_host* host_;
    const clap_host_timer_support* timers_ = nullptr;
    const clap_host_posix_fd_support* fds_ = nullptr;
    clap_id timer_ = CLAP_INVALID_ID;
};

}  // namespace cqscope::clap
