// Benchmarks of the analysis engine at 44.1 kHz, printed as ratios measured in the same run:
// production transform against the plain one and against a memory-read floor, the cost of a
// first and a second effect's analysis state, and the audio callback per frame. At 48, 96 and
// 192 kHz: the kernel build, the kernels' memory, and the transform with the caches flushed
// against the memory-read floor for that rate's kernels.
//
//   build/out/cqscope-bench            all figures and the ratio tables
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analysis/analyser.h"
#include "analysis/constant_q_bank.h"
#include "analysis/group_correlation.h"
#include "analysis/kernel_set.h"
#include "analysis/reference_transform.h"
#include "core/pass_through.h"
#include "display/spectrum_view.h"

namespace {

using cqscope::Analyser;
using cqscope::ConstantQBank;
using cqscope::Magnitudes;
using cqscope::ReferenceKernels;

constexpr double kRate = 44100.0;

void fillRandom(ConstantQBank& bank) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    for (std::uint32_t i = 0; i < bank.historyLength(); ++i) bank.setHistoryAt(i, sample(random));
    bank.setWriteCount(123457);
}

// Resident set size of this process in bytes.
std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Registered first: benchmarks run in this order, and the construction figures need a
// process in which no 44.1 kHz kernel set exists yet.
// A first effect at 44.1 kHz: nothing shares its kernels, so they are built.
void firstConstruction(benchmark::State& state) {
    for (auto _ : state) {
        Analyser analyser(kRate);
        benchmark::DoNotOptimize(&analyser);
    }
}
BENCHMARK(firstConstruction)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->Repetitions(3)
    ->MeasureProcessCPUTime();

// The higher rates of the table.
constexpr double kHigherRates[] = {48000.0, 96000.0, 192000.0};

