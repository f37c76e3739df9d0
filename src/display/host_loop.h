// HostLoop: what a host's main loop offers a display beyond calling it: a repeating timer and
// the watching of a file descriptor. A shell implements it over its host interface's services
// (CLAP's timer and posix-fd support, a VST 3 run loop) and hands it to its SpectrumDisplay,
// which decides what to ask for and when; the shell forwards the host's timer calls to the
// display's `run` and its descriptor calls to `onHostDescriptor`.
//
// Threads: every call on the user-interface thread that owns the display.
#pragma once

#include <cstdint>

class HostLoop {
  public:
    virtual ~HostLoop() = default;

    // Asks the host to call the display every `periodMs` milliseconds until stopTimer; false
    // when the host offers no timers or refuses. The display holds at most one timer.
    virtual bool startTimer(std::uint32_t periodMs) noexcept = 0;
    virtual void stopTimer() noexcept = 0;
    // Asks the host to tell the display when `fd` is readable or in error, until
    // unwatchDescriptor(fd); false when the host offers no descriptors or refuses. The display
    // watches at most one descriptor.
    virtual bool watchDescriptor(int fd) noexcept = 0;
    virtual void unwatchDescriptor(int fd) noexcept = 0;
};
