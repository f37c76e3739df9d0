#include <algorithm>
#include <vector>

#include "clap_commands.h"
#include "clap_host.h"
#include "clap_stream.h"
#include "host_error.h"
#include "input_channels.h"

namespace cqhost {

void processClapFile(const std::string& pluginPath, const ClapFileAudio& audio,
                     const std::function<void()>& beforeFirstBlock,
                     const std::function<void(std::uint64_t done)>& progress) {
    ClapLibrary library(pluginPath);
    const auto descriptors = library.descriptors();
    if (descriptors.empty()) throw HostError("plug-in " + pluginPath + " offers no plug-ins");
    ClapPlugin plugin(library, descriptors.front().id);
    const auto inputs = plugin.audioPorts(true), outputs = plugin.audioPorts(false);
    if (outputs.empty() || outputs[0].channelCount == 0) {
        throw HostError("plug-in " + pluginPath + " has no audio outputs");
    }
    // The main ports carry the file: one set of buffers as wide as the wider of the two.
    const std::uint32_t channels =
        std::max(outputs[0].channelCount, inputs.empty() ? 0u : inputs[0].channelCount);
    plugin.activate(audio.sampleRate, 1, kClapMaxBlock);
    if (beforeFirstBlock) beforeFirstBlock();

    std::vector<float> left(kClapMaxBlock), right(kClapMaxBlock);
    std::vector<const float*> fileChannels(static_cast<std::size_t>(audio.channels));
    ClapStreamAudio stream;
    stream.channels = channels;
    const int inputChannels = inputs.empty() ? 0 : static_cast<int>(inputs[0].channelCount);
    stream.read = [&](float* const* buffers, std::uint32_t frames) -> std::uint32_t {
        const int count = audio.read(left.data(), right.data(), static_cast<int>(frames));
        for (std::uint32_t c = 0; c < channels; ++c) {
            std::fill(buffers[c], buffers[c] + frames, 0.0f);
        }
        feedInputs(buffers, inputChannels, left.data(), right.data(), audio.channels, count);
        return static_cast<std::uint32_t>(count);
    };
    // A mono file gets the first output, a stereo file the first two (the first twice for a
    // mono plug-in).
    const int outputChannels = static_cast<int>(outputs[0].channelCount);
    stream.write = [&](const float* const* buffers, std::uint32_t frames) {
        for (int c = 0; c < audio.channels; ++c) {
            fileChannels[static_cast<std::size_t>(c)] = buffers[std::min(c, outputChannels - 1)];
        }
        audio.write(fileChannels.data(), static_cast<int>(frames));
    };
    processStream(plugin, stream, ClapEventStream{}, progress);
    plugin.deactivate();
}

}  // namespace cqhost
