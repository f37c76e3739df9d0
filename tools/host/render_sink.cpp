#include "render_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host_error.h"
#include "output_file.h"
#include "picture_writer.h"
#include "video_file.h"

namespace cqhost {
namespace {

// The folder for numbered pictures: created if missing (and then removed again if the render
// fails), an existing one is used as it is.
class OutputFolder {
  public:
    explicit OutputFolder(const std::string& path) : path_(path) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0) {
            if (!S_ISDIR(status.st_mode)) {
                throw HostError("cannot write pictures into " + path + ": it is not a folder");
            }
        } else if (::mkdir(path.c_str(), 0777) != 0) {
            throw HostError("cannot create folder " + path + ": " + std::strerror(errno));
        } else {
            created_ = true;
        }
    }
    ~OutputFolder() {
        if (complete_) return;
        for (const auto& file : written_) ::unlink(file.c_str());
        if (created_) ::rmdir(path_.c_str());
    }
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // "frame-0001.png" on; more digits when there are more pictures, so that names sort in
    // time order.
    std::string fileFor(size_t index, size_t count) {
        const int digits = std::max(4, static_cast<int>(std::to_string(count).size()));
        char name[48];
        std::snprintf(name, sizeof name, "frame-%0*zu.png", digits, index + 1);
        return path_ + "/" + name;
    }
    void wrote(const std::string& file) { written_.push_back(file); }
    // Flushes the folder's pictures to disk at once (they were written without a flush
    // each), then keeps them. Throws HostError, and the pictures are removed, when that fails.
    void complete() {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool flushed = fd >= 0 && ::syncfs(fd) == 0;
        const int error = errno;
        if (fd >= 0) ::close(fd);
        if (!flushed) {
            throw HostError("cannot write pictures into " + path_ + ": " + std::strerror(error));
        }
        complete_ = true;
    }

  private:
    std::string path_;
    bool created_ = false;
    bool complete_ = false;
    std::vector<std::string> written_;
};

// One picture, or numbered pictures in a folder.
class PictureSink : public RenderSink {
  public:
    PictureSink(const RenderPlan& plan, int threads)
        : path_(plan.outPath), count_(plan.captureFrames.size()), threads_(threads) {
        if (plan.kind == OutputKind::Numbered) {
            folder_ = std::make_unique<OutputFolder>(path_);
        } else {
            AtomicOutputFile check(path_);
        }
    }
    void open(int width, int height) override {
        pictures_ = std::make_unique<PictureWriter>(width, height, threads_ - 1, !folder_);
    }
    void add(size_t index, const std::uint32_t* pixels) override {
        pictures_->add(fileFor(index), pixels);
    }
    void addRepeat(size_t index) override { pictures_->addRepeat(fileFor(index)); }
    void finish() override { pictures_->finish(); }
    void commit() override {
        if (folder_) folder_->complete();
    }
    std::string summary() const override {
        if (!folder_) return "wrote " + path_;
        return "wrote " + path_ + " (" + std::to_string(count_) + " pictures)";
    }

  private:
    std::string fileFor(size_t index) {
        if (!folder_) return path_;
        std::string file = folder_->fileFor(index, count_);
        folder_->wrote(file);
        return file;
    }

    std::string path_;
    size_t count_;
    int threads_;
    std::unique_ptr<OutputFolder> folder_;
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
    void add(size_t, const std::uint32_t* pixels) override { video_->addFrame(pixels); }
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
