// Lifecycle: the record as loaded, many instantiate/close cycles, open/switch/close orders,
// several instances at once.
#include <sstream>
#include <utility>

#include "core/default_rate.h"
#include "formats/vst2/checks/audio_rig.h"

namespace cqhost::validation {
namespace {

std::string checkLoad(const Subject& subject) {
    auto host = load(subject);
    AEffect& effect = host->effect();
    if (effect.numInputs < 0 || effect.numInputs > 256 || effect.numOutputs < 0 ||
        effect.numOutputs > 256) {
        fail("channel counts " + std::to_string(effect.numInputs) + " in, " +
             std::to_string(effect.numOutputs) + " out are not plausible");
    }
    if ((effect.flags & effFlagsCanReplacing) && effect.processReplacing == nullptr) {
        fail("the record claims replacing processing but its entry is null");
    }
    if (effect.numParams < 0 || effect.numPrograms < 0) fail("negative parameter or program count");
    if (const auto checkRecord = expectationsFor(subject).checkRecord) checkRecord(*host);
    std::ostringstream detail;
    detail << "entry " << host->entryName() << ", id '" << fourChars(effect.uniqueID) << "', "
           << effect.numInputs << " in, " << effect.numOutputs << " out, flags "
           << hex(effect.flags) << ", " << effect.numParams << " parameters";
    return detail.str();
}

std::string checkCycles(const Subject& subject) {
    const int cycles = 20 * subject.strictness;
    std::mt19937_64 random(subject.seed);
    for (int i = 0; i < cycles; ++i) {
        auto host = load(subject);
        if (i % 2 == 1) {
            host->start(cqscope::kDefaultSampleRate, 256);
            exercise(*host, subject, random, "cycle " + std::to_string(i));
        }
    }
    return std::to_string(cycles) + " instantiations and closes, every other one processing";
}

std::string checkOrders(const Subject& subject) {
    std::mt19937_64 random(subject.seed);
    struct Variant {
        const char* name;
        std::function<void(PluginHost&)> steps;
    };
    const std::vector<Variant> variants = {
        {"close at once", [](PluginHost&) {}},
        {"open, close", [](PluginHost& h) { h.dispatch(effOpen); }},
        {"open twice", [](PluginHost& h) { h.dispatch(effOpen), h.dispatch(effOpen); }},
        {"switched on without open",
         [&](PluginHost& h) {
             h.dispatch(effMainsChanged, 0, 1);
             exercise(h, subject, random, "switched on without open");
             h.dispatch(effMainsChanged, 0, 0);
         }},
        {"closed while switched on",
         [&](PluginHost& h) {
             h.dispatch(effOpen);
             h.dispatch(effMainsChanged, 0, 1);
             exercise(h, subject, random, "closed while switched on");
         }},
        {"suspend and resume twice each",
         [&](PluginHost& h) {
             h.dispatch(effOpen);
             h.dispatch(effMainsChanged, 0, 0);
             h.dispatch(effMainsChanged, 0, 0);
             h.dispatch(effMainsChanged, 0, 1);
             h.dispatch(effMainsChanged, 0, 1);
             exercise(h, subject, random, "resumed twice");
         }},
        {"rate and block size while switched on",
         [&](PluginHost& h) {
             h.start(cqscope::kDefaultSampleRate, 256);
             h.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
             h.dispatch(effSetBlockSize, 0, kBlockSize);
             exercise(h, subject, random, "rate changed while on");
         }},
        {"start and stop process without switching on",
         [](PluginHost& h) {
             h.dispatch(effStartProcess);
             h.dispatch(effStopProcess);
         }},
    };
    for (const auto& variant : variants) {
        try {
            auto host = load(subject);
            variant.steps(*host);
        } catch (const CheckFailure& failure) {
            fail(std::string(variant.name) + ": " + failure.reason);
        }
    }
    return std::to_string(variants.size()) + " open, switch and close orders";
}

std::string checkInstances(const Subject& subject) {
    requireAudio(subject);
    const int count = subject.strictness >= 5 ? 4 : 2;
    std::vector<std::unique_ptr<PluginHost>> hosts;
    std::vector<std::unique_ptr<AudioRig>> rigs;
    std::mt19937_64 random(subject.seed);
    for (int i = 0; i < count; ++i) {
        hosts.push_back(load(subject));
        hosts.back()->start(cqscope::kDefaultSampleRate, kBlockSize);
        rigs.push_back(std::make_unique<AudioRig>(*hosts.back(), kBlockSize));
    }
    // Interleaved blocks of different signals; each output must follow its own input.
    for (int block = 0; block < 8; ++block) {
        for (int i = 0; i < count; ++i) {
            fillSignal(*rigs[i], i % 2 == 0 ? Signal::Noise : Signal::FullScale, kBlockSize,
                       random);
            rigs[i]->run(kBlockSize);
            if (expectationsFor(subject).passThrough) {
                rigs[i]->expectPassThrough(kBlockSize, "instance " + std::to_string(i));
            }
        }
    }
    // Closed in another order than they were made.
    rigs.clear();
    std::swap(hosts.front(), hosts.back());
    hosts.clear();
    return std::to_string(count) +
           " instances at once, processing interleaved, closed out of order";
}

}  // namespace

std::vector<Check> lifecycleChecks() {
    return {
        {"load", checkLoad},
        {"instantiate-cycles", checkCycles},
        {"lifecycle-orders", checkOrders},
        {"instances-at-once", checkInstances},
    };
}

}  // namespace cqhost::validation
