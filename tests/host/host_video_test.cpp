// render to a video, through the built cqscope-host and cqscope.so, decoded again with
// FFmpeg's libraries: the frames are the pictures `render --at` gives at the frame times, the
// sound is the input's, from its first sample. Also: PNG bytes that do not depend on the
// number of threads, and the output types and encoders we cannot write.
#include <gtest/gtest.h>
#include <sndfile.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "host_test_support.h"
#include "play/demo_signal.h"
#include "render/h264_repeats.h"
#include "render/yuv_picture.h"

namespace cqhost_test {
namespace {

// A decoded video: codec names, frames as 0x00RRGGBB pixels, sound as interleaved floats.
struct Decoded {
    std::string videoCodec, audioCodec, pixelFormat;
    int width = 0, height = 0, sampleRate = 0, channels = 0;
    AVRational frameRate{0, 1};
    std::vector<std::int64_t> framePts;  // in frames of the frame rate
    std::vector<std::vector<std::uint32_t>> frames;
    std::vector<float> samples;
    std::int64_t durationSamples = 0;  // the audio stream's length as the container gives it
    std::vector<size_t> keyFrames;     // indices of the video packets marked as key frames
    int videoErrors = 0;  // packets and frames the video decoder refused (it checks strictly)
};

// One stream's decoder, turning its frames into Decoded's pixels or samples.
class StreamDecoder {
  public:
    StreamDecoder(AVFormatContext* container, int index, Decoded& out)
        : stream_(container->streams[index]), out_(out) {
        const AVCodec* codec = avcodec_find_decoder(stream_->codecpar->codec_id);
        context_ = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(context_, stream_->codecpar);
        video_ = stream_->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        // A stream error is a failure, not something to conceal.
        if (video_) context_->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
        EXPECT_EQ(avcodec_open2(context_, codec, nullptr), 0);
        (video_ ? out.videoCodec : out.audioCodec) = codec->name;
        if (video_) {
            out.frameRate = stream_->avg_frame_rate;
        } else {
            out.durationSamples = av_rescale_q(stream_->duration, stream_->time_base,
                                               AVRational{1, stream_->codecpar->sample_rate});
        }
        frame_ = av_frame_alloc();
    }
    ~StreamDecoder() {
        av_frame_free(&frame_);
        swr_free(&toFloat_);
        sws_freeContext(toRgb_);
        avcodec_free_context(&context_);
    }
    int index() const { return stream_->index; }

    // A packet of this stream, or null at the end.
    void decode(const AVPacket* packet) {
        int status = avcodec_send_packet(context_, packet);
        while ((status = avcodec_receive_frame(context_, frame_)) == 0) {
            video_ ? takePicture() : takeSound();
        }
        if (video_ && status != AVERROR(EAGAIN) && status != AVERROR_EOF) ++out_.videoErrors;
    }

  private:
    void takePicture() {
        out_.width = frame_->width;
        out_.height = frame_->height;
        const auto format = static_cast<AVPixelFormat>(frame_->format);
        out_.pixelFormat = av_get_pix_fmt_name(format);
        toRgb_ = sws_getCachedContext(toRgb_, frame_->width, frame_->height, format, frame_->width,
                                      frame_->height, AV_PIX_FMT_BGR0,
                                      SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                      nullptr, nullptr);
        std::vector<std::uint32_t> pixels(static_cast<size_t>(frame_->width) * frame_->height);
        std::uint8_t* planes[] = {reinterpret_cast<std::uint8_t*>(pixels.data())};
        const int strides[] = {4 * frame_->width};
        sws_scale(toRgb_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides);
        for (auto& pixel : pixels) pixel &= 0xFFFFFF;
        out_.frames.push_back(std::move(pixels));
        out_.framePts.push_back(av_rescale_q(frame_->best_effort_timestamp, stream_->time_base,
                                             av_inv_q(out_.frameRate)));
    }

