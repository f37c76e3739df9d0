// `process`: runs an audio file through any effect's processReplacing and writes the result
// in the input's format.
#include <algorithm>
#include <vector>

#include "commands/commands.h"
#include "common/host_error.h"
#include "common/progress.h"
#include "files/audio_file.h"
#include "files/output_file.h"
#include "formats/clap/clap_commands.h"
#include "formats/clap/clap_host.h"
#include "formats/vst2/plugin_host.h"
#include "play/audio_source.h"
#include "play/play_loop.h"

namespace cqhost {

int runProcess(const ProcessOptions& options) {
    if (isClapPlugin(options.plugin)) return runClapProcess(options);
    AudioSource audio(options.input);
    const AudioReader& reader = audio.file();
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
    AtomicOutputFile output(options.output);
    AudioWriter writer(output, reader.format(), reader.channels(),
                       static_cast<int>(reader.sampleRate()));

    PlayLoop loop(host, audio);
    const std::vector<const float*> fileChannels = loop.fileOutputs(reader.channels());

    ProgressBar progress("process", audio.frames());
    long long done = 0;
    while (const int count = loop.play(done, kBlockSize)) {
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
