// A steady tone as hosts that cut their blocks short hand it to a plug-in, for the tests of
// every shell.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

// A host that cuts its audio into blocks of `frames` frames and calls with no frames (as hosts
// do to flush parameters) just before each refresh: `seconds` of a 440 Hz sine of amplitude
// `level` (silence for 0) on both channels from `frame` on, at `rate` Hz, through
// `play(channels, frames)`; `refresh()` every 100 ms of audio.
template <class Play, class Refresh>
void playCutIntoBlocks(double rate, std::uint32_t frames, double seconds, double level, long& frame,
                       Play play, Refresh refresh) {
    std::vector<float> left(frames), right(frames);
    float* channels[] = {left.data(), right.data()};
    const auto total = static_cast<long>(seconds * rate);
    const auto perRefresh = static_cast<long>(rate / 10);
    for (long done = 0; done < total;) {
        const long end = std::min(total, (done / perRefresh + 1) * perRefresh);
        while (done < end) {
            const auto n = static_cast<std::uint32_t>(std::min<long>(frames, end - done));
            for (std::uint32_t k = 0; k < n; ++k, ++frame) {
                left[k] = static_cast<float>(level * std::sin(2 * std::numbers::pi * 440.0 *
                                                              static_cast<double>(frame) / rate));
                right[k] = left[k];
            }
            play(channels, n);
            done += n;
        }
        play(channels, 0u);
        refresh();
    }
}
