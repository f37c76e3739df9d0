// cqscope-batch-bench: rows per second of the offline analysis at 48 kHz, measured in one
// run: the live transform (one window per pass over the kernels) and the batched transform
// (a batch of windows 0.1 s apart per pass), each against two ceilings measured on this
// machine with both cores: the memory floor (a transform that reads the whole kernel set for
// each row cannot beat one read of it per row) and the arithmetic peak (the multiplications
// and additions of a row, separately rounded as the transform needs them, at the rate the
// batched loop does them when all it reads is in the first-level cache).
//
//   build/out/cqscope-batch-bench [SECONDS]   (each figure measured for about SECONDS, 2)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "analysis/batch_correlation.h"
#include "analysis/batch_transform.h"
#include "analysis/constant_q_bank.h"
#include "analysis/group_correlation.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRate = 48000.0;
constexpr std::int64_t kSpacing = 4800;  // analyse's 0.1 s

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs `once` (which does `units` of work) until `seconds` have passed; answers units/s.
template <class Once>
double ratePerSecond(double seconds, double units, Once once) {
    once();  // warm: kernels, pages, caches
    const auto start = Clock::now();
    long long runs = 0;
    do {
        once();
        ++runs;
    } while (secondsSince(start) < seconds);
    return units * static_cast<double>(runs) / secondsSince(start);
}

// Runs body(thread) on every core at once.
template <class Body>
void onEveryCore(Body body) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < cores; ++t) threads.emplace_back([&body, t] { body(t); });
    body(0);
    for (auto& thread : threads) thread.join();
}

typedef double Row __attribute__((vector_size(64)));

// The sum of `count` doubles (a multiple of 32), read as fast as the widest vectors allow.
__attribute__((target_clones("avx512f", "avx2", "default"))) double sumOf(const double* data,
                                                                          std::size_t count) {
    Row parts[4] = {};
    for (std::size_t i = 0; i < count; i += 32) {
        for (int k = 0; k < 4; ++k) {
            Row row;
            std::memcpy(&row, data + i + 8 * k, sizeof row);
            parts[k] += row;
        }
    }
    const Row total = (parts[0] + parts[1]) + (parts[2] + parts[3]);
    double sum = 0.0;
    for (int k = 0; k < 8; ++k) sum += total[k];
    return sum;
}

// Bytes per second that all cores together read from a buffer far larger than the caches.
double memoryReadRate(double seconds, const double* data, std::size_t count) {
    std::atomic<double> sink{0.0};
    return ratePerSecond(seconds, static_cast<double>(count * sizeof(double)), [&] {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        onEveryCore([&](unsigned t) {
            const std::size_t from = count * t / cores / 32 * 32;
            const std::size_t to = count * (t + 1) / cores / 32 * 32;
            sink.store(sumOf(data + from, to - from), std::memory_order_relaxed);
        });
    });
}

