// The body of `process`, for every host and every plug-in format: the whole of an audio source
// played through a started plug-in on the one block grid, and what it puts out handed on for a
// file. Portable (the Windows host's `process` shares it). Main thread; the blocks play on the
// plug-in's audio thread (HostedPlugin::playThrough).
#pragma once

#include <functional>

#include "formats/hosted_plugin.h"
#include "play/play_loop.h"

namespace cqhost {

// Throws HostError "plug-in P has no audio outputs" unless the started plug-in has one.
void requireAudioOutputs(HostedPlugin& plugin);

// Plays the whole of `audio` through `plugin` (started, with an audio output) and calls
// `write` on the audio thread with each block's outputs for a file of `fileChannels` channels
// (1 or 2; see PlayLoop::fileOutputs), and `progress` (which may be empty) on this thread with
// the frames done.
void processAudio(HostedPlugin& plugin, BlockAudio& audio, int fileChannels,
                  const std::function<void(const float* const* channels, int frames)>& write,
                  const std::function<void(long long done)>& progress);

}  // namespace cqhost
