// Test signals and shared fixtures for the analysis tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "analysis/constant_q_bank.h"
#include "analysis/kernel_set.h"

namespace cqscope::testing {

constexpr double kTwoPi = 6.283185307179586;

// Fills the whole ring, in time order as a bin with writeCount `now` reads it, with
// amplitude * sin(2 pi f n / rate + phase), n counting from the oldest sample.
inline void fillSine(ConstantQBank& bank, double frequency, double amplitude, double phase,
                     std::uint32_t now = 0) {
    const std::uint32_t length = bank.historyLength();
    bank.setWriteCount(now);
    for (std::uint32_t u = 0; u < length; ++u) {
        const std::uint32_t index = (now + u) % length;
        bank.setHistoryAt(
            index, amplitude * std::sin(kTwoPi * frequency * u / bank.analysisRate() + phase));
    }
}

// Two input and two output channels of one audio block.
struct StereoBlock {
    explicit StereoBlock(std::size_t frames)
        : left(frames), right(frames), outLeft(frames), outRight(frames) {}
    std::vector<float> left, right, outLeft, outRight;
    const float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {nullptr, nullptr};
    const float* const* in() {
        inputs[0] = left.data();
        inputs[1] = right.data();
        return inputs;
    }
    float* const* out() {
        outputs[0] = outLeft.data();
        outputs[1] = outRight.data();
        return outputs;
    }
};

// Index (octave * 120 + bin) of the largest magnitude.
inline int loudestColumn(const Magnitudes& m) {
    int best = 0;
    for (int c = 1; c < kBinCount; ++c) {
        if (m[c / kBinsPerOctave][c % kBinsPerOctave] >
            m[best / kBinsPerOctave][best % kBinsPerOctave]) {
            best = c;
        }
    }
    return best;
}

}  // namespace cqscope::testing
