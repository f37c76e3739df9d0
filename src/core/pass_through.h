// A shell's outputs: both input channels copied unchanged, however the host hands the buffers
// over (an output may be its own input, in place, or even overlap the other input). Every
// shell passes its audio on with it (the VST 2 effect, the LV2 plug-in).
//
// Thread: the host's audio thread; never waits, locks or allocates.
#pragma once

#include <cstdint>

// What a frame's copy reads when an output overlaps the other channel's input.
enum class FrameOrder {
    // Output 0, then output 1, from the buffers as they stand: the VST 2 effect's order, which
    // its hosts have always seen (cross-wired buffers get the left channel twice).
    kChannelAfterChannel,
    // Both inputs of the frame are read before either output is written, so every output is
    // its input as it was (cross-wired buffers swap correctly): for interfaces that promise
    // that, such as LV2.
    kInputsFirst,
};

// Copies channel 0 and channel 1 of `frames` frames to the outputs bit for bit. In-place
// buffers are left as they are; when an output overlaps the other channel's input, the copy
// goes frame by frame in `order`, each frame's outputs written before the next frame is read.
// `frames` <= 0 copies nothing.
void passThrough(const float* const* inputs, float* const* outputs, std::int32_t frames,
                 FrameOrder order = FrameOrder::kChannelAfterChannel) noexcept;
