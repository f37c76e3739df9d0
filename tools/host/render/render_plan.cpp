#include "render/render_plan.h"

#include <sys/stat.h>

#include <algorithm>

#include "common/host_error.h"
#include "common/options.h"
#include "files/output_file.h"
#include "play/play_loop.h"
#include "render/video_file.h"

namespace cqhost {
namespace {

// When the demo is captured: well inside the chord, before its fade-out.
constexpr double kDemoCaptureSeconds = 3.0;

// The times to capture, in seconds, checked against the audio's length.
std::vector<double> captureTimes(const RenderOptions& options, double duration, bool demo) {
    std::vector<double> times;
    if (options.every) {
        const double period = *options.every;
        for (long long k = 1; k * period <= duration + kTimeTolerance; ++k) {
            times.push_back(k * period);
        }
        if (times.empty()) {
            throw HostError("--every " + secondsText(period) + " is longer than the audio (" +
                            secondsText(duration) + ")");
        }
    } else if (!options.at.empty()) {
        times = options.at;
        std::sort(times.begin(), times.end());
        times.erase(std::unique(times.begin(), times.end()), times.end());
    } else {
        times.push_back(demo ? kDemoCaptureSeconds : duration);
    }
    for (double t : times) checkWithinAudio("time", t, duration);
    return times;
}

bool isFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Checks the options that belong to one kind of output only.
void checkOptionsFor(OutputKind kind, const RenderOptions& options, const std::string& path) {
    if (kind == OutputKind::Video) {
        if (!options.at.empty() || options.every) {
            throw UsageError(
                "a video has a frame at every --fps step, so --at and --every do not "
                "apply to " +
                path);
        }
        if (options.lossless && fileExtension(path) != "mkv") {
            throw UsageError("--lossless needs a .mkv video, not " + path);
        }
        return;
    }
    if (options.fps) throw UsageError("--fps is for a video (.mp4 or .mkv), not " + path);
    if (options.lossless) throw UsageError("--lossless is for a video (.mkv), not " + path);
}

// A video's frames: one at every frame step of the audio.
void planVideo(RenderPlan& plan, const RenderOptions& options, const AudioSource& audio,
               const FrameTime& time) {
    plan.kind = OutputKind::Video;
    checkOptionsFor(plan.kind, options, *options.out);
    plan.frameRate = frameRateOf(options.fps.value_or(30.0));
    for (long long k = 0;; ++k) {
        const long long frame = time.videoFrameAt(k, plan.frameRate);
        if (frame >= audio.frames()) break;
        plan.captureFrames.push_back(frame);
    }
}

// Pictures: one at each asked time, numbered in a folder when there are several.
void planPictures(RenderPlan& plan, const RenderOptions& options, const AudioSource& audio,
                  const FrameTime& time, double duration) {
    for (double t : captureTimes(options, duration, audio.isDemo())) {
        plan.captureFrames.push_back(time.frameAt(t));
    }
    const bool numbered = plan.captureFrames.size() > 1;
    plan.kind = numbered ? OutputKind::Numbered : OutputKind::Picture;
    if (options.out) {
        const std::string extension = fileExtension(*options.out);
        if (!numbered && extension != "png" && !extension.empty() && !isFolder(*options.out)) {
            throw UsageError("cannot tell what to write to " + *options.out +
                             ": name a .png picture, a .mp4 or .mkv video, or a folder for "
                             "numbered pictures");
        }
    }
    checkOptionsFor(plan.kind, options, options.out.value_or("a picture"));
}

}  // namespace

RenderPlan planRender(const RenderOptions& options, const AudioSource& audio,
                      const FrameTime& time) {
    RenderPlan plan;
    if (audio.frames() <= 0) throw HostError("audio file " + *options.audio + " has no frames");
    const double duration = time.secondsAt(audio.frames());
    if (options.out && isVideoPath(*options.out)) {
        planVideo(plan, options, audio, time);
    } else {
        planPictures(plan, options, audio, time, duration);
    }
    if (options.holdAt) {
        checkWithinAudio("--hold-at", *options.holdAt, duration);
        plan.holdFrame = time.frameAt(*options.holdAt);
    }
    if (options.midi) {
        plan.midi = readMidiFile(*options.midi, audio.sampleRate());
    } else if (audio.isDemo()) {
        plan.midi = audio.midi();
    }
    const bool numbered = plan.kind == OutputKind::Numbered;
    if (options.out) {
        plan.outPath = *options.out;
    } else if (audio.isDemo()) {
        plan.outPath = numbered ? "cqscope-demo-frames" : "cqscope-demo.png";
    } else {
        plan.outPath = fileStem(*options.audio) + (numbered ? "-frames" : ".png");
    }
    return plan;
}

}  // namespace cqhost
