#include "render/video_file.h"

#include <cmath>
#include <cstdio>

#include "common/host_error.h"
#include "files/output_file.h"

namespace cqhost {
namespace {

// Queued frames the encoder thread may be behind by: a few MB, and enough to even out the
// render's uneven pace (a refresh with a transform, then frames that only repeat).
constexpr size_t kMaxQueuedFrames = 6;

// Makes `samples` fit the sound encoders: a value that is not finite becomes 0 and the rest are
// clipped to [-1, 1] (the full scale of AAC's float input and FLAC's integers). Returns the
// index of the first sample changed, or -1.
long long fitForEncoder(std::vector<float>& samples) {
    long long first = -1;
    for (size_t i = 0; i < samples.size(); ++i) {
        const float value = samples[i];
        if (std::isfinite(value) && value >= -1.0f && value <= 1.0f) continue;
        samples[i] = std::isfinite(value) ? std::fmin(std::fmax(value, -1.0f), 1.0f) : 0.0f;
        if (first < 0) first = static_cast<long long>(i);
    }
    return first;
}

}  // namespace

bool isVideoPath(const std::string& path) {
    const std::string extension = fileExtension(path);
    return extension == "mp4" || extension == "mkv";
}

VideoWriter::VideoWriter(const std::string& path, const VideoFormat& format, bool encoderThread)
    : output_(path),
      encoder_(openVideoEncoder(output_.temporary(), path, format)),
      pixelCount_(static_cast<size_t>(format.width) * format.height),
      pool_(pixelCount_),
      channels_(format.channels),
      sampleRate_(format.sampleRate) {
    if (encoderThread) thread_ = std::thread([this] { work(); });
}

VideoWriter::~VideoWriter() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
            queue_.clear();
        }
        changed_.notify_all();
        thread_.join();
    }
}

void VideoWriter::addAudio(const float* left, const float* right, int frames) {
    Item item;
    item.left.assign(left, left + frames);
    long long changed = fitForEncoder(item.left);
    if (channels_ > 1) {
        item.right.assign(right, right + frames);
        const long long changedRight = fitForEncoder(item.right);
        if (changed < 0 || (changedRight >= 0 && changedRight < changed)) changed = changedRight;
    }
    if (changed >= 0 && !warnedOfSamples_) {
        warnedOfSamples_ = true;
        std::fprintf(stderr,
                     "cqscope-host: warning: the audio at %.3f s has a sample that is not finite "
                     "or beyond full scale; the video's sound has such samples as 0 or clipped "
                     "to [-1, 1]\n",
                     static_cast<double>(samplesIn_ + changed) / sampleRate_);
    }
    samplesIn_ += frames;
    if (thread_.joinable()) {
        // The encoder thread has the pictures' work; the sound is encoded here.
        item.sound = encoder_->encodeAudio(item.left.data(), item.right.data(), frames);
        item.left.clear();
        item.right.clear();
    }
    submit(std::move(item));
}

void VideoWriter::addFrame(PixelPool::Buffer pixels) {
    Item item;
    item.isFrame = true;
    // Between two refreshes of the display its frames repeat: those are not converted again.
    item.repeat = previous_ && *previous_ == *pixels;
    if (item.repeat) {
        pool_.giveBack(std::move(pixels));
    } else {
        previous_ = pool_.share(std::move(pixels));
        item.pixels = previous_;
    }
    submit(std::move(item));
}

void VideoWriter::addRepeat() {
    Item item;
    item.isFrame = true;
    item.repeat = true;
    submit(std::move(item));
}

void VideoWriter::submit(Item item) {
    if (!thread_.joinable()) {
        if (!item.isFrame) {
            encoder_->addAudio(item.left.data(), item.right.data(),
                               static_cast<int>(item.left.size()));
        } else {
            encoder_->addFrame(item.repeat ? nullptr : item.pixels->data(), item.repeat);
        }
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || queuedFrames_ < kMaxQueuedFrames; });
    if (failure_) std::rethrow_exception(failure_);
    if (item.isFrame) ++queuedFrames_;
    queue_.push_back(std::move(item));
    changed_.notify_all();
}

void VideoWriter::finish() {
    if (thread_.joinable()) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return failure_ || (queue_.empty() && !busy_); });
        if (failure_) std::rethrow_exception(failure_);
    }
    encoder_->finish();
    output_.commit();
}

void VideoWriter::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return closing_ || (!queue_.empty() && !failure_); });
        if (closing_) return;
        Item item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        std::exception_ptr failed;
        try {
            if (item.isFrame) {
                encoder_->addFrame(item.repeat ? nullptr : item.pixels->data(), item.repeat);
            } else {
                encoder_->writeSound(std::move(item.sound));
            }
        } catch (...) {
            failed = std::current_exception();
        }
        lock.lock();
        busy_ = false;
        if (item.isFrame) --queuedFrames_;
        if (failed && !failure_) failure_ = failed;
        changed_.notify_all();
    }
}

}  // namespace cqhost
