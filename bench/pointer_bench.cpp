// cqscope-pointer-bench: what the pointer readout adds to a display refresh, in one run. The
// analyser core and the display (as every shell links them) on the window library's manual
// clock, fed a chord at 44.1 kHz; a refresh is one timer tick handled by the display's run
// call: the transform, the drawing of the picture and its paint into the host's window. A
// round times the same number of refreshes without the pointer and with it resting over the
// display (peaks labelled, cursor read), the order alternating from round to round, each
// refresh after the same fresh blocks of audio (played untimed). The ratio with / without is
// taken within each round and the median over the rounds is printed, with the quartiles as the
// run's spread.
//
//   build/out/cqscope-pointer-bench [ROUNDS [REFRESHES]]   (default 21 rounds of 20 refreshes)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <vector>

#include "core/analyser_core.h"
#include "display/spectrum_display.h"
#include "platform/cqscope_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kBlocksPerRefresh = 9;  // about 100 ms of audio

class Bench {
  public:
    Bench() {
        cqpSetManualClock(TRUE, 1000);
        parent_ = cqpCreateHostWindow(display::kWidth, display::kHeight);
        core_.start();
        if (!core_.waitUntilReady(std::chrono::seconds(60))) {
            std::fprintf(stderr, "cqscope-pointer-bench: the analysis was not ready\n");
            std::exit(1);
        }
        display_ = std::make_unique<SpectrumDisplay>(GetModuleHandleA(nullptr), core_);
        if (!display_->open(parent_)) {
            std::fprintf(stderr, "cqscope-pointer-bench: the display did not open\n");
            std::exit(1);
        }
        // Long enough for every window: the refreshes then see a steady spectrum.
        for (int i = 0; i < 15; ++i) refresh();
    }
    ~Bench() {
        display_.reset();
        DestroyWindow(parent_);
        cqpSetManualClock(FALSE, 0);
    }

    void pointerOver(bool over) {
        if (over) {
            cqpMovePointer(parent_, 403, 250);
        } else {
            cqpPointerLeave(parent_);
        }
        display_->run();
    }

    // Seconds spent in `count` refreshes, the audio before each played untimed.
    double timeRefreshes(int count) {
        double seconds = 0.0;
        for (int i = 0; i < count; ++i) {
            playAudio();
            cqpAdvanceClock(100);
            const auto start = Clock::now();
            display_->run();
            seconds += std::chrono::duration<double>(Clock::now() - start).count();
        }
        return seconds;
    }

  private:
    // A C major chord with a few harmonics.
    void playAudio() {
        std::vector<float> samples(kBlock);
        const float* inputs[2] = {samples.data(), samples.data()};
        for (int b = 0; b < kBlocksPerRefresh; ++b, ++block_) {
            for (int k = 0; k < kBlock; ++k) {
                const double t = static_cast<double>(block_ * kBlock + k) / kRate;
                double v = 0.0;
                for (const double f : {261.63, 329.63, 392.0, 523.25, 784.0})
                    v += 0.12 * std::sin(2 * std::numbers::pi * f * t);
                samples[k] = static_cast<float>(v);
            }
            core_.audio(inputs, kBlock);
        }
    }
    void refresh() {
        playAudio();
        cqpAdvanceClock(100);
        display_->run();
    }

    cqscope::AnalyserCore core_{kRate};
    HWND parent_ = nullptr;
    std::unique_ptr<SpectrumDisplay> display_;
    long block_ = 0;
};

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(at);
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const int refreshes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    Bench bench;
    std::vector<double> ratios, without, with;
    for (int round = 0; round < rounds; ++round) {
        double seconds[2] = {0.0, 0.0};  // [0]: without the pointer, [1]: with it
        for (int turn = 0; turn < 2; ++turn) {
            const int over = (round + turn) % 2;
            bench.pointerOver(over == 1);
            seconds[over] = bench.timeRefreshes(refreshes);
        }
        ratios.push_back(seconds[1] / seconds[0]);
        without.push_back(seconds[0] / refreshes * 1e6);
        with.push_back(seconds[1] / refreshes * 1e6);
    }
    std::printf("display refresh, median over %d rounds of %d refreshes (quartiles):\n", rounds,
                refreshes);
    std::printf("  without the pointer  %8.1f us\n", quantile(without, 0.5));
    std::printf("  with the pointer     %8.1f us\n", quantile(with, 0.5));
    std::printf("  with / without       %8.3f  (%.3f .. %.3f)  goal: at most 1.10\n",
                quantile(ratios, 0.5), quantile(ratios, 0.25), quantile(ratios, 0.75));
    return 0;
}
