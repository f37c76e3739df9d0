// cqscope-shell-bench: what each plug-in interface costs per frame on the host's audio thread,
// through the built modules' own entries, in one run: the VST 2 effect's replacing process
// (the copy and the analysis) against the LV2 plug-in's run (the copy, and with a UI listening
// the block's samples written to the notify port for the UI, which analyses them on its own
// thread). 512-frame stereo blocks at 48 kHz, separate buffers.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "frame/host_interface.h"
#include "lv2/lv2_uris.h"

namespace {

constexpr std::int32_t kFrames = 512;
constexpr double kRate = 48000;

struct Block {
    Block() : left(kFrames), right(kFrames), outLeft(kFrames), outRight(kFrames) {
        for (std::int32_t k = 0; k < kFrames; ++k) {
            left[k] = static_cast<float>(0.5 * std::sin(0.0576 * k));
            right[k] = static_cast<float>(0.4 * std::cos(0.0313 * k));
        }
    }
    std::vector<float> left, right, outLeft, outRight;
};

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

void vst2ProcessReplacing(benchmark::State& state) {
    void* module = dlopen(CQSCOPE_VST_PATH, RTLD_NOW | RTLD_LOCAL);
    const auto entry =
        module != nullptr
            ? reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(module, "VSTPluginMain"))
            : nullptr;
    AEffect* effect = entry != nullptr ? entry(host) : nullptr;
    if (effect == nullptr) {
        state.SkipWithError("cannot load the VST 2 module");
        return;
    }
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0);
    Block block;
    float* inputs[] = {block.left.data(), block.right.data()};
    float* outputs[] = {block.outLeft.data(), block.outRight.data()};
    for (auto _ : state) {
        effect->processReplacing(effect, inputs, outputs, kFrames);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
    dlclose(module);
}
BENCHMARK(vst2ProcessReplacing)->Unit(benchmark::kNanosecond)->Repetitions(5);

// A host's URID map: URIs numbered from 1 in the order asked.
LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    auto& ids = *static_cast<std::map<std::string, LV2_URID>*>(handle);
    return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
}

void lv2Run(benchmark::State& state) {
    const bool uiListening = state.range(0) != 0;
    void* module = dlopen(CQSCOPE_LV2_DSP_PATH, RTLD_NOW | RTLD_LOCAL);
    const auto entry =
        module != nullptr
            ? reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2_descriptor"))
            : nullptr;
    const LV2_Descriptor* descriptor = entry != nullptr ? entry(0) : nullptr;
    if (descriptor == nullptr) {
        state.SkipWithError("cannot load the LV2 DSP module");
        return;
    }
    std::map<std::string, LV2_URID> ids;
    LV2_URID_Map map{&ids, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LV2_Handle instance = descriptor->instantiate(descriptor, kRate, "", features);
    Block block;
    std::vector<std::uint64_t> notify(cqscope::lv2::kNotifyBufferBytes / 8 + 1);
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(notify.data());
    descriptor->connect_port(instance, cqscope::lv2::kInputLeft, block.left.data());
    descriptor->connect_port(instance, cqscope::lv2::kInputRight, block.right.data());
    descriptor->connect_port(instance, cqscope::lv2::kOutputLeft, block.outLeft.data());
    descriptor->connect_port(instance, cqscope::lv2::kOutputRight, block.outRight.data());
    descriptor->connect_port(instance, cqscope::lv2::kNotify, uiListening ? sequence : nullptr);
    for (auto _ : state) {
        // As a host does before each run: the notify buffer's capacity in its atom header.
        sequence->atom.size = cqscope::lv2::kNotifyBufferBytes - sizeof(LV2_Atom);
        descriptor->run(instance, kFrames);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    descriptor->cleanup(instance);
    dlclose(module);
}
BENCHMARK(lv2Run)->Arg(0)->Arg(1)->Unit(benchmark::kNanosecond)->Repetitions(5);

// Keeps the fastest repetition's processor time per iteration of each benchmark.
class FastestReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            const std::string name = run.run_name.function_name +
                                     (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            const double ns = run.cpu_accumulated_time / static_cast<double>(run.iterations) * 1e9;
            auto [it, fresh] = fastest.emplace(name, ns);
            if (!fresh && ns < it->second) it->second = ns;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> fastest;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FastestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto perFrame = [&](const char* name) {
        const auto it = reporter.fastest.find(name);
        return it == reporter.fastest.end() ? std::nan("") : it->second / kFrames;
    };
    const double vst = perFrame("vst2ProcessReplacing");
    const double lv2 = perFrame("lv2Run/0");
    const double lv2Ui = perFrame("lv2Run/1");
    std::printf("\naudio thread, per frame (512-frame blocks, 48 kHz)\n");
    std::printf("| shell | ns per frame | / VST 2 callback | target |\n|---|---|---|---|\n");
    std::printf("| VST 2 processReplacing (copy + analysis) | %.3f | 1 | |\n", vst);
    std::printf("| LV2 run, no UI listening (copy) | %.3f | %.3f | <= 1 |\n", lv2, lv2 / vst);
    std::printf("| LV2 run, UI listening (copy + notify) | %.3f | %.3f | <= 1 |\n", lv2Ui,
                lv2Ui / vst);
    return 0;
}
