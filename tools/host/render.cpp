// `render`: plays audio and MIDI through the plug-in with its editor open, as a live host
// would, on a manual clock that follows the audio, and writes what the editor shows at the
// asked times as PNG pictures, or at every frame time as a video with the audio's sound.
// Encoding runs on other threads beside the render (picture_writer.h, video_file.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include "audio_file.h"
#include "commands.h"
#include "demo_signal.h"
#include "display/display_geometry.h"
#include "event_list.h"
#include "host_error.h"
#include "midi_file.h"
#include "output_file.h"
#include "peaks.h"
#include "picture_writer.h"
#include "platform_api.h"
#include "plugin_analysis.h"
#include "plugin_host.h"
#include "progress.h"
#include "render_blocks.h"
#include "video_file.h"

namespace cqhost {
namespace {

// When the demo is captured: well inside the chord, before its fade-out.
constexpr double kDemoCaptureSeconds = 3.0;

// The audio the render plays: a file or the built-in demo.
class AudioSource {
  public:
    explicit AudioSource(const std::optional<std::string>& path) {
        if (path) reader_ = std::make_unique<AudioReader>(*path);
    }
    double sampleRate() const { return reader_ ? reader_->sampleRate() : DemoSignal::kSampleRate; }
    long long frames() const { return reader_ ? reader_->frames() : demo_.frames(); }
    bool isDemo() const { return !reader_; }
    int channels() const { return reader_ ? reader_->channels() : 2; }
    int read(long long start, float* left, float* right, int count) {
        if (reader_) return reader_->read(left, right, count);
        const int available = static_cast<int>(std::min<long long>(count, frames() - start));
        demo_.read(start, left, right, available);
        return available;
    }
    std::vector<TimedMidiMessage> demoMidi() const { return demo_.midi(); }

