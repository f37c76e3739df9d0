// Magnitudes planned ahead: a display's bank takes them only for exactly the window they were
// computed from, and they are the bits its own exact transform gives.
#include "analysis/planned_transforms.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "analysis/analyser.h"
#include "analysis/constant_q_bank.h"
#include "signals.h"

namespace cqscope {
namespace {

constexpr double kRate = 8000.0;  // the smallest kernels: the test stays short
constexpr int kBlock = 512;

bool sameBits(const Magnitudes& a, const Magnitudes& b) {
    return std::memcmp(&a, &b, sizeof(Magnitudes)) == 0;
}

// Noise and a tone, with silence in the middle (the plans skip no samples).
struct Recording {
    std::vector<float> left, right;
    explicit Recording(std::size_t frames) : left(frames), right(frames) {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
        for (std::size_t i = 0; i < frames; ++i) {
            const bool quiet = i > frames / 3 && i < frames / 2;
            const float tone = static_cast<float>(0.5 * std::sin(0.07 * static_cast<double>(i)));
            left[i] = quiet ? 0.0f : tone + noise(random);
            right[i] = quiet ? 0.0f : noise(random);
        }
    }
    int blockAt(std::size_t position) const {
        return static_cast<int>(std::min<std::size_t>(kBlock, left.size() - position));
    }
};

TEST(PlannedTransforms, BankTakesExactlyTheWindowPlannedForIt) {
    ConstantQBank probe(kRate);
    // Long enough for whole windows, a short last block, and several flushes.
    const Recording audio(3 * probe.historyLength() + 300);
    std::vector<std::size_t> planned;  // block ends with a refresh planned
    {
        ASSERT_FALSE(transformsPlanned());
        TransformAhead ahead(kRate, 4 * kBlock);
        EXPECT_TRUE(transformsPlanned());
        ASSERT_GE(ahead.batchSize(), 1);

        // The program plans every third block end, and flushes twice along the way.
        ConstantQBank bank(kRate);
        ConstantQBank reference(kRate);
        std::size_t blocks = 0;
        for (std::size_t position = 0; position < audio.left.size();) {
            const int frames = audio.blockAt(position);
            const float span = ahead.audio(&audio.left[position], &audio.right[position], frames);
            position += static_cast<std::size_t>(frames);
            if (++blocks % 3 == 0) {
                ahead.refresh();
                planned.push_back(position);
            }
            if (blocks % 40 == 0) ahead.flush();
            // The span is the effect's own.
            const float* inputs[2] = {&audio.left[position - static_cast<std::size_t>(frames)],
                                      &audio.right[position - static_cast<std::size_t>(frames)]};
            const float own = reference.appendBlock(inputs, frames);
            EXPECT_TRUE(span == own || (std::isnan(span) && std::isnan(own)));
        }
        ahead.flush();

        // The display's bank, fed the same blocks: at each planned end it takes the planned
        // magnitudes, the exact transform's bits; elsewhere it takes none.
        ConstantQBank live(kRate);
        ConstantQBank exact(kRate);
        std::size_t next = 0;
        int taken = 0;
        for (std::size_t position = 0; position < audio.left.size();) {
            const int frames = audio.blockAt(position);
            const float* inputs[2] = {&audio.left[position], &audio.right[position]};
            live.appendBlock(inputs, frames);
            exact.appendBlock(inputs, frames);
            position += static_cast<std::size_t>(frames);
            const bool isPlanned = next < planned.size() && planned[next] == position;
            if (isPlanned) ++next;
            // Every other planned moment is skipped (a refresh the display never made); the
            // plans before a taken one are then forgotten with it.
            if (isPlanned && next % 2 == 0) continue;
            ASSERT_EQ(live.takePlanned(), isPlanned) << "at frame " << position;
            if (!isPlanned) continue;
            exact.transform();
            ASSERT_TRUE(sameBits(live.magnitudes(), exact.magnitudes())) << "at " << position;
            ++taken;
        }
        EXPECT_EQ(taken, static_cast<int>((planned.size() + 1) / 2));
    }
    EXPECT_FALSE(transformsPlanned());
}

TEST(PlannedTransforms, AWindowWithOtherSamplesTakesNothing) {
    const Recording audio(20 * kBlock);
    TransformAhead ahead(kRate, kBlock);
    ConstantQBank live(kRate);
    for (std::size_t position = 0; position < audio.left.size(); position += kBlock) {
        ahead.audio(&audio.left[position], &audio.right[position], kBlock);
        const float* inputs[2] = {&audio.left[position], &audio.right[position]};
        live.appendBlock(inputs, kBlock);
        ahead.refresh();
    }
    ahead.flush();
    // One sample of the window differs (say the effect got a block the program did not feed):
    // the plan for this moment is not taken, and is dropped.
    const std::uint32_t newest = (live.writeCount() - 1) % live.historyLength();
    live.setHistoryAt(newest, live.historyAt(newest) + 1.0);
    const Magnitudes before = live.magnitudes();
    EXPECT_FALSE(live.takePlanned());
    EXPECT_TRUE(sameBits(live.magnitudes(), before));
    live.setHistoryAt(newest, live.historyAt(newest) - 1.0);
    EXPECT_FALSE(live.takePlanned());
}

TEST(PlannedTransforms, DisplayTransformIsExactWithoutFloatCopyWhilePlanned) {
    const Recording audio(8 * kBlock);
    Analyser analyser(kRate);
    ConstantQBank exact(kRate);
    TransformAhead ahead(kRate, kBlock);
    for (std::size_t position = 0; position < audio.left.size(); position += kBlock) {
        const float* inputs[2] = {&audio.left[position], &audio.right[position]};
        analyser.processBlock(inputs, kBlock);
        exact.appendBlock(inputs, kBlock);
    }
    // Nothing planned for this window: the display's transform is the exact one (a float
    // transform, whose magnitudes differ in their low bits, would not be), and no float copy of
    // the kernels is asked for (once asked for and made, it would be ready).
    EXPECT_FALSE(analyser.prepareFloatCopy());
    analyser.transformShown([](double, double) noexcept { return true; });
    exact.transform();
    EXPECT_TRUE(sameBits(analyser.magnitudes(), exact.magnitudes()));
    EXPECT_TRUE(analyser.waitForBuild(std::chrono::seconds(60)));
    EXPECT_FALSE(analyser.prepareFloatCopy());
}

}  // namespace
}  // namespace cqscope
