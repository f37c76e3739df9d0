// Writes the render's PNG pictures beside the render itself. The render thread hands each
// picture over with add(); encoder threads turn it into PNG bytes and write its file. A picture
// identical to the one handed over before it (a display that did not change between two
// captures, as in silence) reuses that picture's bytes instead of being encoded again. Each
// file's bytes depend only on its pixels, so the output is the same whatever the number of
// threads.
//
// Threads: add() and finish() on the render thread only; the encoder threads are private.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/pixel_pool.h"

namespace cqhost {

class PictureWriter {
  public:
    // encoderThreads: threads that encode beside the render; 0 encodes inside add().
    // intoStagedFolder: the paths lie in a StagedFolder, flushed and published whole at the
    // end (one flush, not one per picture).
    PictureWriter(int width, int height, int encoderThreads, bool intoStagedFolder = false);
    // Stops the encoders; pictures not yet written are dropped.
    ~PictureWriter();
    PictureWriter(const PictureWriter&) = delete;
    PictureWriter& operator=(const PictureWriter&) = delete;

    // A buffer for the next picture's width x height pixels.
    PixelPool::Buffer buffer() { return pool_.take(); }
    // Takes the width x height pixels (0x00RRGGBB, top row first; a buffer from buffer())
    // to be written to `path`. Waits while the encoders are too far behind, so that memory
    // stays bounded. Throws the HostError of an earlier picture that could not be written.
    void add(const std::string& path, PixelPool::Buffer pixels);
    // The picture handed over last, once more, to be written to `path` (for a caller that
    // knows the display has not changed). Requires an earlier add().
    void addRepeat(const std::string& path);
    // Waits until every picture is written; throws the first failure.
    void finish();

  private:
    struct Job {
        std::string path;
        PixelPool::Picture pixels;  // null: reuse `bytes`
        std::shared_ptr<std::promise<std::string>> encoded;
        std::shared_future<std::string> bytes;
    };

    // Encodes (unless reused) and writes one picture; throws HostError.
    void run(Job& job) const;
    void submit(Job job);
    void work();
    void rethrowFailure();

    int width_, height_;
    bool intoStagedFolder_;
    size_t pixelCount_;
    PixelPool pool_;
    size_t maxQueued_;
    size_t buffersWanted_;         // the most in use at once: those queued, encoding and being read
    PixelPool::Picture previous_;  // shared with its job
    std::shared_future<std::string> previousBytes_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    size_t busy_ = 0;
    bool prepared_ = false;        // buffers have been asked for (at the first picture)
    bool prepareBuffers_ = false;  // from the first picture until the pool has them all
    bool closing_ = false;
    std::exception_ptr failure_;
    std::vector<std::thread> threads_;
};

}  // namespace cqhost
