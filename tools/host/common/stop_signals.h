// Ctrl-C and SIGTERM as a request to stop, for the commands that run until the user ends them
// (watch, listen): while an object lives, either signal only sets a flag that the command's
// loop polls; the previous handlers come back when it goes. Main thread only; one at a time.
#pragma once

#include <signal.h>

#include <atomic>

namespace cqhost {

class StopOnSignals {
  public:
    StopOnSignals() {
        requested() = false;
        struct sigaction action {};
        action.sa_handler = [](int) { requested() = true; };
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~StopOnSignals() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    // Whether Ctrl-C or SIGTERM arrived since construction.
    bool stopRequested() const { return requested().load(); }

  private:
    static std::atomic<bool>& requested() {
        static std::atomic<bool> flag{false};
        return flag;
    }
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

}  // namespace cqhost
