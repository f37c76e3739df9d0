#include "commands/process_audio.h"

#include <vector>

#include "common/host_error.h"

namespace cqhost {

void requireAudioOutputs(HostedPlugin& plugin) {
    if (plugin.processor().numOutputs() < 1) {
        throw HostError("plug-in " + plugin.path() + " has no audio outputs");
    }
}

void processAudio(HostedPlugin& plugin, BlockAudio& audio, int fileChannels,
                  const std::function<void(const float* const* channels, int frames)>& write,
                  const std::function<void(long long done)>& progress) {
    // Everything the audio thread touches is made here, before it starts.
    PlayLoop loop(plugin.processor(), audio);
    const std::vector<const float*> channels = loop.fileOutputs(fileChannels);
    long long position = 0;
    plugin.playThrough(
        [&] {
            const int count = loop.play(position, kBlockSize);
            write(channels.data(), count);
            position += count;
            return count;
        },
        progress);
}

}  // namespace cqhost
