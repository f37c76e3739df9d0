#include "common/progress.h"

#include <unistd.h>

#include <cstdio>

namespace cqhost {
namespace {

constexpr auto kQuietPeriod = std::chrono::seconds(2);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
constexpr int kBarWidth = 40;

}  // namespace

ProgressBar::ProgressBar(std::string label, long long total)
    : label_(std::move(label)),
      total_(total > 0 ? total : 1),
      terminal_(::isatty(STDERR_FILENO) != 0),
      started_(Clock::now()),
      lastDrawn_(started_) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(long long done) {
    if (!terminal_) return;
    const auto now = Clock::now();
    if (now - started_ < kQuietPeriod || (shown_ && now - lastDrawn_ < kRedrawPeriod)) return;
    lastDrawn_ = now;
    shown_ = true;
    const double fraction = done >= total_ ? 1.0 : static_cast<double>(done) / total_;
    const int filled = static_cast<int>(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar,
                 static_cast<int>(fraction * 100.0));
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!shown_) return;
    shown_ = false;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size()) + kBarWidth + 8, "");
    std::fflush(stderr);
}

}  // namespace cqhost
