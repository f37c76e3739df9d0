// Both input channels copied unchanged to the outputs, whatever the host's buffers share.
// Thread: the host's audio thread; never waits, locks or allocates.
#pragma once

#include <cstdint>

namespace cqscope::lv2 {

// Copies `frames` frames of inputs[0] and inputs[1] to outputs[0] and outputs[1] bit for bit,
// frame by frame (each frame read before it is written), so in-place and crossed buffers work.
inline void passThrough(const float* const* inputs, float* const* outputs,
                        std::uint32_t frames) noexcept {
    const float* in0 = inputs[0];
    const float* in1 = inputs[1];
    for (std::uint32_t k = 0; k < frames; ++k) {
        const float left = in0[k];
        const float right = in1[k];
        outputs[0][k] = left;
        outputs[1][k] = right;
    }
}

}  // namespace cqscope::lv2
