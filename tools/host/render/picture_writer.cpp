#include "render/picture_writer.h"

#include <algorithm>

#include "files/png_file.h"

namespace cqhost {
namespace {

// Pictures waiting per encoder. Two would keep an encoder busy if both sides took the same
// time for every picture; they do not (a picture with bars costs the render and the encoder
// several times what an empty one does), and a longer queue lets each side run ahead through
// the other's slow stretch. At most about 16 MB per encoder, and never fewer than two.
size_t queueLength(size_t pixelCount, int encoderThreads) {
    constexpr size_t kBudgetBytes = size_t{16} << 20;
    const size_t perEncoder =
        std::clamp<size_t>(kBudgetBytes / (pixelCount * sizeof(std::uint32_t)), 2, 8);
    return perEncoder * static_cast<size_t>(std::max(encoderThreads, 1));
}

}  // namespace

PictureWriter::PictureWriter(int width, int height, int encoderThreads, bool intoStagedFolder)
    : width_(width),
      height_(height),
      intoStagedFolder_(intoStagedFolder),
      pixelCount_(static_cast<size_t>(width) * height),
      pool_(pixelCount_),
      maxQueued_(queueLength(pixelCount_, encoderThreads)),
      // Besides the queue: one per encoder, the previous picture and the one being read.
      buffersWanted_(maxQueued_ + static_cast<size_t>(std::max(encoderThreads, 0)) + 2) {
    for (int i = 0; i < encoderThreads; ++i) threads_.emplace_back([this] { work(); });
}

PictureWriter::~PictureWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    for (auto& thread : threads_) thread.join();
}

void PictureWriter::run(Job& job) const {
    if (job.pixels) {
        try {
            job.encoded->set_value(encodePng(job.pixels->data(), width_, height_));
        } catch (...) {
            job.encoded->set_exception(std::current_exception());
        }
    }
    writeFileAtomically(job.path, job.bytes.get(), intoStagedFolder_);
}

void PictureWriter::add(const std::string& path, PixelPool::Buffer pixels) {
    Job job;
    job.path = path;
    const bool same = previous_ && *previous_ == *pixels;
    if (same) {
        pool_.giveBack(std::move(pixels));
        job.bytes = previousBytes_;
    } else {
        previous_ = pool_.share(std::move(pixels));
        job.pixels = previous_;
        job.encoded = std::make_shared<std::promise<std::string>>();
        job.bytes = job.encoded->get_future().share();
        previousBytes_ = job.bytes;
    }
    submit(std::move(job));
}

void PictureWriter::addRepeat(const std::string& path) {
    Job job;
    job.path = path;
    job.bytes = previousBytes_;
    submit(std::move(job));
}

void PictureWriter::submit(Job job) {
    if (threads_.empty()) {
        run(job);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || queue_.size() < maxQueued_; });
    rethrowFailure();
    queue_.push_back(std::move(job));
    if (!prepared_) prepareBuffers_ = prepared_ = true;
    changed_.notify_all();
}

void PictureWriter::finish() {
    if (!threads_.empty()) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return failure_ || (queue_.empty() && busy_ == 0); });
        rethrowFailure();
    }
}

void PictureWriter::rethrowFailure() {
    if (failure_) std::rethrow_exception(failure_);
}

void PictureWriter::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return closing_ || !queue_.empty() || prepareBuffers_; });
        if (closing_) return;
        if (queue_.empty()) {
            // Nothing to encode: the buffers the render will want are made here instead of on
            // the render thread, which has the most to do. Not before the first picture, so
            // as not to compete with the plug-in's start.
            lock.unlock();
            bool more = false;
            try {
                more = pool_.prepare(buffersWanted_);
            } catch (const std::bad_alloc&) {
                // The render makes its buffers itself, or fails there with the reason.
            }
            lock.lock();
            if (!more) prepareBuffers_ = false;
            continue;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        ++busy_;
        changed_.notify_all();
        lock.unlock();
        // A reused picture waits here for the bytes of the one it repeats; that one was
        // taken from the queue earlier, by a thread that does not wait, so this ends.
        std::exception_ptr failed;
        try {
            run(job);
        } catch (...) {
            failed = std::current_exception();
        }
        lock.lock();
        --busy_;
        if (failed && !failure_) failure_ = failed;
        changed_.notify_all();
    }
}

}  // namespace cqhost
