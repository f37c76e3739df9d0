// Pictures for the encoder threads, in buffers that are used again once every holder has let
// go, so that a long render does not map, fault in and release fresh memory for each picture.
// The render reads a picture straight into a buffer it takes, then shares it with the
// encoders (or gives it back). take, share and giveBack on the render thread; prepare, and the
// release of shared pictures, on any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "analysis/large_pages.h"

namespace cqhost {

class PixelPool {
  public:
    // In 2 MiB pages where the system has them: a picture is about that size.
    using Pixels = cqscope::LargeVector<std::uint32_t>;
    using Picture = std::shared_ptr<const Pixels>;
    using Buffer = std::unique_ptr<Pixels>;

    explicit PixelPool(size_t pixelCount) : state_(std::make_shared<State>()) {
        state_->pixelCount = pixelCount;
    }

    // A buffer of pixelCount pixels, of unspecified content.
    Buffer take() {
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            if (!state_->spare.empty()) {
                Buffer buffer = std::move(state_->spare.back());
                state_->spare.pop_back();
                return buffer;
            }
        }
        Buffer buffer = std::make_unique<Pixels>(state_->pixelCount);
        std::lock_guard<std::mutex> lock(state_->mutex);
        ++state_->made;
        return buffer;
    }

    // Makes one more buffer for the spares, unless `most` have been made; answers whether it
    // did. Any thread: an encoder with nothing to do calls it, so that the render thread finds
    // buffers whose memory is already in place (the first touch of a page is the costly one).
    bool prepare(size_t most) {
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            if (state_->made >= most) return false;
            ++state_->made;
        }
        Buffer buffer = std::make_unique<Pixels>(state_->pixelCount);
        giveBack(std::move(buffer));
        return true;
    }

    // The buffer, read only from now on; back in the pool once every holder has let go.
    Picture share(Buffer buffer) {
        // The deleter keeps the pool's state alive, so a picture may outlive the pool.
        return Picture(buffer.release(), [state = state_](const Pixels* used) {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->spare.emplace_back(const_cast<Pixels*>(used));
        });
    }

    void giveBack(Buffer buffer) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->spare.push_back(std::move(buffer));
    }

  private:
    struct State {
        size_t pixelCount = 0;
        std::mutex mutex;
        size_t made = 0;  // buffers made so far
        std::vector<Buffer> spare;
    };
    std::shared_ptr<State> state_;
};

}  // namespace cqhost
