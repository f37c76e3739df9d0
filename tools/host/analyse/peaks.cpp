#include "analyse/peaks.h"

#include <unistd.h>

#include <cstdio>

#include "files/output_file.h"

namespace cqhost {

PeakReport::PeakReport(const std::optional<std::string>& path)
    : terminal_(!path && ::isatty(STDERR_FILENO) != 0) {
    if (path) file_ = std::make_unique<BufferedOutput>(*path);
}

PeakReport::~PeakReport() = default;

void PeakReport::line(const std::string& text) {
    if (file_) {
        file_->append(text);
        file_->append("\n");
        return;
    }
    // On a terminal the progress bar may stand on the current line: clear it first (the bar
    // redraws itself below).
    std::fprintf(stderr, "%s%s\n", terminal_ ? "\r\x1b[K" : "", text.c_str());
}

void PeakReport::finish() {
    if (file_) file_->commit();
}

}  // namespace cqhost
