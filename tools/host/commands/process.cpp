// `process`: runs an audio file through any plug-in and writes the result in the input's
// format.
#include "commands/process_audio.h"
#include "common/commands.h"
#include "common/progress.h"
#include "files/audio_file.h"
#include "files/output_file.h"
#include "formats/formats.h"
#include "play/audio_source.h"

namespace cqhost {

int runProcess(const ProcessOptions& options) {
    AudioSource audio(options.input);
    const AudioReader& reader = audio.file();
    const std::unique_ptr<HostedPlugin> plugin = openPlugin(options.plugin);
    // Some effects settle their channel counts only when switched on.
    plugin->start(reader.sampleRate(), kBlockSize);
    requireAudioOutputs(*plugin);
    AtomicOutputFile output(options.output);
    AudioWriter writer(output, reader.format(), reader.channels(),
                       static_cast<int>(reader.sampleRate()));

    ProgressBar progress("process", audio.frames());
    processAudio(
        *plugin, audio, reader.channels(),
        [&writer](const float* const* channels, int frames) { writer.write(channels, frames); },
        [&progress](long long done) { progress.update(done); });
    progress.finish();
    plugin->stop();
    writer.finish();
    output.commit();
    return 0;
}

}  // namespace cqhost
