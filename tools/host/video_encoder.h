// The FFmpeg side of VideoWriter (video_file.h): the libraries' state for one file and the
// calls that open, feed and close it. Used by VideoWriter only.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <cstdint>
#include <string>

#include "output_file.h"
#include "video_file.h"

namespace cqhost {

// The libraries' state for one file: muxer, encoders, converters. Constructed on the render
// thread, then used by one thread at a time.
class VideoWriter::Encoder {
  public:
    Encoder(const std::string& path, const VideoFormat& format);
    ~Encoder() { release(); }

    void addFrame(const std::uint32_t* pixels, bool repeat);
    void addAudio(const float* left, const float* right, int frames);
    void finish();

  private:
    void open(const std::string& path);

    // Frees what is set; safe to call again.
    void release();

    void check(int result) const;
    const AVCodec* findEncoder(const char* name, const char* description) const;
    void openVideo();
    void openAudio();

    // The conversion buffer: one allocation for the samples, one for the channel pointers.
    void freeConverted();

    // Converts input samples (null: the resampler's remainder) into the FIFO.
    void resample(const std::uint8_t** input, int frames);

    // Encodes whole encoder frames from the FIFO; at the end also the shorter rest.
    void drainFifo(bool atEnd);

    // Sends one frame (null: the end) and writes every packet the encoder gives back.
    void encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame);

    AtomicOutputFile output_;
    std::string path_;
    VideoFormat format_;
    AVFormatContext* container_ = nullptr;
    AVCodecContext* videoCodec_ = nullptr;
    AVCodecContext* audioCodec_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVFrame* sound_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::uint8_t** converted_ = nullptr;
    int convertedCapacity_ = 0;
    int frameSize_ = 0;
    std::int64_t nextFramePts_ = 0;
    std::int64_t nextSamplePts_ = 0;
};

}  // namespace cqhost
