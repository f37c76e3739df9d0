// Where the note readout's lines go (the lines themselves are the core's, analysis/peaks.h):
// stderr, or a text file. Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace cqhost {

class BufferedOutput;

// Where readout lines go: stderr, or a text file that appears only when the work completes.
class PeakReport {
  public:
    // Throws HostError when the file cannot be created.
    explicit PeakReport(const std::optional<std::string>& path);
    ~PeakReport();
    PeakReport(const PeakReport&) = delete;
    PeakReport& operator=(const PeakReport&) = delete;

    void line(const std::string& text);
    // Commits the file, if there is one.
    void finish();

  private:
    std::unique_ptr<BufferedOutput> file_;
    bool terminal_ = false;
};

}  // namespace cqhost
