// The one interface for a hosted plug-in: the registry decides a file's format once, and every
// format plays the same blocks through the play loop the same way, whichever thread its audio
// runs on (a VST 2.x effect's is the caller's, a CLAP plug-in's a thread of its own).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/process_audio.h"
#include "formats/formats.h"

namespace {

// A stereo ramp that is no whole number of blocks long, read in order.
class RampAudio : public cqhost::BlockAudio {
  public:
    static constexpr long long kFrames = 3 * cqhost::kBlockSize + 77;
    int channels() const override { return 2; }
    int read(float* left, float* right, int count) override {
        int got = 0;
        for (; got < count && position_ < kFrames; ++got, ++position_) {
            left[got] = static_cast<float>(position_) / kFrames;
            right[got] = -left[got];
        }
        return got;
    }

  private:
    long long position_ = 0;
};

TEST(HostFormats, EachFileIsOpenedByItsFormatAndPlaysEveryFrameOnceThroughTheOneInterface) {
    struct Case {
        const char* path;
        const char* format;
        float leftGain, rightGain;  // what the plug-in does to each channel
    };
    for (const Case& c : {Case{CQHOST_FIXTURE_GAIN, "VST 2.x", 0.5f, 0.25f},
                          Case{CQHOST_CLAP_HALF, "CLAP", 0.5f, 0.5f}}) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(cqhost::pluginFormatOf(c.path).name, c.format);
        const auto plugin = cqhost::openPlugin(c.path);
        plugin->start(48000.0, cqhost::kBlockSize);
        cqhost::requireAudioOutputs(*plugin);
        RampAudio audio;
        std::vector<float> left, right;
        long long reported = 0;
        cqhost::processAudio(
            *plugin, audio, 2,
            [&](const float* const* channels, int frames) {
                left.insert(left.end(), channels[0], channels[0] + frames);
                right.insert(right.end(), channels[1], channels[1] + frames);
            },
            [&](long long done) { reported = done; });
        plugin->stop();
        ASSERT_EQ(static_cast<long long>(left.size()), RampAudio::kFrames);
        EXPECT_EQ(reported, RampAudio::kFrames);
        for (long long f = 0; f < RampAudio::kFrames; ++f) {
            const float in = static_cast<float>(f) / RampAudio::kFrames;
            ASSERT_EQ(left[f], c.leftGain * in) << "frame " << f;
            ASSERT_EQ(right[f], c.rightGain * -in) << "frame " << f;
        }
    }
}

}  // namespace
