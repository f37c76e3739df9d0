#include <vector>

#include "common/host_error.h"
#include "formats/clap/clap_commands.h"
#include "formats/clap/clap_host.h"
#include "formats/clap/clap_stream.h"
#include "play/play_loop.h"

namespace cqhost {
namespace {

// The file's audio as the play loop reads it, on the audio thread.
class FileBlocks : public BlockAudio {
  public:
    explicit FileBlocks(const ClapFileAudio& audio) : audio_(audio) {}
    int channels() const override { return audio_.channels; }
    int read(float* left, float* right, int count) override {
        return audio_.read(left, right, count);
    }

  private:
    const ClapFileAudio& audio_;
};

}  // namespace

void processClapFile(const std::string& pluginPath, const ClapFileAudio& audio,
                     const std::function<void()>& beforeFirstBlock,
                     const std::function<void(std::uint64_t done)>& progress) {
    ClapLibrary library(pluginPath);
    const auto descriptors = library.descriptors();
    if (descriptors.empty()) throw HostError("plug-in " + pluginPath + " offers no plug-ins");
    ClapPlugin plugin(library, descriptors.front().id);
    const auto outputs = plugin.audioPorts(false);
    if (outputs.empty() || outputs[0].channelCount == 0) {
        throw HostError("plug-in " + pluginPath + " has no audio outputs");
    }
    plugin.activate(audio.sampleRate, 1, kClapMaxBlock);
    if (beforeFirstBlock) beforeFirstBlock();

    // Everything the audio thread touches is made here, before it starts.
    FileBlocks blocks(audio);
    ClapBlockProcessor processor(plugin);
    PlayLoop loop(processor, blocks);
    const std::vector<const float*> fileChannels = loop.fileOutputs(audio.channels);
    runOnAudioThread(
        plugin,
        [&](std::atomic<std::uint64_t>& done) {
            while (const int count = loop.play(static_cast<long long>(done.load()), kBlockSize)) {
                audio.write(fileChannels.data(), count);
                done.store(done.load() + static_cast<std::uint64_t>(count));
            }
        },
        progress);
    plugin.deactivate();
}

}  // namespace cqhost