  private:
    std::unique_ptr<AudioReader> reader_;
    DemoSignal demo_;
};

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

long long frameAt(double seconds, double sampleRate) {
    return std::llround(seconds * sampleRate);
}

// The times to capture, checked against the audio's length.
std::vector<double> captureTimes(const RenderOptions& options, double duration, bool demo) {
    std::vector<double> times;
    if (options.every) {
        const double period = *options.every;
        // Small tolerance so that a period that divides the length exactly reaches the end.
        for (long long k = 1; k * period <= duration + 1e-9; ++k) times.push_back(k * period);
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
    for (double t : times) {
        if (t > duration + 1e-9) {
            throw HostError("time " + secondsText(t) + " is beyond the end of the audio (" +
                            secondsText(duration) + ")");
        }
    }
    if (options.holdAt && *options.holdAt > duration + 1e-9) {
        throw HostError("--hold-at " + secondsText(*options.holdAt) +
                        " is beyond the end of the audio (" + secondsText(duration) + ")");
    }
    return times;
}

// What --out names: a single picture, numbered pictures in a folder, or a video.
enum class OutputKind { Picture, Numbered, Video };

bool isFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The video's frame rate as a fraction: whole rates exactly, others to 1/1000.
struct FrameRate {
    long long numerator = 30, denominator = 1;
};

FrameRate frameRateOf(double fps) {
    FrameRate rate;
    if (fps == std::floor(fps)) {
        rate.numerator = static_cast<long long>(fps);
    } else {
        rate.numerator = std::llround(fps * 1000.0);
        rate.denominator = 1000;
        const long long common = std::gcd(rate.numerator, rate.denominator);
        rate.numerator /= common;
        rate.denominator /= common;
    }
    return rate;
}

std::string stem(const std::string& path) {
    const auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

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

// The editor, open in a parent window of the host's: closed, and its parent destroyed, when
// the render ends, also when it ends with an error.
class EditorSession {
  public:
    EditorSession(const PlatformApi& platform, PluginHost& host, int width, int height)
        : platform_(platform), host_(host) {
        window = platform_.createHostWindow(width, height);
        if (window == nullptr) throw HostError("cannot create the editor's parent window");
        host_.dispatch(effEditOpen, 0, 0, window);
    }
    ~EditorSession() {
        host_.dispatch(effEditClose);
        platform_.destroyWindow(window);
    }
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    HWND window = nullptr;

  private:
    const PlatformApi& platform_;
    PluginHost& host_;
};

// Everything the render needs, checked before any work: audio, times, MIDI, destination,
// plug-in and its editor.
struct RenderPlan {
    std::vector<long long> captureFrames;  // in audio frames, rising
    std::vector<TimedMidiMessage> midi;
    std::string outPath;
    OutputKind kind = OutputKind::Picture;
    bool numbered = false;
    FrameRate frameRate;
};

// Where frame k of a video falls, in audio frames: the first at 0.
long long videoFrameAt(long long k, const FrameRate& rate, double sampleRate) {
    return std::llround(static_cast<double>(k) * rate.denominator * sampleRate / rate.numerator);
}

// Checks the options that belong to one kind of output only.
void checkOptionsFor(OutputKind kind, const RenderOptions& options, const std::string& path) {
    if (kind == OutputKind::Video) {
        if (!options.at.empty() || options.every) {
            throw HostError(
                "a video has a frame at every --fps step, so --at and --every do not "
                "apply to " +
                path);
        }
        if (options.fps && (*options.fps < 1.0 || *options.fps > 240.0)) {
            throw HostError("--fps needs a rate from 1 to 240 frames per second");
        }
        return;
    }
    if (options.fps) throw HostError("--fps is for a video (.mp4 or .mkv), not " + path);
    if (options.lossless) throw HostError("--lossless is for a video (.mkv), not " + path);
}

RenderPlan planRender(const RenderOptions& options, AudioSource& audio) {
    RenderPlan plan;
    if (audio.frames() <= 0) throw HostError("audio file " + *options.audio + " has no frames");
    const double duration = static_cast<double>(audio.frames()) / audio.sampleRate();
    if (options.out && isVideoPath(*options.out)) {
        plan.kind = OutputKind::Video;
        checkOptionsFor(plan.kind, options, *options.out);
        if (options.holdAt && *options.holdAt > duration + 1e-9) {
            throw HostError("--hold-at " + secondsText(*options.holdAt) +
                            " is beyond the end of the audio (" + secondsText(duration) + ")");
        }
        plan.frameRate = frameRateOf(options.fps.value_or(30.0));
        for (long long k = 0;; ++k) {
            const long long frame = videoFrameAt(k, plan.frameRate, audio.sampleRate());
            if (frame >= audio.frames()) break;
            plan.captureFrames.push_back(frame);
        }
    } else {
        for (double t : captureTimes(options, duration, audio.isDemo())) {
            plan.captureFrames.push_back(frameAt(t, audio.sampleRate()));
        }
        plan.numbered = plan.captureFrames.size() > 1;
        plan.kind = plan.numbered ? OutputKind::Numbered : OutputKind::Picture;
        if (options.out) {
            const std::string extension = fileExtension(*options.out);
            if (!plan.numbered && extension != "png" && !extension.empty() &&
                !isFolder(*options.out)) {
                throw HostError("cannot tell what to write to " + *options.out +
                                ": name a .png picture, a .mp4 or .mkv video, or a folder for "
                                "numbered pictures");
            }
        }
        checkOptionsFor(plan.kind, options, options.out.value_or("a picture"));
    }
    if (options.midi) {
        plan.midi = readMidiFile(*options.midi, audio.sampleRate());
    } else if (audio.isDemo()) {
        plan.midi = audio.demoMidi();
    }
    if (options.out) {
        plan.outPath = *options.out;
    } else if (audio.isDemo()) {
        plan.outPath = plan.numbered ? "cqscope-demo-frames" : "cqscope-demo.png";
    } else {
        plan.outPath = stem(*options.audio) + (plan.numbered ? "-frames" : ".png");
    }
    return plan;
}

void checkRenderable(PluginHost& host) {
    const AEffect& effect = host.effect();
    if (!(effect.flags & effFlagsHasEditor)) {
        throw HostError("plug-in " + host.path() + " has no editor, so there is nothing to render");
    }
    if (effect.processReplacing == nullptr) {
        throw HostError("plug-in " + host.path() + " has no processReplacing entry");
    }
}

// Threads to use: the asked number, or one per core.
int threadCount(const RenderOptions& options) {
    if (options.threads > 0) return options.threads;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int renderWithEditor(const RenderOptions& options) {
    AudioSource audio(options.audio);
    const RenderPlan plan = planRender(options, audio);
    const std::vector<long long>& captureFrames = plan.captureFrames;
    const std::vector<TimedMidiMessage>& midi = plan.midi;
    const std::string& outPath = plan.outPath;
    const bool numbered = plan.numbered;
    const bool video = plan.kind == OutputKind::Video;
    const double sampleRate = audio.sampleRate();
    const long long totalFrames = audio.frames();
    const int threads = threadCount(options);
    // Checked before the work, so that an unwritable destination fails at once.
    std::unique_ptr<OutputFolder> folder;
    if (numbered) {
        folder = std::make_unique<OutputFolder>(outPath);
    } else if (!video) {
        AtomicOutputFile check(outPath);
    }

    // The plug-in's own window system, with deterministic time from before the effect exists:
    // every tick count it reads, every timer it sets, follows the audio from here on.
    std::string platformProblem;
    const PlatformApi* platformCalls = nullptr;
    PluginHost host(options.plugin, [&](void* library) {
        platformCalls = findPlatformApi(library, options.plugin, &platformProblem);
        if (platformCalls != nullptr) platformCalls->setManualClock(TRUE, 0);
    });
    checkRenderable(host);
    if (platformCalls == nullptr) throw HostError(platformProblem);
    const PlatformApi& platform = *platformCalls;
    AEffect& effect = host.effect();

    host.start(sampleRate, kBlockSize);
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) {
        throw HostError("plug-in " + options.plugin + " reports no editor size");
    }
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    // Declared after the folder, so that encoding has stopped before a failed render's folder
    // is cleaned up.
    std::unique_ptr<PictureWriter> pictures;
    std::unique_ptr<VideoWriter> videoOut;
    if (video) {
        VideoFormat format;
        format.width = width;
        format.height = height;
        format.framesPerSecond = static_cast<int>(plan.frameRate.numerator);
        format.fpsDenominator = static_cast<int>(plan.frameRate.denominator);
        format.sampleRate = static_cast<int>(sampleRate);
        format.channels = audio.channels() == 1 ? 1 : 2;
        format.lossless = options.lossless;
        format.threads = threads;
        videoOut = std::make_unique<VideoWriter>(outPath, format, threads > 1);
    } else {
        pictures = std::make_unique<PictureWriter>(width, height, threads - 1, !numbered);
    }
    EditorSession parent(platform, host, width, height);

    // A host's user-interface loop: the editor-idle opcode, which on Linux also dispatches
    // the display's messages, and a pump of the parent window's own messages.
    auto idle = [&] {
        host.dispatch(effEditIdle);
        platform.pumpMessages(parent.window);
    };
    idle();

    const int numInputs = std::max(effect.numInputs, 0);
    const int numOutputs = std::max(effect.numOutputs, 0);
    std::vector<float> left(kBlockSize), right(kBlockSize);
    std::vector<std::vector<float>> outputs(numOutputs, std::vector<float>(kBlockSize));
    std::vector<std::vector<float>> inputs(numInputs, std::vector<float>(kBlockSize));
    std::vector<float*> inputPointers(numInputs + 1), outputPointers(numOutputs + 1);
    for (int i = 0; i < numInputs; ++i) inputPointers[i] = inputs[i].data();
    for (int o = 0; o < numOutputs; ++o) outputPointers[o] = outputs[o].data();

    // The stop at which Hold is clicked: once the frame at its time has played (and a refresh
    // due then has run).
    const auto rate = static_cast<long long>(sampleRate);
    const long long holdStop =
        options.holdAt ? std::min(totalFrames, blockEndFor(frameAt(*options.holdAt, sampleRate)))
                       : -1;
    bool holdClicked = false;
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    size_t nextCapture = 0;
    size_t nextMidi = 0;
    long long position = 0;
    long long clockMs = 0;
    EventList events;
    // A video plays the audio to its end, for the sound; pictures stop once the last
    // capture's frame has played.
    const long long endFrame =
        video ? totalFrames : std::min(captureFrames.back() + 1, totalFrames);
    ProgressBar progress("render", endFrame);
    // The note readout follows the display beside the plug-in (--peaks).
    std::unique_ptr<PeakReport> peakReport;
    std::unique_ptr<DisplayReadout> readout;
    if (options.peaks) {
        peakReport = std::make_unique<PeakReport>(options.peaksOut);
        readout = std::make_unique<DisplayReadout>(sampleRate, *options.peaks, *peakReport);
    }

    // What the editor's window has drawn so far, and when its next timer is due, where the
    // plug-in's window system tells.
    const bool renderCalls = hasRenderCalls(platform);
    std::function<unsigned long long()> drawCount;
    if (renderCalls) {
        drawCount = [&] {
            unsigned long long count = 0;
            if (!platform.windowDrawCount(parent.window, &count)) {
                throw HostError("cannot read the editor's pixels");
            }
            return count;
        };
    }
    unsigned long long lastDrawCount = 0;
    // Takes the captures of the frames before `limit`. A capture shows the display as it is
    // once its frame has played (with whatever the moment of that frame brought: its MIDI, a
    // timer due then); the display changes only when the host idles, so a capture between
    // two stops shows what it showed at the first of them.
    auto captureBefore = [&](long long limit) {
        while (nextCapture < captureFrames.size() && captureFrames[nextCapture] < limit) {
            // Between two refreshes nothing is drawn, so most video frames repeat the one
            // before: those are neither read back nor compared again.
            const bool unchanged = nextCapture > 0 && drawCount && drawCount() == lastDrawCount;
            if (!unchanged) {
                lastDrawCount = drawCount ? drawCount() : 0;
                if (!platform.readWindowPixels(parent.window, pixels.data(), width, height)) {
                    throw HostError("cannot read the editor's pixels");
                }
            }
            if (video) {
                if (unchanged) {
                    videoOut->addRepeat();
                } else {
                    videoOut->addFrame(pixels.data());
                }
            } else {
                const std::string file =
                    numbered ? folder->fileFor(nextCapture, captureFrames.size()) : outPath;
                if (folder) folder->wrote(file);
                if (unchanged) {
                    pictures->addRepeat(file);
                } else {
                    pictures->add(file, pixels.data());
                }
            }
            if (readout)
                readout->picture(static_cast<double>(captureFrames[nextCapture]) / sampleRate);
            ++nextCapture;
        }
    };
    auto atStop = [&] {
        if (!holdClicked && holdStop == position) {
            platform.click(parent.window, display::kHoldClickX, display::kHoldClickY);
            idle();
            if (readout) readout->holdClicked(clockMs);
            holdClicked = true;
        }
        captureBefore(position);
    };
    // The first frame whose time is `ms` or later.
    auto firstFrameAt = [&](long long ms) { return (ms * rate + 999) / 1000; };
    atStop();
    while (position < endFrame) {
        // The plug-in gets the same calls whatever is captured (render_blocks.h), so a video
        // frame is the picture `--at` gives at its time. The block ends where the Hold click
        // or the editor's next timer is due: just after the frame at its time.
        long long end = std::min({gridBlockEnd(position), totalFrames, endFrame});
        if (!holdClicked && holdStop > position) end = std::min(end, holdStop);
        if (renderCalls) {
            const long long wait = platform.nextTimerWait();
            if (wait > 0) {
                end = std::min(end,
                               std::max(position + 1, blockEndFor(firstFrameAt(clockMs + wait))));
            }
        }
        captureBefore(end - 1);
        const int count = static_cast<int>(end - position);
        const int got = audio.read(position, left.data(), right.data(), count);
        if (got != count) throw HostError("audio ended early while rendering");
        if (video) videoOut->addAudio(left.data(), right.data(), count);
        feedInputs(inputPointers.data(), numInputs, left.data(), right.data(), audio.channels(),
                   count);
        events.clear();
        while (nextMidi < midi.size() && midi[nextMidi].frame < end) {
            const auto& bytes = midi[nextMidi].bytes;
            events.addMidi(
                bytes[0], bytes[1], bytes[2],
                static_cast<int>(std::max<long long>(0, midi[nextMidi].frame - position)));
            ++nextMidi;
        }
        if (!events.empty()) host.dispatch(effProcessEvents, 0, 0, events.build());
        host.processReplacing(inputPointers.data(), outputPointers.data(), count);
        if (readout) readout->audio(left.data(), right.data(), count);
        position = end;

        // The clock reads the time of the last frame played, so a timer due at T ms fires once
        // the frame at T has played, wherever the blocks end; at the end of the audio, the
        // time at which it ends.
        const long long targetMs =
            (position == totalFrames ? position : position - 1) * 1000 / rate;
        if (targetMs > clockMs) {
            platform.advanceClock(static_cast<DWORD>(targetMs - clockMs));
            clockMs = targetMs;
        }
        idle();
        if (readout) readout->clock(clockMs);
        atStop();
        progress.update(position);
    }
    // What the audio's end shows (a capture at its very end).
    captureBefore(std::numeric_limits<long long>::max());
    if (video) {
        videoOut->finish();
    } else {
        pictures->finish();
    }
    progress.finish();
    if (peakReport) peakReport->finish();
    if (folder) folder->complete();
    std::string summary = "wrote " + outPath;
    if (numbered) summary += " (" + std::to_string(captureFrames.size()) + " pictures)";
    if (video) summary += " (" + std::to_string(captureFrames.size()) + " frames)";
    std::printf("%s\n", summary.c_str());
    return 0;
}

}  // namespace

int runRender(const RenderOptions& options) {
    return renderWithEditor(options);
}

}  // namespace cqhost
