// cqscope-process-bench: the audio callback's cost per frame of the two shipped modules, in one
// run: the VST 2 effect's processReplacing (cqscope.so) and the CLAP plug-in's process
// (cqscope.clap), both loaded through their entries, active at 48 kHz, fed the same tone in
// 512-frame blocks (the CLAP side with an empty event list and separate output buffers, as
// the VST 2 side). Rounds alternate between the two, so both see the same machine load;
// the figure is the ratio of the medians.
//
//   build/out/cqscope-process-bench [ROUNDS]   (default 21 rounds of 2000 blocks each)
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "clap/clap_interface.h"
#include "frame/host_interface.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRate = 48000;
constexpr std::uint32_t kBlock = 512;
constexpr int kBlocksPerRound = 2000;

VstIntPtr VSTCALLBACK vstHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

void* load(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        std::exit(1);
    }
    return handle;
}

const clap_host benchHost = {CLAP_VERSION,
                             nullptr,
                             "cqscope-process-bench",
                             "",
                             "",
                             "1",
                             [](const clap_host*, const char*) -> const void* { return nullptr; },
                             [](const clap_host*) {},
                             [](const clap_host*) {},
                             [](const clap_host*) {}};

std::uint32_t noEvents(const clap_input_events*) {
    return 0;
}
const clap_event_header* noEvent(const clap_input_events*, std::uint32_t) {
    return nullptr;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;

    // The VST 2 effect, switched on at 48 kHz.
    void* vstModule = load(CQSCOPE_MODULE_PATH);
    auto vstMain =
        reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(vstModule, "VSTPluginMain"));
    AEffect* effect = vstMain != nullptr ? vstMain(vstHost) : nullptr;
    if (effect == nullptr) return 1;
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    effect->dispatcher(effect, effSetBlockSize, 0, kBlock, nullptr, 0);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0);

    // The CLAP plug-in, active and processing at 48 kHz.
    void* clapModule = load(CQSCOPE_CLAP_PATH);
    const auto* entry = static_cast<const clap_plugin_entry*>(dlsym(clapModule, "clap_entry"));
    if (entry == nullptr || !entry->init(CQSCOPE_CLAP_PATH)) return 1;
    const auto* factory =
        static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin* plugin =
        factory->create_plugin(factory, &benchHost, factory->get_plugin_descriptor(factory, 0)->id);
    if (plugin == nullptr || !plugin->init(plugin) || !plugin->activate(plugin, kRate, 1, kBlock) ||
        !plugin->start_processing(plugin))
        return 1;

    std::vector<float> left(kBlock), right(kBlock), outLeft(kBlock), outRight(kBlock);
    for (std::uint32_t k = 0; k < kBlock; ++k) {
        left[k] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440.0 * k / kRate));
        right[k] = 0.8f * left[k];
    }
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};

    clap_input_events events{nullptr, noEvents, noEvent};
    clap_audio_buffer in{inputs, nullptr, 2, 0, 0};
    clap_audio_buffer out{outputs, nullptr, 2, 0, 0};
    clap_process process{};
    process.steady_time = 0;
    process.frames_count = kBlock;
    process.audio_inputs = &in;
    process.audio_outputs = &out;
    process.audio_inputs_count = 1;
    process.audio_outputs_count = 1;
    process.in_events = &events;

    const auto perFrame = [](auto once) {
        once();  // warm
        const auto start = Clock::now();
        for (int b = 0; b < kBlocksPerRound; ++b) once();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return seconds * 1e9 / (static_cast<double>(kBlocksPerRound) * kBlock);
    };
    std::vector<double> vst, clap;
    const auto vstRound = [&] {
        vst.push_back(perFrame([&] {
            effect->processReplacing(effect, inputs, outputs, static_cast<VstInt32>(kBlock));
        }));
    };
    const auto clapRound = [&] {
        clap.push_back(perFrame([&] {
            plugin->process(plugin, &process);
            process.steady_time += kBlock;
        }));
    };
    // Each goes first in every other round, so neither always finds the caches the other left.
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) {
            vstRound();
            clapRound();
        } else {
            clapRound();
            vstRound();
        }
    }
    const double vstMedian = median(vst), clapMedian = median(clap);
    std::printf("VST 2 processReplacing: %.2f ns/frame\n", vstMedian);
    std::printf("CLAP process:           %.2f ns/frame\n", clapMedian);
    std::printf("CLAP / VST 2:           %.3f (median of %d rounds of %d blocks of %u frames)\n",
                clapMedian / vstMedian, rounds, kBlocksPerRound, kBlock);

    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    plugin->destroy(plugin);
    entry->deinit();
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
    return 0;
}
