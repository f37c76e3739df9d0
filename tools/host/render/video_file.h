// Video output through FFmpeg's libraries: the render's frames and the song's sound in one
// .mp4 or .mkv file. By default H.264 (libx264, yuv420p) with AAC sound; lossless, for a .mkv,
// FFV1 in the display's own RGB with FLAC sound, so that every pixel and sample comes back
// exactly. The file appears complete or not at all (see output_file.h).
//
// Threads: the render thread constructs the writer and calls addAudio, addFrame and finish;
// with an encoder thread the pictures' conversion and encoding and the muxing run there, in
// the order the render handed them over, while the sound (a tenth of the work) is encoded on
// the render thread as it comes, and its packets are written in their turn: the file is the
// same bytes either way. Each of the libraries' states is used by one thread at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "files/output_file.h"
#include "render/pixel_pool.h"
#include "render/video_encoder.h"

namespace cqhost {

// Whether a path names a video we write (.mp4 or .mkv, in any case).
bool isVideoPath(const std::string& path);

class VideoWriter {
  public:
    // Opens the encoders and the file's temporary and writes its header. Throws HostError for
    // an output that cannot be written and for an encoder or format this machine's FFmpeg
    // lacks; nothing is left behind then. encoderThread: encode beside the render.
    VideoWriter(const std::string& path, const VideoFormat& format, bool encoderThread);
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // The next `frames` samples of each channel (`right` is ignored for one channel). The
    // sound encoded has samples that are not finite replaced by 0 and the others clipped to
    // [-1, 1]; the first such sample gets one warning line on stderr.
    void addAudio(const float* left, const float* right, int frames);
    // A buffer for the next frame's width x height pixels.
    PixelPool::Buffer buffer() { return pool_.take(); }
    // The next frame: width x height pixels, 0x00RRGGBB, top row first, in a buffer from
    // buffer().
    void addFrame(PixelPool::Buffer pixels);
    // The frame handed over last, once more (for a caller that knows the display has not
    // changed). Requires an earlier addFrame().
    void addRepeat();
    // Flushes the encoders, completes the file and renames it into place. Throws HostError.
    void finish();

  private:
    struct Item {
        bool isFrame = false;
        bool repeat = false;                  // a frame identical to the one before
        PixelPool::Picture pixels;            // null for a repeat
        std::vector<float> left, right;       // sound to encode here
        std::unique_ptr<EncodedSound> sound;  // sound the render thread encoded
    };
    void submit(Item item);
    void work();

    AtomicOutputFile output_;
    std::unique_ptr<VideoEncoder> encoder_;
    size_t pixelCount_;
    PixelPool pool_;
    int channels_;
    int sampleRate_;
    long long samplesIn_ = 0;  // frames handed to addAudio so far
    bool warnedOfSamples_ = false;
    PixelPool::Picture previous_;  // shared with its item

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    size_t queuedFrames_ = 0;
    bool busy_ = false;
    bool closing_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace cqhost
