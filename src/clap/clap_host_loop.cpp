#include "clap/clap_host_loop.h"

namespace cqscope::clap {

void ClapHostLoop::init() {
    if (host_->get_extension == nullptr) return;
    const auto* timers = static_cast<const clap_host_timer_support*>(
        host_->get_extension(host_, CLAP_EXT_TIMER_SUPPORT));
    if (timers != nullptr && timers->register_timer != nullptr &&
        timers->unregister_timer != nullptr)
        timers_ = timers;
    const auto* fds = static_cast<const clap_host_posix_fd_support*>(
        host_->get_extension(host_, CLAP_EXT_POSIX_FD_SUPPORT));
    if (fds != nullptr && fds->register_fd != nullptr && fds->modify_fd != nullptr &&
        fds->unregister_fd != nullptr)
        fds_ = fds;
}

bool ClapHostLoop::startTimer(std::uint32_t periodMs) noexcept {
    clap_id timer = CLAP_INVALID_ID;
    if (timers_ == nullptr || !timers_->register_timer(host_, periodMs, &timer)) return false;
    timer_ = timer;
    return true;
}

void ClapHostLoop::stopTimer() noexcept {
    if (timer_ == CLAP_INVALID_ID) return;
    timers_->unregister_timer(host_, timer_);
    timer_ = CLAP_INVALID_ID;
}

bool ClapHostLoop::watchDescriptor(int fd) noexcept {
    return fds_ != nullptr &&
           fds_->register_fd(host_, fd, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR);
}

void ClapHostLoop::unwatchDescriptor(int fd) noexcept {
    if (fds_ != nullptr) fds_->unregister_fd(host_, fd);
}

}  // namespace cqscope::clap
