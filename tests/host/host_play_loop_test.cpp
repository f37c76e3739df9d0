// The host's play loop, audio source and render clock on their own: the blocks a plug-in is
// handed, the audio in them, and when the editor's clock moves.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <vector>

#include "common/host_error.h"
#include "host_test_support.h"
#include "play/audio_source.h"
#include "play/play_loop.h"
#include "render/render_clock.h"

namespace {

using cqhost::AudioSource;
using cqhost::FrameTime;
using cqhost::kBlockSize;
using cqhost::RenderClock;

// Reads `frames` frames from the source in blocks of `block`; the left channel.
std::vector<float> readLeft(AudioSource& source, long long frames, int block) {
    std::vector<float> all, left(block), right(block);
    while (static_cast<long long>(all.size()) < frames) {
        const int got = source.read(left.data(), right.data(), block);
        if (got == 0) break;
        all.insert(all.end(), left.begin(), left.begin() + got);
    }
    return all;
}

TEST(HostAudioSource, AFilePlaysOnceOrLoopsWithoutAGapAndAnEmptyOneLoopsAsSilence) {
    cqhost_test::ScratchDir dir;
    // A mono ramp of 1000 frames, exact in 32-bit float.
    std::vector<float> ramp(1000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / 1024.0f;
    const std::string path = dir.file("ramp.wav");
    cqhost_test::writeAudio(path, ramp, 1, 8000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);

    AudioSource once(path);
    EXPECT_EQ(once.channels(), 1);
    EXPECT_EQ(readLeft(once, 5000, kBlockSize), ramp);

    AudioSource looping(path, AudioSource::Repeat::Loop);
    const std::vector<float> played = readLeft(looping, 2500, 300);
    ASSERT_GE(played.size(), 2500u);
    for (size_t i = 0; i < 2500; ++i) ASSERT_EQ(played[i], ramp[i % ramp.size()]) << i;

    const std::string empty = dir.file("empty.wav");
    cqhost_test::writeAudio(empty, {}, 2, 8000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    AudioSource silence(empty, AudioSource::Repeat::Loop);
    std::vector<float> left(64, 1.0f), right(64, 1.0f);
    EXPECT_EQ(silence.read(left.data(), right.data(), 64), 64);
    EXPECT_EQ(left, std::vector<float>(64, 0.0f));
}

TEST(HostAudioSource, TheDemoLoopsWhereItEnds) {
    AudioSource once(std::nullopt);
    AudioSource looping(std::nullopt, AudioSource::Repeat::Loop);
    const std::vector<float> pass = readLeft(once, once.frames() + kBlockSize, kBlockSize);
    ASSERT_EQ(static_cast<long long>(pass.size()), once.frames());
    const std::vector<float> twice = readLeft(looping, 2 * looping.frames(), 1000);
    for (size_t i = 0; i < 2 * pass.size(); ++i) ASSERT_EQ(twice[i], pass[i % pass.size()]) << i;
}

// A plug-in of one input and two outputs that notes what each block brought it.
class RecordingProcessor : public cqhost::BlockProcessor {
  public:
    struct Block {
        int frames;
        std::vector<int> offsets;  // of the block's messages, in delivery order
        float firstInput;
    };
    int numInputs() const override { return 1; }
    int numOutputs() const override { return 2; }
    void addMidi(const cqhost::TimedMidiMessage&, int offset) override {
        pending_.push_back(offset);
    }
    void process(float* const* inputs, float* const* outputs, int frames) override {
        blocks.push_back({frames, pending_, inputs[0][0]});
        pending_.clear();
        // Output 0 only: output 1 must read as silence.
        for (int i = 0; i < frames; ++i) outputs[0][i] = -inputs[0][i];
    }
    std::vector<Block> blocks;

  private:
    std::vector<int> pending_;
};

// A stereo ramp of `frames` frames: left i, right i + 0.5.
class RampAudio : public cqhost::BlockAudio {
  public:
    explicit RampAudio(long long frames) : frames_(frames) {}
    int channels() const override { return 2; }
    int read(float* left, float* right, int count) override {
        const int got = static_cast<int>(std::min<long long>(count, frames_ - position_));
        for (int i = 0; i < got; ++i, ++position_) {
            left[i] = static_cast<float>(position_);
            right[i] = static_cast<float>(position_) + 0.5f;
        }
        return got;
    }

  private:
    long long frames_, position_ = 0;
};

TEST(HostPlayLoop, DeliversEachMessageBeforeItsBlockAtItsOffsetAndStopsAtTheAudiosEnd) {
    RecordingProcessor processor;
    RampAudio audio(400);
    auto message = [](long long frame) { return cqhost::TimedMidiMessage{frame, {0x90, 60, 100}}; };
    // One message in the first block, two in the second, one past the audio's end.
    cqhost::PlayLoop loop(processor, audio, {message(3), message(100), message(101), message(900)});
    EXPECT_EQ(loop.play(0, 100), 100);
    EXPECT_EQ(loop.play(100, kBlockSize), 300);  // the audio ends inside the block
    EXPECT_EQ(loop.play(400, kBlockSize), 0);
    ASSERT_EQ(processor.blocks.size(), 2u);
    EXPECT_EQ(processor.blocks[0].offsets, std::vector<int>({3}));
    EXPECT_EQ(processor.blocks[1].frames, 300);
    EXPECT_EQ(processor.blocks[1].offsets, std::vector<int>({0, 1}));
    // The one input of a stereo file hears the mean of its channels.
    EXPECT_EQ(processor.blocks[1].firstInput, 100.25f);
    // A stereo file takes both outputs; a mono one the first.
    const std::vector<const float*> stereo = loop.fileOutputs(2);
    EXPECT_EQ(stereo[0][299], -399.25f);
    EXPECT_EQ(stereo[1][299], 0.0f);
    EXPECT_EQ(loop.fileOutputs(1), std::vector<const float*>({loop.output(0)}));
}

// The whole blocks a moment sees, from wherever playing stands: a moment inside a block does
// not see it, and audio shorter than its length said stops playing where it gave out.
TEST(HostPlayLoop, PlaysWholeGridBlocksUpToAMomentAndStopsWhereTheAudioGivesOut) {
    RecordingProcessor processor;
    const long long said = 3 * kBlockSize + 200;  // the audio gives only 2 * kBlockSize + 50
    RampAudio audio(2 * kBlockSize + 50);
    cqhost::PlayLoop loop(processor, audio);
    const long long moment = kBlockSize + 7;
    EXPECT_EQ(loop.playBlocks(0, cqhost::seenEnd(moment, said), said), kBlockSize);
    EXPECT_EQ(loop.playBlocks(kBlockSize, cqhost::seenEnd(moment, said), said), kBlockSize);
    EXPECT_EQ(loop.playBlocks(kBlockSize, said, said), 2 * kBlockSize + 50);
    ASSERT_EQ(processor.blocks.size(), 3u);
    EXPECT_EQ(processor.blocks[0].frames, kBlockSize);
    EXPECT_EQ(processor.blocks[1].frames, kBlockSize);
    EXPECT_EQ(processor.blocks[1].firstInput, kBlockSize + 0.25f);
    EXPECT_EQ(processor.blocks[2].frames, 50);
}

using Kind = RenderClock::Kind;

// Whole blocks, and before each everything due at a frame before its end, in frame order: a
// timer, then the Hold click; a timer at a block's end waits for that block.
TEST(HostRenderClock, BeforeEachWholeBlockWhatIsDueBeforeItsEndInFrameOrder) {
    const FrameTime time(1000.0);  // one frame a millisecond
    RenderClock clock(time, 1300, 700);
    const auto expectStop = [&clock](long long wait, Kind kind, long long frame, long long ms) {
        const RenderClock::Stop stop = clock.next(wait);
        EXPECT_EQ(stop.kind, kind) << "wait " << wait << " at " << clock.position();
        EXPECT_EQ(stop.frame, frame) << "wait " << wait << " at " << clock.position();
        EXPECT_EQ(stop.ms, ms) << "wait " << wait << " at " << clock.position();
    };
    // A timer due in 100 ms fires before the block that holds its frame; the block's stop
    // reads the time of the block's last frame.
    expectStop(100, Kind::Timer, 100, 100);
    EXPECT_EQ(clock.moveClockTo(100), 100);
    expectStop(0, Kind::Block, kBlockSize, kBlockSize - 1);
    EXPECT_EQ(clock.moveClockTo(kBlockSize - 1), kBlockSize - 101);
    clock.blockPlayed();
    EXPECT_EQ(clock.position(), kBlockSize);
    // A timer and Hold at one frame: the timer first.
    expectStop(189, Kind::Timer, 700, 700);
    clock.moveClockTo(700);
    expectStop(0, Kind::Hold, 700, 700);
    clock.holdClicked();
    expectStop(0, Kind::Block, 2 * kBlockSize, 2 * kBlockSize - 1);
    clock.moveClockTo(2 * kBlockSize - 1);
    // A timer due at the block's end frame sees that block.
    expectStop(1, Kind::Block, 2 * kBlockSize, 2 * kBlockSize - 1);
    clock.blockPlayed();
    expectStop(1, Kind::Timer, 2 * kBlockSize, 2 * kBlockSize);
    clock.moveClockTo(2 * kBlockSize);
    // The audio's last block is the only short one; then its end, which a timer due at the
    // end's frame comes before and a later one does not.
    expectStop(0, Kind::Block, 1300, 1299);
    clock.moveClockTo(1299);
    clock.blockPlayed();
    EXPECT_EQ(clock.position(), 1300);
    expectStop(1, Kind::Timer, 1300, 1300);
    expectStop(2, Kind::End, 1300, 1300);
    EXPECT_EQ(clock.moveClockTo(1300), 1);
    EXPECT_EQ(clock.moveClockTo(1200), 0);  // never back
    EXPECT_EQ(clock.ms(), 1300);
}

TEST(HostRenderClock, HoldAtTheEndComesAfterTheLastBlockAndRatesMustBeWhole) {
    const FrameTime time(44100.0);
    RenderClock clock(time, 44100, 44100);
    while (clock.next(0).kind == Kind::Block) {
        clock.moveClockTo(clock.next(0).ms);
        clock.blockPlayed();
    }
    EXPECT_EQ(clock.ms(), 999);  // the time of the last block's last frame
    EXPECT_EQ(clock.next(0).kind, Kind::Hold);
    clock.holdClicked();
    const RenderClock::Stop end = clock.next(0);
    EXPECT_EQ(end.kind, Kind::End);
    EXPECT_EQ(end.ms, 1000);  // the time at which the audio ends
    // From milliseconds to frames rounds up: the first frame at or after the time.
    EXPECT_EQ(time.firstFrameAtMs(1001), 44145);
    EXPECT_THROW(FrameTime(44100.5), cqhost::HostError);
    EXPECT_THROW(FrameTime(0.0), cqhost::HostError);
}

}  // namespace
