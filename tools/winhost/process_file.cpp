// `process` on Windows: plays a WAV or raw file through a CLAP plug-in and writes what comes out
// as a raw file of 32-bit float stereo frames (little-endian, interleaved), the format a test
// compares byte for byte with its input. Main thread; the plug-in's audio thread is the shared
// CLAP file runner's (host/clap_commands.h).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "audio_input.h"
#include "common/host_error.h"
#include "formats/clap/clap_commands.h"
#include "formats/clap/clap_host.h"
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
    if (!cqhost::isClapPlugin(options.plugin)) {
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
    long long position = 0;
    cqhost::ClapFileAudio audio;
    audio.sampleRate = input.sampleRate();
    audio.channels = 2;
    audio.read = [&](float* left, float* right, int frames) {
        const long long count = std::min<long long>(frames, input.frames() - position);
        input.read(position, left, right, static_cast<int>(count));
        position += count;
        return static_cast<int>(count);
    };
    std::optional<RawOutput> output;
    audio.write = [&](const float* const* channels, int frames) {
        output->write(channels, frames);
    };
    cqhost::processClapFile(options.plugin, audio, [&] { output.emplace(options.output); }, {});
    output->commit();
    std::printf("processed %lld frames at %g Hz into %s\n", input.frames(), input.sampleRate(),
                options.output.c_str());
    return 0;
}

}  // namespace winhost
