// The FFmpeg encoder behind VideoEncoder (video_encoder.h), in the video module: the libraries'
// state for one file and the calls that open, feed and close it (threads: see VideoEncoder).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/h264_repeats.h"
#include "render/video_encoder.h"

// FFmpeg's records, used here only through pointers.
struct AVAudioFifo;
struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace cqhost {

// An encoded packet, freed with its holder.
struct PacketFree {
    void operator()(AVPacket* packet) const;
};
using EncodedPacket = std::unique_ptr<AVPacket, PacketFree>;
using EncodedPackets = std::vector<EncodedPacket>;

class FfmpegEncoder : public VideoEncoder {
  public:
    // Writes `file` as the video `path` (see openVideoEncoder). Throws HostError; nothing is
    // left open then.
    FfmpegEncoder(const std::string& file, const std::string& path, const VideoFormat& format);
    ~FfmpegEncoder() override { release(); }
    FfmpegEncoder(const FfmpegEncoder&) = delete;
    FfmpegEncoder& operator=(const FfmpegEncoder&) = delete;

    void addFrame(const std::uint32_t* pixels, bool repeat) override;
    void addAudio(const float* left, const float* right, int frames) override;
    std::unique_ptr<EncodedSound> encodeAudio(const float* left, const float* right,
                                              int frames) override;
    void writeSound(std::unique_ptr<EncodedSound> sound) override;
    void finish() override;

  private:
    void open();

    // Frees what is set; safe to call again.
    void release();

    void check(int result) const;
    const AVCodec* findEncoder(const char* name, const char* description) const;
    // Opens `codec` in `context` and adds the stream that carries its packets, on the codec's
    // time base.
    AVStream* openStream(AVCodecContext* context, const AVCodec* codec);
    void openVideo();
    void openAudio();
    // Writes the next frame as a copy of the one before, without the encoder.
    void writeRepeat();
    // Renumbers an encoded frame after the repeats written beside the encoder.
    void renumber(AVPacket* packet);

    // The conversion buffer: one allocation for the samples, one for the channel pointers.
    void freeConverted();

    // Converts input samples (null: the resampler's remainder) into the FIFO.
    void resample(const std::uint8_t** input, int frames);

    // Encodes whole encoder frames from the FIFO; at the end also the shorter rest.
    void drainFifo(bool atEnd, EncodedPackets* kept = nullptr);

    // Sends one frame (null: the end) and writes every packet the encoder gives back, or,
    // with `kept`, keeps them there.
    void encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame,
                EncodedPackets* kept = nullptr);

    std::string file_;
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
    // With more than one thread, H.264 repeats are written here rather than encoded: see
    // openVideo. Frames sent to the encoder and packets it gave back, for the encoder's
    // frames only (a repeat follows the packet of the frame it copies).
    std::optional<H264Repeats> repeats_;
    std::int64_t framesEncoded_ = 0, packetsEncoded_ = 0;
    std::int64_t framesSinceKey_ = 0;
    std::vector<std::uint8_t> frameBytes_;
    AVFrame* sound_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::uint8_t** converted_ = nullptr;
    int convertedCapacity_ = 0;
    int frameSize_ = 0;
    std::int64_t nextFramePts_ = 0;
    std::int64_t nextSamplePts_ = 0;
};

}  // namespace cqhost
