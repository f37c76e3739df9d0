// `process` on Windows: plays a WAV or raw file through a CLAP plug-in and writes what comes out
// as a raw file of 32-bit float stereo frames (little-endian, interleaved), the format a test
// compares byte for byte with its input. Main thread; the body is the Linux host's
// (commands/process_audio.h), which plays on the plug-in's audio thread.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio_input.h"
#include "commands/process_audio.h"
#include "common/host_error.h"
#include "formats/formats.h"
#include "win_commands.h"

namespace winhost {
namespace {

using cqhost::HostError;

bool endsWithRaw(const std::string& path) {
    return path.size() > 4 && _stricmp(path.c_str() + path.size() - 4, ".raw") == 0;
}

// A raw output file written through a temporary beside it, so that a failure leaves nothing.
class RawOutput {
  public:
    explicit RawOutput(const std::string& path) : path_(path), temporary_(path + ".part") {
        file_ = std::fopen(temporary_.c_str(), "wb");
        if (file_ == nullptr) throw HostError("cannot write " + path_);
    }
    ~RawOutput() {
        if (file_ != nullptr) std::fclose(file_);
        if (!committed_) DeleteFileA(temporary_.c_str());
    }
    RawOutput(const RawOutput&) = delete;
    RawOutput& operator=(const RawOutput&) = delete;

    // Interleaves and appends `frames` frames of the two channels.
    void write(const float* const* channels, int frames) {
        interleaved_.resize(static_cast<std::size_t>(frames) * 2);
        for (int f = 0; f < frames; ++f) {
            interleaved_[2 * f] = channels[0][f];
            interleaved_[2 * f + 1] = channels[1][f];
        }
        if (std::fwrite(interleaved_.data(), sizeof(float), interleaved_.size(), file_) !=
            interleaved_.size())
            failed_ = true;
    }
    void commit() {
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (failed_ || !closed ||
            !MoveFileExA(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING))
            throw HostError("cannot write " + path_);
        committed_ = true;
    }

  private:
    std::string path_, temporary_;
    FILE* file_ = nullptr;
    std::vector<float> interleaved_;
    bool failed_ = false, committed_ = false;
};

}  // namespace

int runProcess(const ProcessOptions& options) {
    // The format's name is the one thing asked of it here: the command has been CLAP's alone.
    if (std::string(cqhost::pluginFormatOf(options.plugin).name) != "CLAP") {
        throw HostError("process on Windows takes CLAP plug-ins (.clap); " + options.plugin +
                        " is not one");
    }
    if (!endsWithRaw(options.output)) {
        throw HostError(
            "process writes raw files of 32-bit float stereo frames: name the "
            "output NAME.raw, not " +
            options.output);
    }
    const AudioInput input(options.input, options.rawRate);
    const std::unique_ptr<cqhost::HostedPlugin> plugin = cqhost::openPlugin(options.plugin);
    plugin->start(input.sampleRate(), cqhost::kBlockSize);
    cqhost::requireAudioOutputs(*plugin);
    RawOutput output(options.output);
    InputBlocks blocks(input);
    cqhost::processAudio(
        *plugin, blocks, 2,
        [&output](const float* const* channels, int frames) { output.write(channels, frames); },
        {});
    plugin->stop();
    output.commit();
    std::printf("processed %lld frames at %g Hz into %s\n", input.frames(), input.sampleRate(),
                options.output.c_str());
    return 0;
}

}  // namespace winhost
