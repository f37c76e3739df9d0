// Copies of pictures for the encoder threads, in buffers that are used again once every
// holder has let go, so that a long render does not map, fault in and release fresh memory
// for each picture. copy() on the render thread; the copies may be released on any thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace cqhost {

class PixelPool {
  public:
    using Picture = std::shared_ptr<const std::vector<std::uint32_t>>;

    explicit PixelPool(size_t pixelCount) : state_(std::make_shared<State>()) {
        state_->pixelCount = pixelCount;
    }

    // A copy of pixelCount pixels.
    Picture copy(const std::uint32_t* pixels) {
        std::unique_ptr<std::vector<std::uint32_t>> buffer;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            if (!state_->spare.empty()) {
                buffer = std::move(state_->spare.back());
                state_->spare.pop_back();
            }
        }
        if (!buffer) buffer = std::make_unique<std::vector<std::uint32_t>>(state_->pixelCount);
        std::copy(pixels, pixels + state_->pixelCount, buffer->begin());
        // The deleter keeps the pool's state alive, so a copy may outlive the pool.
        return Picture(buffer.release(), [state = state_](const std::vector<std::uint32_t>* used) {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->spare.emplace_back(const_cast<std::vector<std::uint32_t>*>(used));
        });
    }

  private:
    struct State {
        size_t pixelCount = 0;
        std::mutex mutex;
        std::vector<std::unique_ptr<std::vector<std::uint32_t>>> spare;
    };
    std::shared_ptr<State> state_;
};

}  // namespace cqhost