// Multiply-adds per second on all cores of the batched transform's own loop with every
// operand in the first-level cache: a tile of 256 kernel rows correlated with 8 windows (the
// loop's width on AVX-512) over and over. What the arithmetic allows, with no wait for memory.
double arithmeticRate(double seconds) {
    constexpr int kTileRows = 256, kWindows = 8, kPasses = 10000;
    std::vector<double> rows(kTileRows * 8, 0.5);
    std::vector<double> x(kTileRows + kWindows, 1e-3);
    const std::int32_t laneStart[4] = {0, 0, 0, 0};
    const double units = static_cast<double>(kTileRows) * 8 * kWindows * kPasses *
                         std::max(1u, std::thread::hardware_concurrency());
    return ratePerSecond(seconds, units, [&] {
        onEveryCore([&](unsigned) {
            alignas(64) double sums[kWindows][8] = {};
            const double* windows[kWindows];
            double* sumPointers[kWindows];
            for (int w = 0; w < kWindows; ++w) {
                windows[w] = x.data() + w;
                sumPointers[w] = sums[w];
            }
            for (int pass = 0; pass < kPasses; ++pass) {
                cqscope::detail::correlateGroupWindows(rows.data(), windows, kWindows, kTileRows,
                                                       laneStart, 0, sumPointers);
            }
            if (sums[0][0] == 42.0) std::puts("");
        });
    });
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(0.2, std::atof(argv[1])) : 2.0;
    cqscope::ConstantQBank bank(kRate);
    const cqscope::KernelSet& set = bank.kernels();
    const std::uint32_t length = bank.historyLength();
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    for (std::uint32_t i = 0; i < length; ++i) bank.setHistoryAt(i, sample(random));

    // What one row costs at least: the kernel set's bytes, and one multiply-add per
    // coefficient stored (a group's lanes before their window starts included).
    const double kernelBytes = static_cast<double>(set.storageBytes());
    const double multiplyAdds = kernelBytes / sizeof(double);

    // The kernel set itself, read as fast as the cores can: the per-row transform's floor.
    const double memoryRate =
        memoryReadRate(seconds, set.rows(), static_cast<std::size_t>(multiplyAdds) / 32 * 32);
    const double arithmetic = arithmeticRate(seconds);
    const double memoryFloorRows = memoryRate / kernelBytes;
    const double peakRows = arithmetic / multiplyAdds;

    const double liveRows = ratePerSecond(seconds, 1.0, [&] { bank.transform(); });

    // A recording of a few hundred rows, transformed batch by batch as analyse does.
    cqscope::BatchTransform batch(cqscope::KernelSet::forRate(kRate));
    constexpr int kRows = 384;
    std::vector<double> samples(length + static_cast<std::size_t>(kRows) * kSpacing);
    for (auto& v : samples) v = sample(random);
    std::vector<std::int64_t> ends(kRows);
    for (int r = 0; r < kRows; ++r)
        ends[r] = length + static_cast<std::int64_t>(r + 1) * kSpacing - kSpacing;
    std::vector<cqscope::Magnitudes> out(kRows);
    auto batchedRows = [&](int size) {
        return ratePerSecond(seconds, kRows, [&] {
            for (int first = 0; first < kRows; first += size) {
                batch.transform(samples.data(), ends.data() + first, std::min(size, kRows - first),
                                out.data() + first);
            }
        });
    };
    const int chosen = batch.batchSize(kSpacing);
    const double batchedChosen = batchedRows(chosen);

    std::printf("cqscope-batch-bench: 48 kHz, rows 0.1 s apart, %u cores, %s / %s\n",
                std::max(1u, std::thread::hardware_concurrency()),
                cqscope::detail::correlationPath(), cqscope::detail::windowCorrelationPath());
    std::printf("  kernel set                      %8.1f MB, %.1f million multiply-adds a row\n",
                kernelBytes / 1e6, multiplyAdds / 1e6);
    std::printf("  memory read, all cores          %8.1f GB/s  -> floor %8.1f rows/s\n",
                memoryRate / 1e9, memoryFloorRows);
    std::printf("  multiply-adds, all cores        %8.1f G/s   -> peak  %8.1f rows/s\n",
                arithmetic / 1e9, peakRows);
    std::printf("  live transform (per row)        %8.1f rows/s  %5.2f x floor  %5.3f x peak\n",
                liveRows, liveRows / memoryFloorRows, liveRows / peakRows);
    std::printf("  batched transform (%2d a pass)   %8.1f rows/s  %5.2f x floor  %5.3f x peak\n",
                chosen, batchedChosen, batchedChosen / memoryFloorRows, batchedChosen / peakRows);
    std::printf("  batched / live                  %8.2f\n", batchedChosen / liveRows);
    std::printf("  windows a pass (cache effect):");
    for (int size : {1, 16, 64, 128}) {
        if (size == chosen) continue;
        std::printf("  %d: %.0f", size, batchedRows(size));
    }
    std::printf(" rows/s\n");
    return 0;
}
