// The batched transform against the live one, bit for bit: the windows of a recording fed to a
// bank block by block, transformed at each moment by the bank and all at once by the batch.
#include "analysis/batch_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "analysis/batch_correlation.h"
#include "analysis/constant_q_bank.h"
#include "analysis/group_correlation.h"
#include "signals.h"

namespace cqscope {
namespace {

bool sameBits(const Magnitudes& a, const Magnitudes& b) {
    return std::memcmp(&a, &b, sizeof(Magnitudes)) == 0;
}

// A stereo recording with what the transform must pass through unchanged: noise, silence
// long and short (+0.0 and -0.0), a NaN, an infinity, denormals and huge values.
std::vector<float> awkwardChannel(std::size_t frames, std::uint32_t historyLength, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> x(frames);
    for (auto& v : x) v = noise(random);
    auto fill = [&](std::size_t from, std::size_t count, auto value) {
        for (std::size_t i = from; i < std::min(frames, from + count); ++i) x[i] = value(i);
    };
    const std::size_t L = historyLength;
    fill(L / 3, 2 * L, [](std::size_t) { return 0.0f; });  // longer than every window
    fill(3 * L, 40, [](std::size_t i) { return i % 2 ? 0.0f : -0.0f; });
    fill(3 * L + 500, 300, [](std::size_t) { return -0.0f; });
    fill(4 * L, L / 2, [&](std::size_t) { return noise(random) * 1e-40f; });  // denormal
    fill(5 * L, 200, [&](std::size_t) { return noise(random) * 3e38f; });
    x[6 * L] = std::numeric_limits<float>::quiet_NaN();
    x[6 * L + L / 4] = std::numeric_limits<float>::infinity();
    return x;
}

// Feeds the recording to a bank in blocks of uneven size, transforming at every `spacing`
// frames; keeps the mono samples the bank stored (zeros before the first) and where each
// moment's window ends among them.
struct LiveRun {
    std::vector<double> samples;
    std::vector<std::int64_t> ends;
    std::vector<Magnitudes> magnitudes;
};

LiveRun runLive(ConstantQBank& bank, const std::vector<float>& left,
                const std::vector<float>& right, std::int64_t spacing) {
    LiveRun run;
    const std::uint32_t length = bank.historyLength();
    run.samples.assign(length, 0.0);
    const std::int64_t frames = static_cast<std::int64_t>(left.size());
    std::int64_t position = 0;
    std::int64_t nextMoment = spacing;
    int blockIndex = 0;
    while (position < frames) {
        const std::int64_t block = std::min<std::int64_t>(
            {frames - position, nextMoment - position, 37 + 211 * (blockIndex++ % 5)});
        const float* inputs[2] = {left.data() + position, right.data() + position};
        const std::uint32_t before = bank.writeCount();
        bank.appendBlock(inputs, static_cast<std::int32_t>(block));
        for (std::int64_t k = 0; k < block; ++k) {
            run.samples.push_back(
                bank.historyAt((before + static_cast<std::uint32_t>(k)) % length));
        }
        position += block;
        if (position == nextMoment) {
            bank.transform();
            run.magnitudes.push_back(bank.magnitudes());
            run.ends.push_back(static_cast<std::int64_t>(run.samples.size()));
            nextMoment += spacing;
        }
    }
    return run;
}

TEST(BatchTransform, EqualsTheLiveTransformBitForBit) {
    // Spacings shorter and longer than a tile, and one that is longer than every window; the
    // bank's ring wraps many times in each run, at a different phase each time.
    struct Case {
        double rate;
        std::int64_t spacing;
    };
    for (const Case c :
         {Case{8000.0, 97}, Case{8000.0, 1000}, Case{8000.0, 7000}, Case{48000.0, 4800}}) {
        ConstantQBank bank(c.rate);
        const std::uint32_t length = bank.historyLength();
        bank.setWriteCount(12345);  // the ring's position starts mid-ring
        const std::size_t frames = c.rate == 8000.0 ? 7 * length + 1500 : 7 * length;
        const LiveRun live = runLive(bank, awkwardChannel(frames, length, 1),
                                     awkwardChannel(frames, length, 2), c.spacing);
        ASSERT_GE(live.ends.size(), 5u);

        BatchTransform batch(KernelSet::forRate(c.rate));
        // Whole runs in one call (several batches of kMaxBatch), and in the batches the
        // transform would choose.
        const int chosen = batch.batchSize(c.spacing);
        for (int size : {static_cast<int>(live.ends.size()), chosen}) {
            std::vector<Magnitudes> out(live.ends.size());
            for (std::size_t first = 0; first < live.ends.size(); first += size) {
                const int count = static_cast<int>(std::min<std::size_t>(
                    static_cast<std::size_t>(size), live.ends.size() - first));
                batch.transform(live.samples.data(), live.ends.data() + first, count,
                                out.data() + first);
            }
            for (std::size_t r = 0; r < out.size(); ++r) {
                ASSERT_TRUE(sameBits(out[r], live.magnitudes[r]))
                    << c.rate << " Hz, spacing " << c.spacing << ", batch " << size << ", moment "
                    << r;
            }
        }
        // The run held what the transform must pass through.
        int nonFinite = 0;
        for (const auto& m : live.magnitudes) nonFinite += std::isfinite(m[0][0]) ? 0 : 1;
        EXPECT_GT(nonFinite, 0);
    }
}

// Every implementation of the several-window loop against the one-window loop, over heads,
// pieces and window counts of every remainder.
TEST(BatchTransform, EveryWindowLoopAddsAsTheOneWindowLoop) {
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    constexpr int kRows = 300;
    std::vector<double> rows(kRows * 8);
    for (auto& v : rows) v = sample(random);
    std::vector<double> signal(kRows + 40);
    for (auto& v : signal) v = sample(random);
    signal[kRows / 2] = std::numeric_limits<double>::quiet_NaN();  // outside some lanes' start
    const std::int32_t laneStart[4] = {0, 170, 40, 151};

    detail::WindowCorrelationImplementation paths[4];
    const int pathCount = detail::availableWindowCorrelations(paths, 4);
    for (int p = 0; p < pathCount; ++p) {
        for (int windows = 1; windows <= 19; ++windows) {
            std::vector<const double*> x(windows);
            std::vector<std::vector<double>> sums(windows, std::vector<double>(8, 0.0));
            std::vector<double*> sumPointers(windows);
            for (int w = 0; w < windows; ++w) {
                x[w] = signal.data() + (w * 7) % 40;
                sumPointers[w] = sums[w].data();
            }
            // In two pieces, the second starting inside the head.
            for (const auto& [from, to] : {std::pair{0, 100}, std::pair{100, kRows}}) {
                std::vector<const double*> piece(windows);
                for (int w = 0; w < windows; ++w) piece[w] = x[w] + from;
                std::int32_t starts[4];
                for (int lane = 0; lane < 4; ++lane) starts[lane] = laneStart[lane] - from;
                paths[p].correlate(rows.data() + from * 8, piece.data(), windows, to - from, starts,
                                   std::max(0, 170 - from), sumPointers.data());
            }
            for (int w = 0; w < windows; ++w) {
                double expected[8] = {};
                detail::correlateGroup(rows.data(), x[w], kRows, laneStart, 170, expected);
                ASSERT_EQ(std::memcmp(expected, sums[w].data(), sizeof expected), 0)
                    << paths[p].name << ", " << windows << " windows, window " << w;
            }
        }
    }
}

}  // namespace
}  // namespace cqscope
