// The video module's one entry (cqscope-host-video.so): opens the FFmpeg encoder for
// cqscope-host, which loads this module the first time it writes a video (video_encoder.h).
#include "render/ffmpeg_encoder.h"

extern "C" __attribute__((visibility("default"))) cqhost::VideoEncoder* cqscopeHostOpenVideoEncoder(
    const std::string& file, const std::string& path, const cqhost::VideoFormat& format) {
    // The type the host looks the entry up as.
    static_assert(
        std::is_same_v<decltype(&cqscopeHostOpenVideoEncoder), cqhost::OpenVideoEncoderEntry>);
    return new cqhost::FfmpegEncoder(file, path, format);
}
