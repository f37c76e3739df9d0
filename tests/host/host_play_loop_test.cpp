// The host's play loop, audio source and render clock on their own: the blocks a plug-in is
// handed, the audio in them, and when the editor's clock moves.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <vector>

#include "audio_source.h"
#include "host_error.h"
#include "host_test_support.h"
#include "play_loop.h"
#include "render_clock.h"

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

TEST(HostRenderClock, BlocksEndOnTheGridAtHoldAndJustAfterTheNextTimer) {
    const FrameTime time(1000.0);  // one frame a millisecond
    RenderClock clock(time, 2000, 1500, 700);
    EXPECT_EQ(clock.nextBlockEnd(0), kBlockSize);
    // A timer due in 100 ms: just after the frame at 100 ms.
    EXPECT_EQ(clock.nextBlockEnd(100), 101);
    EXPECT_EQ(clock.advanceTo(101), 100);  // the time of the last frame played
    EXPECT_FALSE(clock.takeHoldClick());
    EXPECT_EQ(clock.nextBlockEnd(0), kBlockSize);
    clock.advanceTo(kBlockSize);
    // The Hold click's stop, just after its frame; Hold is clicked there once.
    EXPECT_EQ(clock.nextBlockEnd(0), 701);
    EXPECT_EQ(clock.advanceTo(701), 700 - (kBlockSize - 1));
    EXPECT_TRUE(clock.takeHoldClick());
    EXPECT_FALSE(clock.takeHoldClick());
    EXPECT_EQ(clock.nextBlockEnd(0), 2 * kBlockSize);
    clock.advanceTo(2 * kBlockSize);
    // The end of what is played, which the timer cannot pass.
    EXPECT_EQ(clock.nextBlockEnd(5000), 1500);
    clock.advanceTo(1500);
    EXPECT_TRUE(clock.finished());
    EXPECT_EQ(clock.ms(), 1499);
}

TEST(HostRenderClock, TheAudiosEndReadsTheTimeAtWhichItEndsAndRatesMustBeWhole) {
    const FrameTime time(44100.0);
    RenderClock clock(time, 44100, 44100, std::nullopt);
    clock.advanceTo(44099);
    EXPECT_EQ(clock.ms(), 999);
    EXPECT_EQ(clock.advanceTo(44100), 1);
    EXPECT_EQ(clock.ms(), 1000);
    // From milliseconds to frames rounds up: the first frame at or after the time.
    EXPECT_EQ(time.firstFrameAtMs(1001), 44145);
    EXPECT_THROW(FrameTime(44100.5), cqhost::HostError);
    EXPECT_THROW(FrameTime(0.0), cqhost::HostError);
}

}  // namespace
