// `probe` and `process` for CLAP plug-ins (files isClapPlugin recognises). Main thread only;
// they throw HostError for bad input as the VST 2.x commands do.
//
// processClapFile is the system-independent body of `process`: each host brings its own audio
// files (libsndfile on Linux, WAV and raw files on Windows).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "commands/commands.h"
#include "play/play_loop.h"

namespace cqhost {

// The largest block `probe` and `process` activate a CLAP plug-in for, in frames: the
// hosts' one block size.
inline constexpr std::uint32_t kClapMaxBlock = kBlockSize;

int runClapProbe(const ProbeOptions& options);
int runClapProcess(const ProcessOptions& options);

// A file's audio on its way through a plug-in. Called on the audio thread of the run.
struct ClapFileAudio {
    double sampleRate = 44100.0;
    int channels = 2;  // of the file: 1 or 2
    // Reads up to `frames` frames into left and right (a mono file: the same samples into
    // both); returns how many, 0 at the end.
    std::function<int(float* left, float* right, int frames)> read;
    // Takes `frames` processed frames, one pointer per channel of the file.
    std::function<void(const float* const* channels, int frames)> write;
};

// Main thread. Loads the CLAP file `pluginPath`, creates its first plug-in, activates it at the
// audio's rate, calls `beforeFirstBlock` (where a caller opens its output, after every check of
// the plug-in) and plays the whole of `audio` through the plug-in's main ports, reporting the
// frames done to `progress`. The plug-in is deactivated and destroyed before it returns.
// Throws HostError when the file offers no plug-in or one without audio outputs, or when the
// plug-in refuses to activate or process.
void processClapFile(const std::string& pluginPath, const ClapFileAudio& audio,
                     const std::function<void()>& beforeFirstBlock,
                     const std::function<void(std::uint64_t done)>& progress);

}  // namespace cqhost
