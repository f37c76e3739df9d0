// The FFmpeg side of VideoWriter (video_file.h): the libraries' state for one file and the
// calls that open, feed and close it. Used by VideoWriter only (threads: see the class).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/output_file.h"
#include "render/h264_repeats.h"

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

// The libraries' state for one file: muxer, encoders, converters. Constructed on the render
// thread, then used by one thread at a time, except that encodeAudio may run beside the
// calls of another thread that encode pictures or write packets.
class VideoEncoder {
  public:
    // Throws HostError; nothing is left behind then.
    VideoEncoder(const std::string& path, const VideoFormat& format);
    ~VideoEncoder() { release(); }
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Encodes the next frame: width x height pixels, 0x00RRGGBB, top row first; with
    // `repeat`, the frame before again (pixels unused).
    void addFrame(const std::uint32_t* pixels, bool repeat);
    // Encodes the next `frames` samples of each channel, as they come in whole encoder frames.
    void addAudio(const float* left, const float* right, int frames);
    // As addAudio, but answers the packets instead of writing them, so that the sound can be
    // encoded on one thread while another encodes pictures: writePackets then writes them
    // where addAudio would have, in the order of the calls. The sound's state is this call's
    // alone; the pictures' and the file's are the others'.
    EncodedPackets encodeAudio(const float* left, const float* right, int frames);
    void writePackets(EncodedPackets& packets);
    // Flushes the encoders and commits the file. All three throw HostError.
    void finish();

  private:
    void open(const std::string& path);

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
