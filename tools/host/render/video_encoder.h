// The encoding side of VideoWriter (video_file.h): what opens, feeds and closes one video file.
// It is FFmpeg's, in a module of cqscope-host's own (cqscope-host-video.so) that is opened the
// first time a video is written: loading FFmpeg and the hundred libraries it brings took about
// 60 ms of every command's start. Used by VideoWriter only (threads: see the class).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace cqhost {

// What a video holds: its picture size and rate, its sound, and how it is encoded.
struct VideoFormat {
    int width = 0, height = 0;
    int framesPerSecond = 30;  // as the fraction fpsNumerator / fpsDenominator
    int fpsDenominator = 1;
    int sampleRate = 44100;  // of the audio handed to addAudio
    int channels = 2;        // 1 or 2
    bool lossless = false;
    int threads = 1;  // threads the encoder may use
};

// Sound encoded on one thread, held until another writes it (VideoEncoder::encodeAudio).
class EncodedSound {
  public:
    virtual ~EncodedSound() = default;
};

// The libraries' state for one file: muxer, encoders, converters. Constructed on the render
// thread, then used by one thread at a time, except that encodeAudio may run beside the
// calls of another thread that encode pictures or write packets.
class VideoEncoder {
  public:
    virtual ~VideoEncoder() = default;

    // Encodes the next frame: width x height pixels, 0x00RRGGBB, top row first; with
    // `repeat`, the frame before again (pixels unused).
    virtual void addFrame(const std::uint32_t* pixels, bool repeat) = 0;
    // Encodes the next `frames` samples of each channel, as they come in whole encoder frames.
    virtual void addAudio(const float* left, const float* right, int frames) = 0;
    // As addAudio, but answers the packets instead of writing them, so that the sound can be
    // encoded on one thread while another encodes pictures: writeSound then writes them
    // where addAudio would have, in the order of the calls. The sound's state is this call's
    // alone; the pictures' and the file's are the others'.
    virtual std::unique_ptr<EncodedSound> encodeAudio(const float* left, const float* right,
                                                      int frames) = 0;
    // Writes sound from encodeAudio of this encoder (null: nothing).
    virtual void writeSound(std::unique_ptr<EncodedSound> sound) = 0;
    // Flushes the encoders and closes the file. All of these throw HostError.
    virtual void finish() = 0;
};

// The module's encoder writing `file` (a temporary the caller renames into place once
// finish() has returned) as the video named `path` (its extension chooses the container; named
// in messages). Throws HostError for a format or encoder this machine's FFmpeg lacks, a file
// that cannot be written, and a module that cannot be loaded. Render thread.
std::unique_ptr<VideoEncoder> openVideoEncoder(const std::string& file, const std::string& path,
                                               const VideoFormat& format);

// The module's entry, as `openVideoEncoder` finds it: the same contract, the encoder answered
// as a pointer the caller owns.
using OpenVideoEncoderEntry = VideoEncoder* (*)(const std::string& file, const std::string& path,
                                                const VideoFormat& format);
inline constexpr const char* kOpenVideoEncoderEntry = "cqscopeHostOpenVideoEncoder";
inline constexpr const char* kVideoModuleName = "cqscope-host-video.so";

}  // namespace cqhost
