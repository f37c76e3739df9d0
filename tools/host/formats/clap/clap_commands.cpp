// `process` for CLAP plug-ins on Linux: any audio file libsndfile reads, written in the same
// format (the shared body is clap_file_process.cpp; `probe` is clap_probe.cpp).
#include "formats/clap/clap_commands.h"

#include <optional>

#include "common/progress.h"
#include "files/audio_file.h"
#include "files/output_file.h"

namespace cqhost {

int runClapProcess(const ProcessOptions& options) {
    AudioReader reader(options.input);
    ClapFileAudio audio;
    audio.sampleRate = reader.sampleRate();
    audio.channels = reader.channels();
    audio.read = [&](float* left, float* right, int frames) {
        return reader.read(left, right, frames);
    };
    std::optional<AtomicOutputFile> output;
    std::optional<AudioWriter> writer;
    audio.write = [&](const float* const* channels, int frames) {
        writer->write(channels, frames);
    };
    ProgressBar progress("process", reader.frames());
    processClapFile(
        options.plugin, audio,
        [&] {
            output.emplace(options.output);
            writer.emplace(*output, reader.format(), reader.channels(),
                           static_cast<int>(reader.sampleRate()));
        },
        [&](std::uint64_t done) { progress.update(static_cast<long long>(done)); });
    progress.finish();
    writer->finish();
    output->commit();
    return 0;
}

}  // namespace cqhost
