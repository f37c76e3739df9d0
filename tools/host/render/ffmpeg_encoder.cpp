#include "render/ffmpeg_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <new>

#include "common/host_error.h"
#include "files/file_extension.h"
#include "render/yuv_picture.h"

namespace cqhost {
namespace {

// AAC at 96 kbit/s per channel: transparent for most music.
constexpr int kAacBitRatePerChannel = 96000;
constexpr int kAacFallbackRate = 48000;
// x264's default longest distance between key frames, kept in frames of the video when the
// encoder sees only some of them.
constexpr int kKeyFrameInterval = 250;

// The sound's packets between encodeAudio and writeSound.
struct SoundPackets : EncodedSound {
    EncodedPackets packets;
};

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

FfmpegEncoder::FfmpegEncoder(const std::string& file, const std::string& path,
                             const VideoFormat& format)
    : file_(file), path_(path), format_(format) {
    // Failures reach the user as one HostError line; the libraries' own chatter would
    // only bury it.
    av_log_set_level(AV_LOG_QUIET);
    // A failure part way leaves the members set so far; release() frees them, since the
    // destructor does not run for a constructor that throws.
    try {
        open();
    } catch (...) {
        release();
        throw;
    }
}

void FfmpegEncoder::addFrame(const std::uint32_t* pixels, bool repeat) {
    if (repeat && repeats_ && framesEncoded_ > 0 && packetsEncoded_ == framesEncoded_) {
        writeRepeat();
        return;
    }
    if (!repeat) {
        check(av_frame_make_writable(picture_));
        if (format_.lossless) {
            const int stride = 4 * format_.width;
            av_image_copy_plane(picture_->data[0], picture_->linesize[0],
                                reinterpret_cast<const std::uint8_t*>(pixels), stride, stride,
                                format_.height);
        } else {
            convertToYuv420(
                pixels, format_.width, format_.height,
                YuvPlanes{picture_->data[0], picture_->data[1], picture_->data[2],
                          picture_->linesize[0], picture_->linesize[1], picture_->linesize[2]});
        }
    }
    picture_->pts = nextFramePts_++;
    if (repeats_) {
        // The encoder counts only its own frames between key frames; the video's count.
        picture_->pict_type =
            framesSinceKey_ >= kKeyFrameInterval ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        ++framesEncoded_;
    }
    ++framesSinceKey_;
    encode(videoCodec_, videoStream_, picture_);
}

void FfmpegEncoder::writeRepeat() {
    const std::vector<std::uint8_t> bytes = repeats_->repeat();
    av_packet_unref(packet_);
    check(av_new_packet(packet_, static_cast<int>(bytes.size())));
    std::memcpy(packet_->data, bytes.data(), bytes.size());
    packet_->pts = packet_->dts = nextFramePts_++;
    packet_->duration = 1;
    av_packet_rescale_ts(packet_, videoCodec_->time_base, videoStream_->time_base);
    packet_->stream_index = videoStream_->index;
    ++framesSinceKey_;
    check(av_interleaved_write_frame(container_, packet_));
}

void FfmpegEncoder::renumber(AVPacket* packet) {
    ++packetsEncoded_;
    frameBytes_.assign(packet->data, packet->data + packet->size);
    if (!repeats_->renumber(frameBytes_)) {
        throw HostError("cannot write " + path_ + ": the H.264 encoder gave a frame of a kind " +
                        "that cannot follow repeated frames");
    }
    if (packet->flags & AV_PKT_FLAG_KEY) framesSinceKey_ = 1;
    const int grow = static_cast<int>(frameBytes_.size()) - packet->size;
    check(av_packet_make_writable(packet));
    if (grow > 0) check(av_grow_packet(packet, grow));
    if (grow < 0) av_shrink_packet(packet, static_cast<int>(frameBytes_.size()));
    std::memcpy(packet->data, frameBytes_.data(), frameBytes_.size());
    packet->duration = 1;
}

void PacketFree::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

void FfmpegEncoder::addAudio(const float* left, const float* right, int frames) {
    const std::uint8_t* input[] = {reinterpret_cast<const std::uint8_t*>(left),
                                   reinterpret_cast<const std::uint8_t*>(right)};
    resample(input, frames);
    drainFifo(false);
}

std::unique_ptr<EncodedSound> FfmpegEncoder::encodeAudio(const float* left, const float* right,
                                                         int frames) {
    const std::uint8_t* input[] = {reinterpret_cast<const std::uint8_t*>(left),
                                   reinterpret_cast<const std::uint8_t*>(right)};
    auto sound = std::make_unique<SoundPackets>();
    resample(input, frames);
    drainFifo(false, &sound->packets);
    return sound;
}

void FfmpegEncoder::writeSound(std::unique_ptr<EncodedSound> sound) {
    if (!sound) return;
    for (EncodedPacket& packet : static_cast<SoundPackets&>(*sound).packets)
        check(av_interleaved_write_frame(container_, packet.get()));
}

void FfmpegEncoder::finish() {
    resample(nullptr, 0);
    drainFifo(true);
    encode(audioCodec_, audioStream_, nullptr);
    encode(videoCodec_, videoStream_, nullptr);
    check(av_write_trailer(container_));
    check(avio_closep(&container_->pb));
}

void FfmpegEncoder::open() {
    const std::string& path = path_;
    const std::string extension = fileExtension(path);
    if (format_.lossless && extension != "mkv") {
        throw HostError("a lossless video needs a .mkv file, not " + path);
    }
    const AVOutputFormat* muxer = av_guess_format(nullptr, path.c_str(), nullptr);
    if (muxer == nullptr) {
        throw HostError("this machine's FFmpeg cannot write ." + extension + " files");
    }
    check(avformat_alloc_output_context2(&container_, muxer, nullptr, file_.c_str()));
    openVideo();
    openAudio();
    check(avio_open(&container_->pb, file_.c_str(), AVIO_FLAG_WRITE));
    AVDictionary* options = nullptr;
    // Index at the front, so that a player can start before the file has arrived whole.
    if (extension == "mp4") av_dict_set(&options, "movflags", "+faststart", 0);
    const int written = avformat_write_header(container_, &options);
    av_dict_free(&options);
    check(written);
    packet_ = av_packet_alloc();
    if (packet_ == nullptr) throw std::bad_alloc();
}

// Frees what is set; safe to call again.
void FfmpegEncoder::release() {
    av_packet_free(&packet_);
    av_frame_free(&picture_);
    av_frame_free(&sound_);
    av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    swr_free(&resampler_);
    avcodec_free_context(&videoCodec_);
    avcodec_free_context(&audioCodec_);
    if (container_ != nullptr) {
        avio_closep(&container_->pb);
        avformat_free_context(container_);
        container_ = nullptr;
    }
    freeConverted();
}

void FfmpegEncoder::check(int result) const {
    if (result < 0) throw HostError("cannot write " + path_ + ": " + ffmpegError(result));
}

const AVCodec* FfmpegEncoder::findEncoder(const char* name, const char* description) const {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) {
        throw HostError("this machine's FFmpeg has no " + std::string(description) + " encoder (" +
                        name + "), which " + path_ + " needs");
    }
    return codec;
}

AVStream* FfmpegEncoder::openStream(AVCodecContext* context, const AVCodec* codec) {
    if (container_->oformat->flags & AVFMT_GLOBALHEADER) {
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    check(avcodec_open2(context, codec, nullptr));
    AVStream* stream = avformat_new_stream(container_, nullptr);
    if (stream == nullptr) throw std::bad_alloc();
    stream->time_base = context->time_base;
    check(avcodec_parameters_from_context(stream->codecpar, context));
    return stream;
}

void FfmpegEncoder::openVideo() {
    const AVCodec* codec =
        format_.lossless ? findEncoder("ffv1", "FFV1") : findEncoder("libx264", "H.264");
    videoCodec_ = avcodec_alloc_context3(codec);
    if (videoCodec_ == nullptr) throw std::bad_alloc();
    videoCodec_->width = format_.width;
    videoCodec_->height = format_.height;
    videoCodec_->time_base = AVRational{format_.fpsDenominator, format_.framesPerSecond};
    videoCodec_->framerate = AVRational{format_.framesPerSecond, format_.fpsDenominator};
    videoCodec_->sample_aspect_ratio = AVRational{1, 1};
    const AVPixelFormat pixelFormat = format_.lossless ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P;
    videoCodec_->pix_fmt = pixelFormat;
    if (!format_.lossless) {
        // Tagged as what convertToYuv420 produces: BT.601, limited range.
        videoCodec_->colorspace = AVCOL_SPC_SMPTE170M;
        videoCodec_->color_primaries = AVCOL_PRI_SMPTE170M;
        videoCodec_->color_trc = AVCOL_TRC_SMPTE170M;
        videoCodec_->color_range = AVCOL_RANGE_MPEG;
        // Two frames in three repeat the one before (the display refreshes ten times a
        // second): without look-ahead and B-frames a repeat costs the encoder little,
        // and slices spread each frame over the cores. The fastest preset leaves the
        // cores to the render; for flat colours it costs size more than quality, and
        // CRF 18 keeps one-pixel lines clean.
        av_opt_set(videoCodec_->priv_data, "preset", "ultrafast", 0);
        av_opt_set(videoCodec_->priv_data, "tune", "zerolatency", 0);
        av_opt_set(videoCodec_->priv_data, "crf", "18", 0);
        // One slice per thread the render may use: x264 is most of a video's work, and
        // the render's own thread mostly waits for it now that the display's refreshes
        // are transformed in batches. x264's default of one and a half per core only
        // makes its threads take turns.
        videoCodec_->thread_count = std::max(1, format_.threads);
    }
    videoStream_ = openStream(videoCodec_, codec);
    // Two frames in three repeat the one before. With threads to spare for speed the
    // repeats are written beside x264 as copies (h264_repeats.h), which leaves x264 a third
    // of the frames; one thread keeps x264's own encoding of every frame, the same bytes on
    // every machine.
    if (!format_.lossless && format_.threads > 1) {
        repeats_ = H264Repeats::forStream(videoCodec_->extradata, videoCodec_->extradata_size,
                                          format_.width, format_.height);
    }
    videoStream_->avg_frame_rate = videoCodec_->framerate;

    picture_ = av_frame_alloc();
    if (picture_ == nullptr) throw std::bad_alloc();
    picture_->format = pixelFormat;
    picture_->width = format_.width;
    picture_->height = format_.height;
    check(av_frame_get_buffer(picture_, 0));
}

void FfmpegEncoder::openAudio() {
    const AVCodec* codec =
        format_.lossless ? findEncoder("flac", "FLAC") : findEncoder("aac", "AAC");
    audioCodec_ = avcodec_alloc_context3(codec);
    if (audioCodec_ == nullptr) throw std::bad_alloc();
    int rate = format_.sampleRate;
    if (codec->supported_samplerates != nullptr) {
        bool supported = false;
        for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
            supported = supported || *r == rate;
        }
        // An unusual rate is resampled to one every player takes.
        if (!supported) rate = kAacFallbackRate;
    }
    audioCodec_->sample_rate = rate;
    audioCodec_->time_base = AVRational{1, rate};
    av_channel_layout_default(&audioCodec_->ch_layout, format_.channels);
    if (format_.lossless) {
        // 24 bits hold every sample of a 16- or 24-bit file exactly.
        audioCodec_->sample_fmt = AV_SAMPLE_FMT_S32;
        audioCodec_->bits_per_raw_sample = 24;
    } else {
        audioCodec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        // The fast coder: at this bit rate it sounds the same and takes half the time.
        av_opt_set(audioCodec_->priv_data, "aac_coder", "fast", 0);
        audioCodec_->bit_rate = static_cast<std::int64_t>(kAacBitRatePerChannel) * format_.channels;
    }
    audioStream_ = openStream(audioCodec_, codec);

    AVChannelLayout inputLayout{};
    av_channel_layout_default(&inputLayout, format_.channels);
    check(swr_alloc_set_opts2(&resampler_, &audioCodec_->ch_layout, audioCodec_->sample_fmt, rate,
                              &inputLayout, AV_SAMPLE_FMT_FLTP, format_.sampleRate, 0, nullptr));
    av_channel_layout_uninit(&inputLayout);
    check(swr_init(resampler_));
    fifo_ = av_audio_fifo_alloc(audioCodec_->sample_fmt, format_.channels, 4096);
    frameSize_ = audioCodec_->frame_size > 0 ? audioCodec_->frame_size : 4096;
    sound_ = av_frame_alloc();
    if (fifo_ == nullptr || sound_ == nullptr) throw std::bad_alloc();
}

// The conversion buffer: one allocation for the samples, one for the channel pointers.
void FfmpegEncoder::freeConverted() {
    if (converted_ != nullptr) av_freep(&converted_[0]);
    av_freep(&converted_);
    convertedCapacity_ = 0;
}

// Converts input samples (null: the resampler's remainder) into the FIFO.
void FfmpegEncoder::resample(const std::uint8_t** input, int frames) {
    const int capacity = swr_get_out_samples(resampler_, frames);
    if (capacity <= 0) return;
    if (capacity > convertedCapacity_) {
        freeConverted();
        check(av_samples_alloc_array_and_samples(&converted_, nullptr, format_.channels, capacity,
                                                 audioCodec_->sample_fmt, 0));
        convertedCapacity_ = capacity;
    }
    const int got = swr_convert(resampler_, converted_, capacity, input, frames);
    check(got);
    if (got > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted_), got) < got) {
        throw std::bad_alloc();
    }
}

