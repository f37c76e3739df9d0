#include "files/input_channels.h"

#include <algorithm>

namespace cqhost {

void feedInputs(float* const* inputs, int numInputs, const float* left, const float* right,
                int fileChannels, int frames) {
    for (int i = 0; i < numInputs; ++i) {
        if (numInputs == 1 && fileChannels == 2) {
            for (int f = 0; f < frames; ++f) inputs[0][f] = 0.5f * (left[f] + right[f]);
        } else {
            std::copy_n(i % 2 == 0 ? left : right, frames, inputs[i]);
        }
    }
}

}  // namespace cqhost
