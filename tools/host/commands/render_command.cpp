// `cqscope-host render`: its options and their checks; render.cpp does the work. With --x11 it
// is `watch`.
#include "common/commands.h"
#include "common/options.h"

namespace cqhost {
namespace {

class RenderCommand : public Command {
  public:
    RenderCommand()
        : Command(
              "render", "[AUDIO]", "the editor's pictures, or a video, of AUDIO played through",
              "Plays AUDIO (or a built-in demo chord) through the plug-in with its editor open\n"
              "and writes the editor's picture as PNG: at the end of the audio (the demo: at\n"
              "3 s), at each --at time, or every SECONDS into numbered files in a folder.\n"
              "--out NAME.mp4 or NAME.mkv writes a video of the editor with AUDIO's sound\n"
              "(H.264 and AAC; --lossless, for .mkv: FFV1 and FLAC). Times are seconds.\n") {
        options_.plugin = defaultPluginPath();
        path("--plugin", "PATH", "the plug-in (default: cqscope.so beside this program)",
             [this](const std::string& path) { options_.plugin = path; });
        path("--midi", "FILE", "a Standard MIDI File played with the audio",
             [this](const std::string& file) { options_.midi = file; });
        value("--at", "T[,T...]", "pictures at these times",
              [this](const std::string& text) { options_.at = parseTimeList("--at", text); });
        value("--every", "SECONDS", "a picture every SECONDS, into numbered files in --out",
              [this](const std::string& text) { options_.every = parsePeriod("--every", text); });
        value(
            "--hold-at", "T", "clicks the display's Hold button at this time",
            [this](const std::string& text) { options_.holdAt = parseSeconds("--hold-at", text); });
        value("--pointer", "COLUMN[,ROW]",
              "the mouse pointer rests over the display at this point\n(default ROW: 250)",
              [this](const std::string& text) { options_.pointer = parsePointer(text); });
        path("--out", "PATH", "the picture, the folder of pictures, or the video",
             [this](const std::string& path) { options_.out = path; });
        value("--peaks", "N",
              "prints the N strongest peaks of each picture (note, cents, Hz)\non stderr",
              [this](const std::string& text) { options_.peaks = parsePeakCount(text); });
        path("--peaks-out", "FILE", "the peaks into FILE instead of stderr",
             [this](const std::string& file) { options_.peaksOut = file; });
        value("--fps", "N", "video frames a second (default 30)", [this](const std::string& text) {
            options_.fps = parseNumber("--fps", text, "a number of frames per second");
            if (*options_.fps < 1.0 || *options_.fps > 240.0) {
                throw UsageError("--fps needs a rate from 1 to 240 frames per second, not " + text);
            }
        });
        flag("--lossless", "video as FFV1 and FLAC (.mkv)", [this] { options_.lossless = true; });
        value("--threads", "N", "threads to use (default: one per core)",
              [this](const std::string& text) {
                  options_.threads = static_cast<int>(
                      parseWhole(text, 1, 64, "--threads needs a whole number from 1 to 64"));
              });
        flag("--x11", "shows the editor live in an X11 window instead, as watch does", [] {});
    }

  private:
    int run(const std::vector<std::string>& operands) override {
        if (operands.size() > 1) throw UsageError("render takes at most one audio file");
        if (given("--x11")) return runLive(operands);
        if (!operands.empty() && operands[0].empty()) {
            throw UsageError("render needs an audio file, not an empty path");
        }
        if (!operands.empty()) options_.audio = operands[0];
        if (!options_.at.empty() && options_.every) {
            throw UsageError("--at and --every cannot be used together");
        }
        if (options_.peaksOut && !options_.peaks) throw UsageError("--peaks-out needs --peaks N");
        if (options_.peaksOut && options_.out && *options_.peaksOut == *options_.out) {
            throw UsageError("--out and --peaks-out name the same file");
        }
        return runRender(options_);
    }

    int runLive(const std::vector<std::string>& operands) {
        for (const auto& name : givenNames()) {
            if (name != "--plugin" && name != "--x11") {
                throw UsageError("render --x11 shows the editor live and takes no " + name);
            }
        }
        WatchOptions watch;
        watch.plugin = options_.plugin;
        if (!operands.empty()) watch.audio = operands[0];
        return runWatch(watch);
    }

    RenderOptions options_;
};

}  // namespace

std::unique_ptr<Command> makeRenderCommand() {
    return std::make_unique<RenderCommand>();
}

}  // namespace cqhost