// The kernel set of a rate built while no other set of that rate lives (wall time: the build
// shares its work between two threads).
void kernelBuild(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0));
    for (auto _ : state) {
        auto set = cqscope::KernelSet::forRate(rate);
        benchmark::DoNotOptimize(set.get());
    }
}
BENCHMARK(kernelBuild)
    ->Arg(48000)
    ->Arg(96000)
    ->Arg(192000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Repetitions(3)
    ->UseRealTime();

// A second effect at the same rate while the first lives: shares the kernels.
std::size_t secondResidentBytes = 0;
void secondConstruction(benchmark::State& state) {
    Analyser first(kRate);
    {
        // Resident memory added by a second effect that has run a transform.
        const std::size_t before = residentBytes();
        Analyser second(kRate);
        second.transform();
        secondResidentBytes = residentBytes() - before;
    }
    for (auto _ : state) {
        Analyser second(kRate);
        benchmark::DoNotOptimize(&second);
    }
}
BENCHMARK(secondConstruction)->Unit(benchmark::kMicrosecond)->Repetitions(3);

// Shared by the transform benchmarks: one bank and the plain per-bin copy of its kernels.
struct TransformFixture {
    ConstantQBank bank{kRate};
    ReferenceKernels reference{bank.kernels()};
    TransformFixture() { fillRandom(bank); }
};
TransformFixture& transformFixture() {
    static TransformFixture fixture;
    return fixture;
}

void referenceTransform(benchmark::State& state) {
    TransformFixture& f = transformFixture();
    Magnitudes out{};
    for (auto _ : state) {
        cqscope::referenceTransform(f.reference, f.bank.history(), f.bank.writeCount(), out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(referenceTransform)->Unit(benchmark::kMillisecond)->MinTime(0.3)->Repetitions(5);

void productionTransform(benchmark::State& state) {
    TransformFixture& f = transformFixture();
    for (auto _ : state) {
        f.bank.transform();
        benchmark::DoNotOptimize(f.bank.magnitudes());
    }
    state.SetLabel(cqscope::detail::correlationPath());
}
BENCHMARK(productionTransform)->Unit(benchmark::kMillisecond)->MinTime(0.3)->Repetitions(5);

// The display's transform (float kernels, exact where a bar needs it), on the same history.
void shownTransform(benchmark::State& state) {
    TransformFixture& f = transformFixture();
    for (auto _ : state) {
        f.bank.transformShown(sameBar);
        benchmark::DoNotOptimize(f.bank.magnitudes());
    }
}
BENCHMARK(shownTransform)->Unit(benchmark::kMillisecond)->MinTime(0.3)->Repetitions(5);

// The same with the caches flushed before every transform (by reading 128 MiB of other data
// outside the timed region): the last-level cache then holds none of the kernels.
void productionTransformCold(benchmark::State& state) {
    TransformFixture& f = transformFixture();
    const std::size_t flushDoubles = (std::size_t{128} << 20) / sizeof(double);
    std::vector<double> flush(flushDoubles, 1.0);
    for (auto _ : state) {
        state.PauseTiming();
        double sum = 0.0;
        for (std::size_t i = 0; i < flushDoubles; i += 8) sum += flush[i];
        benchmark::DoNotOptimize(sum);
        state.ResumeTiming();
        f.bank.transform();
        benchmark::DoNotOptimize(f.bank.magnitudes());
    }
}
BENCHMARK(productionTransformCold)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3);

// The same at a higher rate, for a bank of that rate.
void productionTransformColdAt(benchmark::State& state) {
    static std::map<long, std::unique_ptr<ConstantQBank>> banks;
    auto& bank = banks[static_cast<long>(state.range(0))];
    if (!bank) {
        bank = std::make_unique<ConstantQBank>(static_cast<double>(state.range(0)));
        fillRandom(*bank);
    }
    const std::size_t flushDoubles = (std::size_t{128} << 20) / sizeof(double);
    std::vector<double> flush(flushDoubles, 1.0);
    for (auto _ : state) {
        state.PauseTiming();
        double sum = 0.0;
        for (std::size_t i = 0; i < flushDoubles; i += 8) sum += flush[i];
        benchmark::DoNotOptimize(sum);
        state.ResumeTiming();
        bank->transform();
        benchmark::DoNotOptimize(bank->magnitudes());
    }
    state.counters["kernelBytes"] = static_cast<double>(bank->kernels().storageBytes());
    bank.reset();  // the next rate's kernels take its place
}
BENCHMARK(productionTransformColdAt)
    ->Arg(48000)
    ->Arg(96000)
    ->Arg(192000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3);

// Sums a buffer far larger than the last-level cache (4 x 32 MiB and at least 128 MiB) with
// many independent accumulators, then scales the time to the kernel set's byte count: the
// time to stream the kernels once from memory.
typedef double Lanes __attribute__((vector_size(64)));
void memoryReadFloor(benchmark::State& state) {
    const std::size_t bytes = std::size_t{256} << 20;
    const std::size_t vectors = bytes / sizeof(Lanes);
    // Allocated as the kernels are (aligned to and advised for 2 MiB pages), so that both pay
    // the same for address translation.
    constexpr std::align_val_t kPageAlignment{std::size_t{2} << 20};
    auto* buffer = static_cast<Lanes*>(::operator new(bytes, kPageAlignment));
    madvise(buffer, bytes, MADV_HUGEPAGE);
    for (std::size_t i = 0; i < vectors; ++i) {
        buffer[i] = Lanes{1, 1, 1, 1, 1, 1, 1, 1} * static_cast<double>(i & 7);
    }
    for (auto _ : state) {
        Lanes a0{}, a1{}, a2{}, a3{};
        for (std::size_t i = 0; i < vectors; i += 4) {
            a0 += buffer[i];
            a1 += buffer[i + 1];
            a2 += buffer[i + 2];
            a3 += buffer[i + 3];
        }
        benchmark::DoNotOptimize(a0 + a1 + a2 + a3);
    }
    const double kernelBytes =
        static_cast<double>(transformFixture().bank.kernels().storageBytes());
    // Reported per kernel-set's worth of bytes.
    state.counters["scale"] = kernelBytes / static_cast<double>(bytes);
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
    ::operator delete(buffer, kPageAlignment);
}
BENCHMARK(memoryReadFloor)->Unit(benchmark::kMillisecond)->MinTime(0.3)->Repetitions(5);

// One stereo block of state.range(0) frames through the audio callback. A block shorter than
// 512 frames also reads the mono history back to 512 frames for its span.
void audioCallback(benchmark::State& state) {
    static Analyser analyser(kRate);
    const auto frames = static_cast<std::int32_t>(state.range(0));
    std::vector<float> left(frames), right(frames), outLeft(frames), outRight(frames);
    for (std::int32_t k = 0; k < frames; ++k) {
        left[k] = static_cast<float>(std::sin(0.01 * k));
        right[k] = static_cast<float>(std::cos(0.013 * k));
    }
    const float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    for (auto _ : state) {
        // As the effect's callback: the copy to the outputs, then the analysis.
        passThrough(inputs, outputs, frames);
        analyser.processBlock(inputs, frames);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * frames);
}
BENCHMARK(audioCallback)->Arg(512)->Arg(64)->Arg(1)->Unit(benchmark::kNanosecond)->Repetitions(5);

// Keeps the fastest repetition's time per iteration of each benchmark, in nanoseconds.
class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            // Processor time for the single-threaded figures, so that they and their ratios
            // do not depend on who else runs; wall time too for construction, which uses a
            // helper thread and which a user waits for.
            const double n = static_cast<double>(run.iterations);
            const std::string name = run.run_name.function_name +
                                     (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            keepFastest(nanoseconds, name, run.cpu_accumulated_time / n);
            keepFastest(wallNanoseconds, name, run.real_accumulated_time / n);
            if (auto scale = run.counters.find("scale"); scale != run.counters.end()) {
                floorScale = scale->second.value;
            }
            if (auto bytes = run.counters.find("bytes"); bytes != run.counters.end()) {
                floorBytes = bytes->second.value;
            }
            if (auto bytes = run.counters.find("kernelBytes"); bytes != run.counters.end()) {
                kernelBytes[name] = bytes->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The fastest repetition of each benchmark: the least disturbed by anything else.
    static void keepFastest(std::map<std::string, double>& times, const std::string& name,
                            double seconds) {
        auto [it, fresh] = times.emplace(name, seconds * 1e9);
        if (!fresh && seconds * 1e9 < it->second) it->second = seconds * 1e9;
    }
    std::map<std::string, double> nanoseconds;      // processor time per iteration
    std::map<std::string, double> wallNanoseconds;  // wall time per iteration
    double floorScale = 1.0;
    double floorBytes = 0.0;                    // bytes the memory-read floor streams
    std::map<std::string, double> kernelBytes;  // kernel storage per benchmark and rate
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& ns = reporter.nanoseconds;
    auto get = [&](const char* name) {
        const auto it = ns.find(name);
        return it == ns.end() ? std::nan("") : it->second;
    };
    const double reference = get("referenceTransform");
    const double production = get("productionTransform");
    const double cold = get("productionTransformCold");
    const double shown = get("shownTransform");
    const double floor = get("memoryReadFloor") * reporter.floorScale;
    const double firstCpu = get("firstConstruction");
    const double first = reporter.wallNanoseconds["firstConstruction"];
    const double second = reporter.wallNanoseconds["secondConstruction"];
    const double audio = get("audioCallback/512") / 512.0;
    std::printf("\nanalysis at 44.1 kHz (transform path: %s)\n",
                cqscope::detail::correlationPath());
    std::printf("| figure | measured | target |\n|---|---|---|\n");
    std::printf("| reference transform | %.2f ms | |\n", reference / 1e6);
    std::printf("| production transform | %.2f ms | |\n", production / 1e6);
    std::printf("| memory-read floor (kernel bytes once) | %.2f ms | |\n", floor / 1e6);
    std::printf("| production / reference | %.3f | <= 0.45 |\n", production / reference);
    std::printf("| production / memory-read floor | %.3f | <= 1.3 |\n", production / floor);
    std::printf("| production, caches flushed first | %.2f ms | |\n", cold / 1e6);
    std::printf("| display transform (float kernels) | %.2f ms | |\n", shown / 1e6);
    std::printf("| display transform / production | %.3f | |\n", shown / production);
    std::printf("| production (caches flushed) / memory-read floor | %.3f | |\n", cold / floor);
    std::printf("| first construction (wall) | %.1f ms | <= 150 ms |\n", first / 1e6);
    std::printf("| first construction (processor, both threads) | %.1f ms | |\n", firstCpu / 1e6);
    std::printf("| second effect, same rate | %.3f ms | <= 5 ms |\n", second / 1e6);
    std::printf("| second effect, resident memory | %.2f MiB | <= 2 MiB |\n",
                static_cast<double>(secondResidentBytes) / (1024.0 * 1024.0));
    std::printf("| audio callback (512-frame blocks) | %.3f ns/frame | <= 2 ns |\n", audio);
    std::printf("| audio callback, 64-frame blocks / 512-frame blocks | %.2f | |\n",
                get("audioCallback/64") / 64.0 / audio);
    std::printf("| audio callback, 1-frame block | %.0f ns | |\n", get("audioCallback/1"));

    // The floor at a rate: the floor's time per byte times that rate's kernel bytes.
    const double floorPerByte = get("memoryReadFloor") / reporter.floorBytes;
    std::printf("\nanalysis at higher rates\n");
    std::printf(
        "| rate | kernel memory | kernel build (wall) | transform, caches flushed | "
        "memory-read floor | transform / floor |\n|---|---|---|---|---|---|\n");
    for (double rate : kHigherRates) {
        const std::string arg = "/" + std::to_string(static_cast<long>(rate));
        const double bytes = reporter.kernelBytes["productionTransformColdAt" + arg];
        const double build = reporter.wallNanoseconds["kernelBuild" + arg];
        const double transform = get(("productionTransformColdAt" + arg).c_str());
        const double rateFloor = floorPerByte * bytes;
        std::printf("| %.0f kHz | %.1f MiB | %.1f ms | %.2f ms | %.2f ms | %.3f |\n", rate / 1000.0,
                    bytes / (1024.0 * 1024.0), build / 1e6, transform / 1e6, rateFloor / 1e6,
                    transform / rateFloor);
    }
    benchmark::Shutdown();
    return 0;
}
