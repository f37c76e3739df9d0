#include "core/pass_through.h"

#include <cstddef>
#include <cstring>

namespace {

// True if [a, a + n) and [b, b + n) share a float.
bool overlaps(const float* a, const float* b, std::int32_t n) noexcept {
    const auto pa = reinterpret_cast<std::uintptr_t>(a);
    const auto pb = reinterpret_cast<std::uintptr_t>(b);
    const auto bytes = static_cast<std::uintptr_t>(n) * sizeof(float);
    return pa < pb + bytes && pb < pa + bytes;
}

// When an output buffer overlaps an input other than its own, the frame-by-frame order decides
// what is read, so only then is the copy made frame by frame.
bool needsFrameOrder(const float* in0, const float* in1, const float* out0, const float* out1,
                     std::int32_t frames) noexcept {
    return (out0 != in0 && (overlaps(out0, in0, frames) || overlaps(out0, in1, frames))) ||
           (out1 != in1 && (overlaps(out1, in0, frames) || overlaps(out1, in1, frames)));
}

}  // namespace

void passThrough(const float* const* inputs, float* const* outputs, std::int32_t frames,
                 FrameOrder order) noexcept {
    if (frames <= 0) return;
    const float* in0 = inputs[0];
    const float* in1 = inputs[1];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    if (needsFrameOrder(in0, in1, out0, out1, frames)) {
        if (order == FrameOrder::kInputsFirst) {
            for (std::int32_t k = 0; k < frames; ++k) {
                const float left = in0[k];
                const float right = in1[k];
                out0[k] = left;
                out1[k] = right;
            }
            return;
        }
        for (std::int32_t k = 0; k < frames; ++k) {
            out0[k] = in0[k];
            out1[k] = in1[k];
        }
        return;
    }
    if (out0 != in0) std::memcpy(out0, in0, static_cast<std::size_t>(frames) * sizeof(float));
    if (out1 != in1) std::memcpy(out1, in1, static_cast<std::size_t>(frames) * sizeof(float));
}
