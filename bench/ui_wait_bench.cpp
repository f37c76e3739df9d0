// How long a host's user-interface thread is held in the first second after the display opens:
// the switch-on (a VST 2 resume on the host's UI thread, a CLAP activate on its main thread),
// the display's open and every pass of the host's loop that lets the display run (its refresh
// timer on the real clock), each timed on its own, while an audio thread plays a tone in real
// time. Two ways of building the kernels, in the same run:
// - on the calling thread (AnalyserCore::startHere): the switch-on waits for the build;
// - beside (AnalyserCore::start): the switch-on and the refreshes return at once.
// The longest call is set against one refresh's transform at that rate, measured afterwards
// (the fastest of several), which is the goal for the build beside.
//
//   build/out/cqscope-ui-wait-bench [ROUNDS]
//
// Each rate and way runs ROUNDS times (default 3), in a fresh core each time (the kernels are
// built anew: a core's kernels go with it); the smallest longest call is kept.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

#include "core/analyser_core.h"
#include "display/display_geometry.h"
#include "display/spectrum_display.h"
#include "display/spectrum_view.h"
#include "platform/cqscope_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Plays a 440 Hz tone into the core in 512-frame blocks, each when it is due in real time.
class AudioThread {
  public:
    AudioThread(cqscope::AnalyserCore& core, double rate)
        : thread_([this, &core, rate] { play(core, rate); }) {}
    ~AudioThread() {
        stop_.store(true);
        thread_.join();
    }

  private:
    void play(cqscope::AnalyserCore& core, double rate) {
        constexpr int kBlock = 512;
        std::vector<float> samples(kBlock);
        const float* inputs[2] = {samples.data(), samples.data()};
        const auto start = Clock::now();
        for (long long block = 0; !stop_.load(); ++block) {
            for (int k = 0; k < kBlock; ++k) {
                const double n = static_cast<double>(block * kBlock + k);
                samples[k] =
                    static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440.0 * n / rate));
            }
            core.audio(inputs, kBlock);
            std::this_thread::sleep_until(
                start + std::chrono::duration<double>((block + 1) * kBlock / rate));
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Longest {
    double ms = 0;
    const char* call = "";
    void take(double candidate, const char* what) {
        if (candidate > ms) {
            ms = candidate;
            call = what;
        }
    }
};

// One switch-on, open and first second of a display at `rate`; answers the longest UI call.
Longest firstSecond(double rate, bool beside, HWND parent) {
    Longest longest;
    cqscope::AnalyserCore core(rate);
    auto started = Clock::now();
    if (beside) {
        (void)core.start();
    } else {
        (void)core.startHere();
    }
    longest.take(msSince(started), "switch-on");
    {
        AudioThread audio(core, rate);
        SpectrumDisplay display(GetModuleHandleA(nullptr), core);
        started = Clock::now();
        if (!display.open(parent)) {
            std::fprintf(stderr, "cannot open the display\n");
            std::exit(1);
        }
        longest.take(msSince(started), "open");
        const auto opened = Clock::now();
        while (msSince(opened) < 1000.0) {
            started = Clock::now();
            display.run();
            cqpPumpMessages(parent);
            longest.take(msSince(started), "refresh");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // Not in the first second: a build still running ends with the core.
    (void)core.waitUntilReady(std::chrono::seconds(60));
    return longest;
}

// One refresh's transform at `rate` over a history full of a tone, once everything is built:
// the fastest of a few, exact (as the first refreshes are, before the float copy is made) and
// as the display computes it.
struct Transforms {
    double exact = 1e9;
    double shown = 1e9;
};
Transforms refreshTransformMs(double rate) {
    cqscope::AnalyserCore core(rate);
    (void)core.startHere();
    std::vector<float> samples(core.analyser().bank().historyLength());
    for (std::size_t n = 0; n < samples.size(); ++n) {
        samples[n] = static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(n) / rate));
    }
    const float* inputs[2] = {samples.data(), samples.data()};
    core.audio(inputs, static_cast<std::int32_t>(samples.size()));
    core.prepareAnalysis();  // the float copy, beside
    (void)core.waitUntilReady(std::chrono::seconds(60));
    Transforms fastest;
    for (int k = 0; k < 5; ++k) {
        auto started = Clock::now();
        core.transform();
        fastest.exact = std::min(fastest.exact, msSince(started));
        started = Clock::now();
        core.transformShown(sameBar);
        fastest.shown = std::min(fastest.shown, msSince(started));
    }
    return fastest;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    HWND parent = cqpCreateHostWindow(display::kWidth, display::kHeight);
    if (parent == nullptr) {
        std::fprintf(stderr, "cannot create the parent window\n");
        return 1;
    }
    std::printf("longest user-interface call in the first second after the display opens\n");
    std::printf("%8s  %26s  %26s  %20s  %16s\n", "rate", "built on the caller (ms)",
                "built beside (ms)", "transform exact/shown", "beside/exact");
    for (const double rate : {44100.0, 96000.0, 192000.0}) {
        Longest caller;
        Longest beside;
        caller.ms = beside.ms = 1e9;
        for (int round = 0; round < rounds; ++round) {
            const Longest c = firstSecond(rate, false, parent);
            if (c.ms < caller.ms) caller = c;
            const Longest b = firstSecond(rate, true, parent);
            if (b.ms < beside.ms) beside = b;
        }
        const Transforms transform = refreshTransformMs(rate);
        std::printf("%8.0f  %14.1f (%-9s)  %14.1f (%-9s)  %8.2f / %6.2f ms  %16.2f\n", rate,
                    caller.ms, caller.call, beside.ms, beside.call, transform.exact,
                    transform.shown, beside.ms / transform.exact);
        std::fflush(stdout);
    }
    DestroyWindow(parent);
    return 0;
}
