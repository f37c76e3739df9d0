// The checks that apply to a VST 3 plug-in: its life cycle at several rates, its audio at
// several rates and block sizes (bit for bit for the analyser, which passes its input on), and
// blocks of note events. The VST 2.x checks (opcodes, records, editor) do not apply. Each loads
// the module itself through cqscope-host's VST 3 host.
#include "formats/vst3/vst3_checks.h"

#include <cstring>
#include <random>
#include <sstream>

#include "common/block_size.h"
#include "formats/vst3/vst3_plugin.h"

namespace cqhost::validation {
namespace {

using namespace vst3;

constexpr double kRates[] = {44100.0, 48000.0, 96000.0};

// The module's first processor class, the one these checks exercise.
Vst3ClassInfo firstProcessor(Vst3Module& module) {
    for (const Vst3ClassInfo& c : module.classes()) {
        if (c.category == kVstAudioEffectClass) return c;
    }
    fail("the factory lists no audio processor class");
}

// One plug-in of the module under test, its host's objects outliving the module.
struct Rig {
    explicit Rig(const Subject& subject) : module(subject.path) {}
    Vst3HostObjects host;
    Vst3Module module;
};

// Buffers of one block: the input signal and separate outputs.
struct Vst3Block {
    Vst3Block(const Vst3Plugin& plugin, int frames)
        : inputs(static_cast<std::size_t>(plugin.mainChannels(kInput)),
                 std::vector<float>(static_cast<std::size_t>(frames))),
          outputs(static_cast<std::size_t>(plugin.mainChannels(kOutput)),
                  std::vector<float>(static_cast<std::size_t>(frames))) {
        for (auto& channel : inputs) in.push_back(channel.data());
        for (auto& channel : outputs) out.push_back(channel.data());
    }
    void fillNoise(std::mt19937_64& random) {
        std::uniform_real_distribution<float> level(-1.0f, 1.0f);
        for (auto& channel : inputs) {
            for (float& sample : channel) sample = level(random);
        }
    }
    void process(Vst3Plugin& plugin, int frames, Vst3EventList& events) {
        plugin.process(in.data(), out.data(), frames, events);
    }
    // Fails unless every output channel is bit for bit its input; `where` says which block.
    void requirePassedOn(int frames, const std::string& where) const {
        for (std::size_t c = 0; c < outputs.size() && c < inputs.size(); ++c) {
            if (std::memcmp(out[c], in[c], static_cast<std::size_t>(frames) * sizeof(float)) != 0)
                fail("output " + std::to_string(c) + " is not its input bit for bit (" + where +
                     ")");
        }
    }
    std::vector<std::vector<float>> inputs, outputs;
    std::vector<float*> in, out;
};

std::string checkLifecycle(const Subject& subject) {
    Rig rig(subject);
    const Vst3ClassInfo processor = firstProcessor(rig.module);
    int cycles = 0;
    for (int r = 0; r < subject.strictness; ++r) {
        for (double rate : kRates) {
            step("create, activate at " + std::to_string(static_cast<int>(rate)) + " Hz");
            Vst3Plugin plugin(rig.module, processor, rig.host);
            // Twice on one instance: a host switches off and on again to change the rate.
            for (int again = 0; again < 2; ++again) {
                plugin.activate(rate, kBlockSize);
                plugin.startProcessing();
                Vst3Block block(plugin, kBlockSize);
                Vst3EventList none;
                for (int b = 0; b < 4; ++b) block.process(plugin, kBlockSize, none);
                plugin.deactivate();
            }
            ++cycles;
        }
    }
    return std::to_string(cycles) + " instances created, activated twice and released";
}

std::string checkAudio(const Subject& subject) {
    Rig rig(subject);
    const Vst3ClassInfo processor = firstProcessor(rig.module);
    const int blockSizes[] = {1, 7, 64, 511, 4096};
    std::mt19937_64 random(subject.seed);
    int blocks = 0;
    for (double rate : kRates) {
        Vst3Plugin plugin(rig.module, processor, rig.host);
        if (plugin.mainChannels(kInput) == 0 || plugin.mainChannels(kOutput) == 0) {
            throw CheckSkipped{"no main audio input and output"};
        }
        plugin.activate(rate, 4096);
        plugin.startProcessing();
        Vst3EventList none;
        for (int frames : blockSizes) {
            step("noise in " + std::to_string(frames) + "-frame blocks at " +
                 std::to_string(static_cast<int>(rate)) + " Hz");
            Vst3Block block(plugin, frames);
            for (int b = 0; b < subject.strictness; ++b, ++blocks) {
                block.fillNoise(random);
                block.process(plugin, frames, none);
                if (subject.analyser) {
                    block.requirePassedOn(frames, std::to_string(frames) + " frames at " +
                                                      std::to_string(static_cast<int>(rate)) +
                                                      " Hz");
                }
            }
        }
        plugin.deactivate();
    }
    std::ostringstream text;
    text << blocks << " blocks at " << std::size(kRates) << " rates"
         << (subject.analyser ? ", passed on bit for bit" : "");
    return text.str();
}

std::string checkEvents(const Subject& subject) {
    if (!subject.receivesMidi) throw CheckSkipped{"no event input"};
    Rig rig(subject);
    Vst3Plugin plugin(rig.module, firstProcessor(rig.module), rig.host);
    constexpr int kFrames = 256;
    plugin.activate(48000.0, kFrames);
    plugin.startProcessing();
    Vst3Block block(plugin, kFrames);
    std::mt19937_64 random(subject.seed);
    Vst3EventList events;
    const int blocks = 50 * subject.strictness;
    long long sent = 0;
    for (int b = 0; b < blocks; ++b) {
        step("event block " + std::to_string(b));
        events.clear();
        // Note-ons and note-offs, keys and velocities beyond MIDI's ranges masked as a
        // host's would be, in time order.
        const int count = static_cast<int>(random() % 64);
        int frame = 0;
        for (int e = 0; e < count && frame < kFrames; ++e) {
            const unsigned char message[3] = {static_cast<unsigned char>(0x80 | (random() & 0x1F)),
                                              static_cast<unsigned char>(random()),
                                              static_cast<unsigned char>(random())};
            events.addMidi(message, frame);
            frame += static_cast<int>(random() % 8);
        }
        sent += events.getEventCount();
        block.fillNoise(random);
        block.process(plugin, kFrames, events);
        if (subject.analyser) block.requirePassedOn(kFrames, "a block with events");
    }
    plugin.deactivate();
    return std::to_string(sent) + " note events in " + std::to_string(blocks) + " blocks";
}

std::string describe(const Subject& subject, bool forceAnalyser) {
    Rig rig(subject);
    const Vst3ClassInfo processor = firstProcessor(rig.module);
    Vst3Plugin plugin(rig.module, processor, rig.host);
    const bool analyser = forceAnalyser || processor.name == "cqscope";
    const bool notes = !plugin.buses(kEvent, kInput).empty();
    std::ostringstream text;
    // The runner's description: analyser, processes, notes, no editor checks, no chunks, then
    // the main buses' channels and no parameters or programs.
    text << (analyser ? "A" : "-") << 'R' << (notes ? "M" : "-") << "-- "
         << plugin.mainChannels(kInput) << ' ' << plugin.mainChannels(kOutput) << " 0 0";
    return text.str();
}

std::vector<Check> vst3Checks() {
    return {{"vst3 lifecycle", checkLifecycle},
            {"vst3 audio", checkAudio},
            {"vst3 events", checkEvents}};
}

}  // namespace

const CheckSuite& vst3CheckSuite() {
    static const CheckSuite suite{describe, vst3Checks};
    return suite;
}

}  // namespace cqhost::validation
