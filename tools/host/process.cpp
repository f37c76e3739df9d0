// `process`: runs an audio file through any effect's processReplacing and writes the result
// in the input's format.
#include <algorithm>
#include <vector>

#include "audio_file.h"
#include "clap_commands.h"
#include "clap_host.h"
#include "commands.h"
#include "host_error.h"
#include "output_file.h"
#include "plugin_host.h"
#include "progress.h"

namespace cqhost {
namespace {

constexpr int kBlockSize = 512;

}  // namespace

int runProcess(const ProcessOptions& options) {
    if (isClapPlugin(options.plugin)) return runClapProcess(options);
    AudioReader reader(options.input);
    PluginHost host(options.plugin);
    AEffect& effect = host.effect();
    if (effect.processReplacing == nullptr) {
        throw HostError("plug-in " + options.plugin + " has no processReplacing entry");
    }
    // Some effects settle their channel counts only when opened and switched on.
    host.start(reader.sampleRate(), kBlockSize);
    if (effect.numOutputs < 1) {
        throw HostError("plug-in " + options.plugin + " has no audio outputs");
    }
    const int numInputs = std::max(effect.numInputs, 0);
    const int numOutputs = effect.numOutputs;

    AtomicOutputFile output(options.output);
    AudioWriter writer(output, reader.format(), reader.channels(),
                       static_cast<int>(reader.sampleRate()));

    std::vector<float> left(kBlockSize), right(kBlockSize);
    // Input and output buffers are separate: the effect may write outputs before it has read
    // all inputs.
    std::vector<std::vector<float>> inputs(numInputs, std::vector<float>(kBlockSize));
    std::vector<std::vector<float>> outputs(numOutputs, std::vector<float>(kBlockSize));
    std::vector<float*> inputPointers(numInputs + 1), outputPointers(numOutputs + 1);
    for (int i = 0; i < numInputs; ++i) inputPointers[i] = inputs[i].data();
    for (int o = 0; o < numOutputs; ++o) outputPointers[o] = outputs[o].data();
    // The file's channels, as the writer takes them: a mono file gets the first output, a
    // stereo file the first two (the first twice for a mono effect).
    std::vector<const float*> fileChannels(reader.channels());
    for (int c = 0; c < reader.channels(); ++c) {
        fileChannels[c] = outputs[std::min(c, numOutputs - 1)].data();
    }

    ProgressBar progress("process", reader.frames());
    long long done = 0;
    for (;;) {
        const int count = reader.read(left.data(), right.data(), kBlockSize);
        if (count == 0) break;
        feedInputs(inputPointers.data(), numInputs, left.data(), right.data(), reader.channels(),
                   count);
        for (auto& channel : outputs) std::fill(channel.begin(), channel.end(), 0.0f);
        host.processReplacing(inputPointers.data(), outputPointers.data(), count);
        writer.write(fileChannels.data(), count);
        done += count;
        progress.update(done);
    }
    progress.finish();
    host.stop();
    writer.finish();
    output.commit();
    return 0;
}

}  // namespace cqhost
