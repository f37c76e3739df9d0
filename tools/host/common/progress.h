// A progress bar on stderr for long work. It stays invisible unless stderr is a terminal and
// the work has run for more than two seconds, so pipes, logs and short runs stay quiet.
// Main thread only.
#pragma once

#include <chrono>
#include <string>

namespace cqhost {

class ProgressBar {
  public:
    // total: the amount of work in any unit (frames here).
    ProgressBar(std::string label, long long total);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(long long done);
    // Clears the bar line, if one was drawn.
    void finish();

  private:
    using Clock = std::chrono::steady_clock;
    std::string label_;
    long long total_;
    bool terminal_;
    bool shown_ = false;
    Clock::time_point started_;
    Clock::time_point lastDrawn_;
};

}  // namespace cqhost
