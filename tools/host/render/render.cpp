// `render`: plays audio and MIDI through the plug-in with its editor open, as a live host
// would, on a manual clock that follows the audio, and writes what the editor shows at the
// asked times as PNG pictures, or at every frame time as a video with the audio's sound.
// The plan (render_plan.h) says what to capture, the clock (render_clock.h) where each block
// ends, the target (render_target.h: the plug-in, of any format, with its editor open) plays it,
// and the sink (render_sink.h) takes the captures. Main thread only: it is the host's
// user-interface thread, and hands out the blocks.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "analyse/peaks.h"
#include "analyse/plugin_analysis.h"
#include "common/commands.h"
#include "common/host_error.h"
#include "common/progress.h"
#include "display/display_geometry.h"
#include "files/output_file.h"
#include "formats/platform_api.h"
#include "play/audio_source.h"
#include "render/render_clock.h"
#include "render/render_plan.h"
#include "render/render_sink.h"
#include "render/render_target.h"

namespace cqhost {
namespace {

// Threads to use: the asked number, or one per core.
int threadCount(const RenderOptions& options) {
    if (options.threads > 0) return options.threads;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// One render, from the loaded plug-in to the written output.
class EditorRender {
  public:
    EditorRender(const RenderOptions& options, AudioSource& audio, const FrameTime& time,
                 const RenderPlan& plan, RenderSink& sink, RenderTarget& target);
    // Plays the audio up to the last capture (a video: to its end) and takes every capture.
    void run();

  private:
    unsigned long long drawCount() const;
    void captureBefore(long long limit);
    void moveClockTo(long long ms);
    void clickHold();
    // The editor's whole scale factor: its width over the picture's.
    int editorScale() const;
    // Moves the pointer to where --pointer rests it, if anywhere.
    void restPointer();
    void playBlock();

    const FrameTime& time_;
    const RenderPlan& plan_;
    RenderSink& sink_;
    RenderTarget& target_;
    const PlatformApi& platform_;
    const int width_, height_;
    const long long totalFrames_;
    // The render ends once everything due at or before this frame has been done.
    const long long lastFrame_;
    // The plug-in's window system tells what its windows have drawn and when its next timer
    // is due.
    const bool renderCalls_;
    RenderClock clock_;
    ProgressBar progress_;
    // The note readout follows the display beside the plug-in (--peaks).
    std::unique_ptr<PeakReport> peakReport_;
    std::unique_ptr<DisplayReadout> readout_;
    const std::optional<PointerAt> pointer_;
    size_t nextCapture_ = 0;
    unsigned long long lastDrawCount_ = 0;
};

// A video plays the audio to its end, for the sound; pictures stop once the last capture has
// been taken.
long long lastFrameOf(const RenderPlan& plan, long long totalFrames) {
    if (plan.kind == OutputKind::Video) return totalFrames;
    return std::min(plan.captureFrames.back(), totalFrames);
}

EditorRender::EditorRender(const RenderOptions& options, AudioSource& audio, const FrameTime& time,
                           const RenderPlan& plan, RenderSink& sink, RenderTarget& target)
    : time_(time),
      plan_(plan),
      sink_(sink),
      target_(target),
      platform_(target.platform()),
      width_(target.size().width),
      height_(target.size().height),
      totalFrames_(audio.frames()),
      lastFrame_(lastFrameOf(plan, totalFrames_)),
      renderCalls_(hasRenderCalls(platform_)),
      clock_(time, totalFrames_, plan.holdFrame),
      progress_("render", lastFrame_),
      pointer_(options.pointer) {
    if (options.peaks) {
        peakReport_ = std::make_unique<PeakReport>(options.peaksOut);
        readout_ =
            std::make_unique<DisplayReadout>(audio.sampleRate(), *options.peaks, *peakReport_);
    }
}

unsigned long long EditorRender::drawCount() const {
    unsigned long long count = 0;
    if (!platform_.windowDrawCount(target_.window(), &count)) {
        throw HostError("cannot read the editor's pixels");
    }
    return count;
}

// Takes the captures of the frames before `limit`. A capture shows the display as it is at
// its frame: after the timers and the Hold click due at or before that frame, which saw the
// blocks that end at or before it. The display changes only when the host runs the editor,
// so a capture between two stops shows what it showed after the first of them.
void EditorRender::captureBefore(long long limit) {
    const std::vector<long long>& frames = plan_.captureFrames;
    while (nextCapture_ < frames.size() && frames[nextCapture_] < limit) {
        // Between two refreshes nothing is drawn, so most video frames repeat the one before:
        // those are neither read back nor compared again.
        const bool unchanged = nextCapture_ > 0 && renderCalls_ && drawCount() == lastDrawCount_;
        if (unchanged) {
            sink_.addRepeat(nextCapture_);
        } else {
            lastDrawCount_ = renderCalls_ ? drawCount() : 0;
            // Read straight into the buffer the encoders will take.
            PixelPool::Buffer pixels = sink_.buffer();
            if (!platform_.readWindowPixels(target_.window(), pixels->data(), width_, height_)) {
                throw HostError("cannot read the editor's pixels");
            }
            sink_.add(nextCapture_, std::move(pixels));
        }
        if (readout_) readout_->picture(time_.secondsAt(frames[nextCapture_]));
        ++nextCapture_;
    }
}

// Moves the editor's clock on to `ms` and lets the editor run: the timers due by then fire.
void EditorRender::moveClockTo(long long ms) {
    const long long step = clock_.moveClockTo(ms);
    if (step > 0) target_.advanceClock(step);
    target_.idle();
    if (readout_) readout_->clock(clock_.ms());
}

int EditorRender::editorScale() const {
    return std::max(1, target_.size().width / display::kWidth);
}

void EditorRender::restPointer() {
    // --pointer names a pixel of the picture; the window shows it at the editor's scale.
    const int scale = editorScale();
    if (pointer_) target_.movePointer(pointer_->column * scale, pointer_->row * scale);
}

void EditorRender::clickHold() {
    // The button where the editor shows it, at the editor's scale.
    const int scale = editorScale();
    target_.click(display::kHoldClickX * scale, display::kHoldClickY * scale);
    // The click took the pointer onto the button: it comes back to rest where it was.
    restPointer();
    clock_.holdClicked();
    if (readout_) readout_->holdClicked(clock_.ms());
}

// Plays the next block, whole.
void EditorRender::playBlock() {
    const long long position = clock_.position();
    const int count = static_cast<int>(blockEnd(position, totalFrames_) - position);
    if (target_.play(position, count) != count) {
        throw HostError("audio ended early while rendering");
    }
    sink_.addAudio(target_.left(), target_.right(), count);
    if (readout_) readout_->audio(target_.left(), target_.right(), count);
    clock_.blockPlayed();
    progress_.update(clock_.position());
}

void EditorRender::run() {
    target_.idle();
    // The pointer comes to rest over the display before anything is played.
    restPointer();
    for (;;) {
        // The plug-in gets the same calls whatever is captured, so a video frame is the
        // picture `--at` gives at its time.
        const RenderClock::Stop stop = clock_.next(target_.nextTimerWait());
        captureBefore(stop.frame);
        if (stop.kind == RenderClock::Kind::Block && stop.frame > lastFrame_) break;
        moveClockTo(stop.ms);
        if (stop.kind == RenderClock::Kind::Hold) clickHold();
        if (stop.kind == RenderClock::Kind::Block) playBlock();
        if (stop.kind == RenderClock::Kind::End) break;
    }
    // What the audio's end shows (a capture at its very end).
    captureBefore(std::numeric_limits<long long>::max());
    sink_.finish();
    progress_.finish();
    if (peakReport_) peakReport_->finish();
    sink_.commit();
}

}  // namespace

int runRender(const RenderOptions& options) {
    AudioSource audio(options.audio);
    const FrameTime time(audio.sampleRate());
    const RenderPlan plan = planRender(options, audio, time);
    const int threads = threadCount(options);
    // Made before the plug-in is loaded, so that an unwritable destination fails at once.
    const std::unique_ptr<RenderSink> sink = makeRenderSink(plan, options, audio, threads);

    // The display's refreshes are transformed a batch at a time ahead of the plug-in.
    const auto planAhead = [&](const PlatformApi& platform) {
        return std::make_unique<RenderAhead>(platform, options.audio, time,
                                             lastFrameOf(plan, audio.frames()), plan.holdFrame);
    };
    RenderTarget target(options.plugin, audio, audio.sampleRate(), plan.midi, options.scale,
                        planAhead);
    sink->open(target.size().width, target.size().height);
    EditorRender render(options, audio, time, plan, *sink, target);
    render.run();
    reportWritten(sink->summary());
    return 0;
}

}  // namespace cqhost