// Encodes whole encoder frames from the FIFO; at the end also the shorter rest.
void FfmpegEncoder::drainFifo(bool atEnd, EncodedPackets* kept) {
    while (av_audio_fifo_size(fifo_) >= frameSize_ || (atEnd && av_audio_fifo_size(fifo_) > 0)) {
        const int count = std::min(frameSize_, av_audio_fifo_size(fifo_));
        av_frame_unref(sound_);
        sound_->nb_samples = count;
        sound_->format = audioCodec_->sample_fmt;
        sound_->sample_rate = audioCodec_->sample_rate;
        check(av_channel_layout_copy(&sound_->ch_layout, &audioCodec_->ch_layout));
        check(av_frame_get_buffer(sound_, 0));
        if (av_audio_fifo_read(fifo_, reinterpret_cast<void**>(sound_->data), count) < count) {
            throw HostError("cannot write " + path_ + ": audio buffer underrun");
        }
        sound_->pts = nextSamplePts_;
        nextSamplePts_ += count;
        encode(audioCodec_, audioStream_, sound_, kept);
    }
}

// Sends one frame (null: the end) and writes every packet the encoder gives back.
void FfmpegEncoder::encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame,
                           EncodedPackets* kept) {
    check(avcodec_send_frame(codec, frame));
    for (;;) {
        EncodedPacket own;
        AVPacket* packet = packet_;
        if (kept != nullptr) {
            own.reset(av_packet_alloc());
            if (!own) throw std::bad_alloc();
            packet = own.get();
        }
        const int received = avcodec_receive_packet(codec, packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
        check(received);
        if (codec == videoCodec_ && repeats_) renumber(packet);
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (kept != nullptr) {
            kept->push_back(std::move(own));
        } else {
            check(av_interleaved_write_frame(container_, packet));
        }
    }
}

}  // namespace cqhost
