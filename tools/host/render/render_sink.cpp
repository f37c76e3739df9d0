#include "render/render_sink.h"

#include <algorithm>
#include <cstdio>

#include "common/host_error.h"
#include "files/output_file.h"
#include "render/picture_writer.h"
#include "render/video_file.h"

namespace cqhost {
namespace {

// "frame-0001.png" on; more digits when there are more pictures, so that names sort in time
// order.
std::string numberedName(size_t index, size_t count) {
    const int digits = std::max(4, static_cast<int>(std::to_string(count).size()));
    char name[48];
    std::snprintf(name, sizeof name, "frame-%0*zu.png", digits, index + 1);
    return name;
}

// One picture, or numbered pictures in a folder.
class PictureSink : public RenderSink {
  public:
    PictureSink(const RenderPlan& plan, int threads)
        : path_(plan.outPath), count_(plan.captureFrames.size()), threads_(threads) {
        if (plan.kind == OutputKind::Numbered) {
            folder_ = std::make_unique<StagedFolder>(path_);
        } else {
            AtomicOutputFile check(path_);
        }
    }
    void open(int width, int height) override {
        pictures_ =
            std::make_unique<PictureWriter>(width, height, threads_ - 1, folder_ != nullptr);
    }
    PixelPool::Buffer buffer() override { return pictures_->buffer(); }
    void add(size_t index, PixelPool::Buffer pixels) override {
        pictures_->add(fileFor(index), std::move(pixels));
    }
    void addRepeat(size_t index) override { pictures_->addRepeat(fileFor(index)); }
    void finish() override { pictures_->finish(); }
    void commit() override {
        if (folder_) folder_->commit();
    }
    std::string summary() const override {
        if (!folder_) return "wrote " + path_;
        return "wrote " + path_ + " (" + std::to_string(count_) + " pictures)";
    }

  private:
    std::string fileFor(size_t index) const {
        return folder_ ? folder_->fileFor(numberedName(index, count_)) : path_;
    }

    std::string path_;
    size_t count_;
    int threads_;
    std::unique_ptr<StagedFolder> folder_;
    // After the folder, so that encoding has stopped before a failed render's folder is
    // cleaned up.
    std::unique_ptr<PictureWriter> pictures_;
};

// A video of every capture, with the audio's sound.
class VideoSink : public RenderSink {
  public:
    VideoSink(const RenderPlan& plan, const RenderOptions& options, const AudioSource& audio,
              int threads)
        : path_(plan.outPath), count_(plan.captureFrames.size()), threads_(threads) {
        format_.framesPerSecond = static_cast<int>(plan.frameRate.numerator);
        format_.fpsDenominator = static_cast<int>(plan.frameRate.denominator);
        format_.sampleRate = static_cast<int>(audio.sampleRate());
        format_.channels = audio.channels() == 1 ? 1 : 2;
        format_.lossless = options.lossless;
        format_.threads = threads;
    }
    void open(int width, int height) override {
        format_.width = width;
        format_.height = height;
        video_ = std::make_unique<VideoWriter>(path_, format_, threads_ > 1);
    }
    PixelPool::Buffer buffer() override { return video_->buffer(); }
    void add(size_t, PixelPool::Buffer pixels) override { video_->addFrame(std::move(pixels)); }
    void addRepeat(size_t) override { video_->addRepeat(); }
    void addAudio(const float* left, const float* right, int count) override {
        video_->addAudio(left, right, count);
    }
    void finish() override { video_->finish(); }
    std::string summary() const override {
        return "wrote " + path_ + " (" + std::to_string(count_) + " frames)";
    }

  private:
    std::string path_;
    size_t count_;
    int threads_;
    VideoFormat format_;
    std::unique_ptr<VideoWriter> video_;
};

}  // namespace

std::unique_ptr<RenderSink> makeRenderSink(const RenderPlan& plan, const RenderOptions& options,
                                           const AudioSource& audio, int threads) {
    if (plan.kind == OutputKind::Video) {
        return std::make_unique<VideoSink>(plan, options, audio, threads);
    }
    return std::make_unique<PictureSink>(plan, threads);
}

}  // namespace cqhost