    void takeSound() {
        out_.sampleRate = frame_->sample_rate;
        out_.channels = frame_->ch_layout.nb_channels;
        if (toFloat_ == nullptr) {
            swr_alloc_set_opts2(&toFloat_, &frame_->ch_layout, AV_SAMPLE_FMT_FLT,
                                frame_->sample_rate, &frame_->ch_layout,
                                static_cast<AVSampleFormat>(frame_->format), frame_->sample_rate, 0,
                                nullptr);
            swr_init(toFloat_);
        }
        const size_t start = out_.samples.size();
        out_.samples.resize(start + static_cast<size_t>(frame_->nb_samples) * out_.channels);
        std::uint8_t* target[] = {reinterpret_cast<std::uint8_t*>(&out_.samples[start])};
        swr_convert(toFloat_, target, frame_->nb_samples,
                    const_cast<const std::uint8_t**>(frame_->extended_data), frame_->nb_samples);
    }

    AVStream* stream_;
    Decoded& out_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwsContext* toRgb_ = nullptr;
    SwrContext* toFloat_ = nullptr;
    bool video_ = false;
};

Decoded decode(const std::string& path) {
    Decoded out;
    AVFormatContext* container = nullptr;
    if (avformat_open_input(&container, path.c_str(), nullptr, nullptr) != 0) {
        ADD_FAILURE() << "cannot open " << path;
        return out;
    }
    avformat_find_stream_info(container, nullptr);
    const int video = av_find_best_stream(container, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = av_find_best_stream(container, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (video < 0 || audio < 0) {
        ADD_FAILURE() << path << " lacks a video or an audio stream";
        avformat_close_input(&container);
        return out;
    }
    {
        StreamDecoder pictures(container, video, out), sound(container, audio, out);
        AVPacket* packet = av_packet_alloc();
        size_t videoPackets = 0;
        while (av_read_frame(container, packet) == 0) {
            if (packet->stream_index == video) {
                if (packet->flags & AV_PKT_FLAG_KEY) out.keyFrames.push_back(videoPackets);
                ++videoPackets;
                pictures.decode(packet);
            }
            if (packet->stream_index == audio) sound.decode(packet);
            av_packet_unref(packet);
        }
        pictures.decode(nullptr);
        sound.decode(nullptr);
        av_packet_free(&packet);
    }
    avformat_close_input(&container);
    return out;
}

// The picture as it comes back from yuv420p without any encoder: converted as the host
// converts it, and back as the decoding above does.
std::vector<std::uint32_t> throughYuv420(const Image& image) {
    const int w = image.width, h = image.height;
    AVFrame* yuv = av_frame_alloc();
    yuv->format = AV_PIX_FMT_YUV420P;
    yuv->width = w;
    yuv->height = h;
    av_frame_get_buffer(yuv, 0);
    SwsContext* in = sws_getContext(w, h, AV_PIX_FMT_BGR0, w, h, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                    nullptr, nullptr, nullptr);
    SwsContext* out = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR0,
                                     SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                     nullptr, nullptr);
    std::vector<std::uint32_t> pixels = image.pixels;
    std::uint8_t* planes[] = {reinterpret_cast<std::uint8_t*>(pixels.data())};
    const int strides[] = {4 * w};
    sws_scale(in, planes, strides, 0, h, yuv->data, yuv->linesize);
    sws_scale(out, yuv->data, yuv->linesize, 0, h, planes, strides);
    for (auto& pixel : pixels) pixel &= 0xFFFFFF;
    sws_freeContext(in);
    sws_freeContext(out);
    av_frame_free(&yuv);
    return pixels;
}

// Peak signal-to-noise ratio of two pictures over their RGB channels, in dB.
double psnr(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    double squared = 0.0;
    for (size_t p = 0; p < a.size(); ++p) {
        for (int shift : {0, 8, 16}) {
            const double d = double((a[p] >> shift) & 0xFF) - double((b[p] >> shift) & 0xFF);
            squared += d * d;
        }
    }
    return squared == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * 3.0 * a.size() / squared);
}

// The demo's sound as the host plays it, interleaved stereo.
std::vector<float> demoSound() {
    cqhost::DemoSignal demo;
    std::vector<float> left(demo.frames()), right(demo.frames()), both;
    demo.read(0, left.data(), right.data(), static_cast<int>(demo.frames()));
    for (size_t i = 0; i < left.size(); ++i) both.insert(both.end(), {left[i], right[i]});
    return both;
}

// "frame-0001.png" for k = 0: the names of numbered pictures.
std::string frameName(size_t k) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04zu.png", k + 1);
    return name;
}

// Sets environment variables for the programs the test runs, and restores them.
class ScopedEnvironment {
  public:
    explicit ScopedEnvironment(const std::vector<std::pair<std::string, std::string>>& values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, old] : saved_) {
            if (old) {
                ::setenv(name.c_str(), old->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class HostVideo : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor yet";
        plugin_ = cqscopePlugin();
    }

    RunResult run(std::vector<std::string> args) {
        args.insert(args.begin(), {"render", "--plugin", plugin_});
        return runHost(args);
    }

    // The pictures `render --at` gives at frames k of a `fps` video, in order.
    std::vector<Image> picturesAt(const std::vector<int>& frames, int fps) {
        std::string times;
        for (int k : frames) times += (times.empty() ? "" : ",") + std::to_string(double(k) / fps);
        const RunResult result = run({"--at", times, "--out", dir_.file("at")});
        EXPECT_EQ(result.status, 0) << result.err;
        std::vector<Image> images;
        for (size_t i = 0; i < frames.size(); ++i) {
            images.push_back(readPng(dir_.file("at/" + frameName(i))));
        }
        return images;
    }

    std::string plugin_;
    ScratchDir dir_;
};

// BT.601 limited range from the formulas, for one pixel's luma or a block's mean colour.
struct Ycc {
    double y, u, v;
};
Ycc bt601(double r, double g, double b) {
    const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
    return {16.0 + 219.0 * luma / 255.0, 128.0 + 224.0 * (b - luma) / (1.772 * 255.0),
            128.0 + 224.0 * (r - luma) / (1.402 * 255.0)};
}

TEST(YuvPicture, EveryPlaneIsWithinOneStepOfTheFormulasAtAnySize) {
    // Random pixels (no runs) and the display's kind of picture: runs of a few colours and
    // rows that repeat, at odd sizes whose last column and row count twice.
    std::srand(7);
    for (const bool display : {false, true}) {
        for (const auto& size : {std::pair{7, 5}, std::pair{16, 9}, std::pair{1, 1}}) {
            const int w = size.first, h = size.second;
            std::vector<std::uint32_t> pixels(size_t(w) * h);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const std::uint32_t colours[] = {0x000000, 0x00FF00, 0x7F7F7F, 0xFFFFFF};
                    pixels[size_t(y) * w + x] =
                        display ? colours[(x / 3 + (y / 4)) % 4]
                                : static_cast<std::uint32_t>(std::rand()) & 0xFFFFFFu;
                }
            }
            const int cw = (w + 1) / 2, ch = (h + 1) / 2;
            std::vector<std::uint8_t> yp(size_t(w) * h), up(size_t(cw) * ch), vp(up.size());
            cqhost::convertToYuv420(pixels.data(), w, h,
                                    {yp.data(), up.data(), vp.data(), w, cw, cw});
            auto channel = [&](int x, int y, int shift) {
                x = std::min(x, w - 1);
                y = std::min(y, h - 1);
                return double((pixels[size_t(y) * w + x] >> shift) & 0xFF);
            };
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const Ycc want = bt601(channel(x, y, 16), channel(x, y, 8), channel(x, y, 0));
                    EXPECT_NEAR(yp[size_t(y) * w + x], want.y, 1.0) << x << "," << y;
                }
            }
            for (int cy = 0; cy < ch; ++cy) {
                for (int cx = 0; cx < cw; ++cx) {
                    double mean[3] = {};
                    for (int shift : {16, 8, 0}) {
                        double& m = mean[shift == 16 ? 0 : shift == 8 ? 1 : 2];
                        for (int dy : {0, 1}) {
                            for (int dx : {0, 1}) m += channel(2 * cx + dx, 2 * cy + dy, shift);
                        }
                        m /= 4.0;
                    }
                    const Ycc want = bt601(mean[0], mean[1], mean[2]);
                    EXPECT_NEAR(up[size_t(cy) * cw + cx], want.u, 1.0) << cx << "," << cy;
                    EXPECT_NEAR(vp[size_t(cy) * cw + cx], want.v, 1.0) << cx << "," << cy;
                }
            }
        }
    }
    // The ends of the range exactly: black and white carry no colour.
    const std::uint32_t ends[] = {0x000000, 0xFFFFFF};
    std::uint8_t y[2], u, v;
    for (int i = 0; i < 2; ++i) {
        cqhost::convertToYuv420(&ends[i], 1, 1, {&y[i], &u, &v, 1, 1, 1});
        EXPECT_EQ(int(u), 128);
        EXPECT_EQ(int(v), 128);
    }
    EXPECT_EQ(int(y[0]), 16);
    EXPECT_EQ(int(y[1]), 235);
}

