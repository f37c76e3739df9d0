// Where a render's captures go, chosen once from its plan: one PNG picture, numbered PNG
// pictures in a folder, or a video with the audio's sound. Encoding runs on other threads
// beside the render (picture_writer.h, video_file.h); the calls here are the render's, on the
// main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "render/pixel_pool.h"
#include "render/render_plan.h"

namespace cqhost {

class RenderSink {
  public:
    virtual ~RenderSink() = default;

    // Opens the encoders for pictures of width x height pixels. Called once, before any
    // capture.
    virtual void open(int width, int height) = 0;
    // A buffer for the next capture's pixels (read into it, then handed to add).
    virtual PixelPool::Buffer buffer() = 0;
    // Capture `index` of the plan: width x height pixels, 0x00RRGGBB, top row first.
    virtual void add(size_t index, PixelPool::Buffer pixels) = 0;
    // Capture `index`, showing what the capture before it showed.
    virtual void addRepeat(size_t index) = 0;
    // Each block of audio the plug-in got, in order (a video's sound).
    virtual void addAudio(const float*, const float*, int) {}
    // Completes the encoding; throws HostError when anything could not be written.
    virtual void finish() = 0;
    // Keeps what was written (otherwise it is removed with the sink); throws HostError.
    virtual void commit() {}
    // "wrote NAME", with the count of pictures or frames where there are several.
    virtual std::string summary() const = 0;
};

// Checks at once that the destination can be written (creating a folder for numbered
// pictures); throws HostError when it cannot. `threads` counts the render's own.
std::unique_ptr<RenderSink> makeRenderSink(const RenderPlan& plan, const RenderOptions& options,
                                           const AudioSource& audio, int threads);

}  // namespace cqhost