TEST_F(HostVideo, LosslessDemoHasTheRenderedPicturesAndTheExactSound) {
    const std::string path = dir_.file("demo.mkv");
    const RunResult result = run({"--out", path, "--lossless"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Decoded video = decode(path);
    EXPECT_EQ(video.videoCodec, "ffv1");
    EXPECT_EQ(video.audioCodec, "flac");
    ASSERT_EQ(video.width, 960);
    ASSERT_EQ(video.height, 512);
    // 4 s at 30 frames a second, the first at 0 s, one per step.
    ASSERT_EQ(video.frames.size(), 120u);
    for (size_t k = 0; k < video.framePts.size(); ++k) EXPECT_EQ(video.framePts[k], long(k));

    // Frames at refreshes (0, 15, 45, 90) and between them, which repeat the one before
    // without being read back (1, 2, 44, 46, 119).
    const std::vector<int> checked{0, 1, 2, 15, 44, 45, 46, 90, 119};
    const std::vector<Image> pictures = picturesAt(checked, 30);
    ASSERT_EQ(pictures.size(), checked.size());
    for (size_t i = 0; i < checked.size(); ++i) {
        EXPECT_TRUE(video.frames[checked[i]] == pictures[i].pixels) << "frame " << checked[i];
    }

    // The sound, sample for sample from the first, to 24-bit precision.
    const std::vector<float> input = demoSound();
    EXPECT_EQ(video.sampleRate, 44100);
    EXPECT_EQ(video.channels, 2);
    ASSERT_EQ(video.samples.size(), input.size());
    double worst = 0.0;
    for (size_t i = 0; i < input.size(); ++i) {
        worst = std::max(worst, std::abs(double(video.samples[i]) - input[i]));
    }
    EXPECT_LE(worst, std::ldexp(1.0, -23));
}

TEST_F(HostVideo, H264AndAacDemoIsCloseToThePicturesAndInTime) {
    const std::string path = dir_.file("demo.mp4");
    const RunResult result = run({"--out", path});
    ASSERT_EQ(result.status, 0) << result.err;
    const Decoded video = decode(path);
    EXPECT_EQ(video.videoCodec, "h264");
    EXPECT_EQ(video.pixelFormat, "yuv420p");
    EXPECT_EQ(video.audioCodec, "aac");
    EXPECT_EQ(video.frameRate.num, 30);
    EXPECT_EQ(video.frameRate.den, 1);
    ASSERT_EQ(video.frames.size(), 120u);

    // yuv420p keeps colour at half resolution, which alone takes a display's one-pixel
    // coloured lines to about 24 dB PSNR. Against the pictures taken through yuv420p the same
    // way, the frames are within 35 dB (what H.264 at CRF 18 loses); a frame of the refresh
    // before or after (the bars move) falls well below that.
    const std::vector<int> checked{15, 45, 90};
    const std::vector<Image> pictures = picturesAt(checked, 30);
    ASSERT_EQ(pictures.size(), checked.size());
    for (size_t i = 0; i < checked.size(); ++i) {
        const auto expected = throughYuv420(pictures[i]);
        EXPECT_GE(psnr(video.frames[checked[i]], expected), 35.0) << "frame " << checked[i];
        EXPECT_LT(psnr(video.frames[checked[i] + 3], expected), 30.0) << "frame " << checked[i];
    }

    // The sound: the demo's length (the encoder's last frame is padded to its full size), and
    // aligned from its first sample (the encoder's start-up delay is trimmed): over the first
    // 0.1 s the AAC error is 30 dB below the signal, where a shift of one sample leaves it
    // about 22 dB below and a shift of one encoder frame near the signal's own level.
    const std::vector<float> input = demoSound();
    EXPECT_EQ(video.durationSamples, long(input.size() / 2));
    EXPECT_GE(video.samples.size(), input.size());
    EXPECT_LT(video.samples.size(), input.size() + 2 * 1024);
    double signal = 0.0, error = 0.0;
    for (size_t i = 0; i < 2 * 4410 && i < video.samples.size(); ++i) {
        signal += double(input[i]) * input[i];
        error += (double(video.samples[i]) - input[i]) * (double(video.samples[i]) - input[i]);
    }
    EXPECT_GE(10.0 * std::log10(signal / error), 30.0);
}

TEST_F(HostVideo, RepeatedFramesAreExactCopiesBesideTheEncoderInAValidStream) {
    // At 70 frames a second a refresh lasts 7 frames: long runs of repeats, and more frames
    // than the 250 after which a key frame is due. With two threads the repeats are written
    // beside x264; with one, x264 encodes every frame.
    for (const char* threads : {"1", "2"}) {
        const RunResult result = run({"--fps", "70", "--threads", threads, "--out",
                                      dir_.file(std::string("t") + threads + ".mp4")});
        ASSERT_EQ(result.status, 0) << result.err;
    }
    const Decoded one = decode(dir_.file("t1.mp4")), two = decode(dir_.file("t2.mp4"));
    ASSERT_EQ(one.frames.size(), 280u);
    ASSERT_EQ(two.frames.size(), 280u);
    EXPECT_EQ(one.videoErrors, 0);
    EXPECT_EQ(two.videoErrors, 0);
    EXPECT_EQ(two.frameRate.num, 70);
    for (size_t k = 0; k < two.framePts.size(); ++k) ASSERT_EQ(two.framePts[k], long(k));

    // 40 refreshes: at least 239 of the 279 frames after the first repeat the one before,
    // exactly. The frames are within what the encoder loses of the frames x264 made of the
    // same pictures: a frame out of place or predicted from a wrong reference is far off (and
    // stays so up to the next refresh, so every third frame is enough to see it).
    size_t copies = 0;
    double worst = 1e9;
    for (size_t k = 0; k < two.frames.size(); ++k) {
        if (k > 0 && two.frames[k] == two.frames[k - 1]) ++copies;
        if (k % 3 == 0) worst = std::min(worst, psnr(two.frames[k], one.frames[k]));
    }
    EXPECT_GE(copies, 239u);
    EXPECT_GE(worst, 40.0);

    // Key frames as x264 places them for every frame: the first, then within 250 frames (at
    // the first new picture from there on, with repeats beside the encoder).
    ASSERT_GE(two.keyFrames.size(), 2u);
    EXPECT_EQ(two.keyFrames[0], 0u);
    EXPECT_GE(two.keyFrames[1], 250u);
    EXPECT_LE(two.keyFrames[1], 257u);
}

TEST(H264Repeats, TakesOnlyStreamsItCanRenumber) {
    // The stream headers of x264 at the host's settings, and with its default preset
    // (CABAC, B-frames, several reference frames), which must be refused.
    auto headers = [](const char* preset, const char* tune) {
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        AVCodecContext* context = avcodec_alloc_context3(codec);
        context->width = 960;
        context->height = 512;
        context->time_base = AVRational{1, 30};
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av_opt_set(context->priv_data, "preset", preset, 0);
        if (tune != nullptr) av_opt_set(context->priv_data, "tune", tune, 0);
        EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
        std::vector<std::uint8_t> bytes(context->extradata,
                                        context->extradata + context->extradata_size);
        avcodec_free_context(&context);
        return bytes;
    };
    const std::vector<std::uint8_t> fast = headers("ultrafast", "zerolatency");
    const auto taken = cqhost::H264Repeats::forStream(fast.data(), int(fast.size()), 960, 512);
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->macroblocks(), 60 * 32);
    EXPECT_GE(taken->frameNumBits(), 4);
    EXPECT_FALSE(cqhost::H264Repeats::forStream(fast.data(), int(fast.size()), 1920, 1080));
    const std::vector<std::uint8_t> usual = headers("medium", nullptr);
    EXPECT_FALSE(cqhost::H264Repeats::forStream(usual.data(), int(usual.size()), 960, 512));
    EXPECT_FALSE(cqhost::H264Repeats::forStream(nullptr, 0, 960, 512));
}

TEST_F(HostVideo, PicturesAreTheSameBytesWithAnyThreadCount) {
    // Hold at 1 s: the pictures after it repeat, so they come from the reused bytes.
    for (const char* threads : {"1", "2", "3"}) {
        const RunResult result = run({"--every", "0.25", "--hold-at", "1", "--threads", threads,
                                      "--out", dir_.file(std::string("t") + threads)});
        ASSERT_EQ(result.status, 0) << result.err;
    }
    for (size_t k = 0; k < 16; ++k) {
        const std::string name = frameName(k);
        const std::string bytes = fileBytes(dir_.file("t1/" + name));
        EXPECT_EQ(fileBytes(dir_.file("t2/" + name)), bytes) << name;
        EXPECT_EQ(fileBytes(dir_.file("t3/" + name)), bytes) << name;
    }
    const RunResult single = run({"--at", "3", "--hold-at", "1", "--out", dir_.file("3.png")});
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_EQ(fileBytes(dir_.file("3.png")), fileBytes(dir_.file("t2/frame-0012.png")));
}

// Samples no encoder takes (not finite, or far beyond full scale) reach the video's sound as 0
// or clipped, with one warning line naming where the first is; the pictures see them as they
// are.
TEST_F(HostVideo, SoundThatIsNotFiniteIsMadeSafeWithOneWarning) {
    auto samples = sine(440.0, 44100, 1.0, 1, 0.5);
    samples[11025] = std::nanf("");
    samples[22050] = INFINITY;
    samples[33075] = 3e38f;
    writeAudio(dir_.file("odd.wav"), samples, 1, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const RunResult result = run({dir_.file("odd.wav"), "--out", dir_.file("odd.mp4")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err,
              "cqscope-host: warning: the audio at 0.250 s has a sample that is not finite or "
              "beyond full scale; the video's sound has such samples as 0 or clipped to [-1, "
              "1]\n");
    const Decoded video = decode(dir_.file("odd.mp4"));
    EXPECT_EQ(video.audioCodec, "aac");
    ASSERT_GT(video.samples.size(), samples.size() / 2);
    for (float sample : video.samples) ASSERT_TRUE(std::isfinite(sample) && std::fabs(sample) < 2);
}

TEST_F(HostVideo, OutputsWeCannotWriteFailWithOneLineAndNoFile) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
        int status;  // 2 for a mistake in the command line
        std::vector<std::pair<std::string, std::string>> environment;
    };
    const std::vector<Case> cases{
        {{"--out", "@dir/out.avi"}, "cannot tell what to write", 2, {}},
        {{"--out", "@dir/out.mp4", "--lossless"}, "needs a .mkv", 2, {}},
        {{"--out", "@dir/out.mp4", "--every", "1"}, "do not apply", 2, {}},
        {{"--out", "@dir/out.png", "--fps", "25"}, "--fps is for a video", 2, {}},
        {{"--out", "@dir/out.mkv", "--fps", "1000"}, "from 1 to 240", 2, {}},
        // This machine's FFmpeg without libx264, as a build without it would be.
        {{"--out", "@dir/out.mp4"},
         "has no H.264 encoder (libx264)",
         1,
         {{"LD_PRELOAD", CQHOST_HIDE_ENCODER_SHIM},
          {"CQHOST_HIDDEN_ENCODER", "libx264"},
          {"ASAN_OPTIONS", "verify_asan_link_order=0"}}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        for (auto& arg : args) {
            if (arg.rfind("@dir/", 0) == 0) arg = dir_.file(arg.substr(5));
        }
        ScopedEnvironment environment(c.environment);
        const RunResult result = run(args);
        EXPECT_EQ(result.status, c.status) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_TRUE(dir_.entries().empty()) << c.message;
    }
    // A program without its video module (an installation missing a file) says so, and
    // still writes pictures.
    ScratchDir bin;
    const std::string copy = bin.file("cqscope-host");
    writeFile(copy, fileBytes(hostBinary()));
    ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);
    const RunResult video =
        runHostCopy(copy, {"render", "--plugin", plugin_, "--out", dir_.file("out.mp4")});
    EXPECT_EQ(video.status, 1);
    EXPECT_NE(video.err.find("cannot write videos: cqscope-host-video.so is missing (looked for " +
                             bin.path() + "/cqscope-host-video.so"),
              std::string::npos)
        << video.err;
    EXPECT_EQ(std::count(video.err.begin(), video.err.end(), '\n'), 1) << video.err;
    EXPECT_TRUE(dir_.entries().empty());
    const RunResult picture =
        runHostCopy(copy, {"render", "--plugin", plugin_, "--out", dir_.file("out.png")});
    EXPECT_EQ(picture.status, 0) << picture.err;
}

}  // namespace
}  // namespace cqhost_test
