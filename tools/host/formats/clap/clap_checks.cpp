// The checks that apply to a CLAP plug-in: its life cycle at several rates, its audio at
// several rates and block sizes (bit for bit for the analyser, which passes its input on), and
// note and MIDI event lists. The VST 2.x checks (opcodes, records, editor) do not apply. Each
// loads the plug-in itself through cqscope-host's CLAP host, whose own rule checks (calls on
// the wrong thread or at the wrong time) make a check fail too.
#include "formats/clap/clap_checks.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/block_size.h"
#include "formats/clap/clap_host.h"

namespace cqhost::validation {
namespace {

constexpr double kRates[] = {44100.0, 48000.0, 96000.0};

// The first plug-in of the file: the one these checks exercise.
std::string firstPluginId(const ClapLibrary& library) {
    const auto descriptors = library.descriptors();
    if (descriptors.empty()) fail("the factory lists no plug-in");
    return descriptors.front().id;
}

void requireNoRuleBreaks(const ClapPlugin& plugin) {
    const auto breaks = plugin.ruleBreaks();
    if (!breaks.empty()) fail("broke a rule of the interface: " + breaks.front());
}

// Buffers of one block: the input signal, and the output (the same buffers when the plug-in
// pairs its main ports in place).
struct ClapBlock {
    ClapBlock(const ClapPlugin& plugin, std::uint32_t frames)
        : inPlace(plugin.mainPortsInPlace()),
          inputChannels(plugin.mainInputChannels()),
          outputChannels(plugin.mainOutputChannels()) {
        const std::uint32_t channels = std::max(inputChannels, outputChannels);
        input.assign(channels, std::vector<float>(frames));
        output.assign(channels, std::vector<float>(frames));
        for (std::uint32_t c = 0; c < channels; ++c) {
            in.push_back(input[c].data());
            out.push_back(inPlace ? input[c].data() : output[c].data());
        }
    }
    void fillNoise(std::mt19937_64& random, std::uint32_t frames) {
        std::uniform_real_distribution<float> level(-1.0f, 1.0f);
        for (auto& channel : input) {
            for (std::uint32_t k = 0; k < frames; ++k) channel[k] = level(random);
        }
        expected = input;
    }
    std::int32_t process(ClapPlugin& plugin, std::uint32_t frames, const ClapEventList& events) {
        return plugin.process(in.data(), inputChannels, out.data(), outputChannels, frames, events);
    }
    // Fails unless every output channel is bit for bit its input as it was before the block;
    // `where` says which block.
    void requirePassedOn(std::uint32_t frames, const std::string& where) const {
        for (std::uint32_t c = 0; c < outputChannels && c < inputChannels; ++c) {
            if (std::memcmp(out[c], expected[c].data(), frames * sizeof(float)) != 0)
                fail("output " + std::to_string(c) + " is not its input bit for bit (" + where +
                     ")");
        }
    }

    bool inPlace;
    std::uint32_t inputChannels, outputChannels;
    std::vector<std::vector<float>> input, output, expected;
    std::vector<float*> in, out;
};

std::string checkLifecycle(const Subject& subject) {
    ClapLibrary library(subject.path);
    const std::string id = firstPluginId(library);
    const int repeats = subject.strictness;
    int cycles = 0;
    for (int r = 0; r < repeats; ++r) {
        for (double rate : kRates) {
            step("create, activate at " + std::to_string(static_cast<int>(rate)) + " Hz");
            ClapPlugin plugin(library, id);
            // Twice on one instance: a host re-activates after a rate change.
            for (int again = 0; again < 2; ++again) {
                plugin.activate(rate, 1, kBlockSize);
                plugin.startProcessing();
                ClapBlock block(plugin, kBlockSize);
                const ClapEventList none;
                for (int b = 0; b < 4; ++b) {
                    if (block.process(plugin, kBlockSize, none) == CLAP_PROCESS_ERROR)
                        fail("process answered an error for silence");
                }
                plugin.stopProcessing();
                plugin.deactivate();
            }
            requireNoRuleBreaks(plugin);
            ++cycles;
        }
    }
    return std::to_string(cycles) + " instances created, activated twice and destroyed";
}

std::string checkAudio(const Subject& subject) {
    ClapLibrary library(subject.path);
    const std::string id = firstPluginId(library);
    const std::uint32_t blockSizes[] = {1, 7, 64, 511, 4096};
    std::mt19937_64 random(subject.seed);
    int blocks = 0;
    for (double rate : kRates) {
        ClapPlugin plugin(library, id);
        plugin.activate(rate, 1, 4096);
        plugin.startProcessing();
        if (plugin.mainInputChannels() == 0 || plugin.mainOutputChannels() == 0) {
            throw CheckSkipped{"no main audio input and output"};
        }
        const ClapEventList none;
        for (std::uint32_t frames : blockSizes) {
            step("noise in " + std::to_string(frames) + "-frame blocks at " +
                 std::to_string(static_cast<int>(rate)) + " Hz");
            ClapBlock block(plugin, frames);
            for (int b = 0; b < subject.strictness; ++b, ++blocks) {
                block.fillNoise(random, frames);
                if (block.process(plugin, frames, none) == CLAP_PROCESS_ERROR)
                    fail("process answered an error for " + std::to_string(frames) + " frames");
                if (subject.analyser) {
                    block.requirePassedOn(frames,
                                          std::to_string(frames) + " frames at " +
                                              std::to_string(static_cast<int>(rate)) + " Hz, " +
                                              (block.inPlace ? "in place" : "separate buffers"));
                }
            }
        }
        plugin.stopProcessing();
        plugin.deactivate();
        requireNoRuleBreaks(plugin);
    }
    std::ostringstream text;
    text << blocks << " blocks at " << std::size(kRates) << " rates"
         << (subject.analyser ? ", passed on bit for bit" : "");
    return text.str();
}

std::string checkEvents(const Subject& subject) {
    if (!subject.receivesMidi) throw CheckSkipped{"no note input"};
    ClapLibrary library(subject.path);
    ClapPlugin plugin(library, firstPluginId(library));
    constexpr std::uint32_t kFrames = 256;
    plugin.activate(48000.0, 1, kFrames);
    plugin.startProcessing();
    ClapBlock block(plugin, kFrames);
    std::mt19937_64 random(subject.seed);
    ClapEventList events;
    const int blocks = 50 * subject.strictness;
    std::size_t sent = 0;
    for (int b = 0; b < blocks; ++b) {
        step("event block " + std::to_string(b));
        events.clear();
        const int count = static_cast<int>(random() % 64);
        for (int e = 0; e < count; ++e) {
            const auto frame = static_cast<std::uint32_t>(random() % kFrames);
            // Keys and bytes beyond the valid ranges too, and the note-off wildcard key.
            const auto key = static_cast<std::int16_t>(static_cast<int>(random() % 131) - 1);
            switch (random() % 4) {
                case 0:
                    events.addNote(CLAP_EVENT_NOTE_ON, frame, key, 0,
                                   static_cast<double>(random() % 101) / 100.0);
                    break;
                case 1:
                    events.addNote(CLAP_EVENT_NOTE_OFF, frame, key, 0, 0.0);
                    break;
                case 2:
                    events.addNote(CLAP_EVENT_NOTE_CHOKE, frame, key, 0, 0.0);
                    break;
                default:
                    events.addMidi(frame, static_cast<std::uint8_t>(random()),
                                   static_cast<std::uint8_t>(random()),
                                   static_cast<std::uint8_t>(random()));
                    break;
            }
        }
        sent += events.size();
        block.fillNoise(random, kFrames);
        if (block.process(plugin, kFrames, events) == CLAP_PROCESS_ERROR)
            fail("process answered an error for a block with events");
        if (subject.analyser) block.requirePassedOn(kFrames, "a block with events");
    }
    plugin.stopProcessing();
    plugin.deactivate();
    requireNoRuleBreaks(plugin);
    return std::to_string(sent) + " note and MIDI events in " + std::to_string(blocks) + " blocks";
}

std::string describe(const Subject& subject, bool forceAnalyser) {
    ClapLibrary library(subject.path);
    const auto descriptors = library.descriptors();
    if (descriptors.empty()) fail("the factory lists no plug-in");
    ClapPlugin plugin(library, descriptors.front().id);
    const bool analyser = forceAnalyser || descriptors.front().id == "org.example.cqscope";
    bool notes = false;
    for (const auto& port : plugin.notePorts(true)) {
        notes = notes ||
                (port.supportedDialects & (CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI)) != 0;
    }
    plugin.activate(48000.0, 1, kBlockSize);  // the main ports' channels are read here
    std::ostringstream text;
    // The runner's description: analyser, processes, notes, no editor checks, no chunks, then
    // the main ports' channels and no parameters or programs.
    text << (analyser ? "A" : "-") << 'R' << (notes ? "M" : "-") << "-- "
         << plugin.mainInputChannels() << ' ' << plugin.mainOutputChannels() << " 0 0";
    return text.str();
}

std::vector<Check> clapChecks() {
    return {{"clap lifecycle", checkLifecycle},
            {"clap audio", checkAudio},
            {"clap events", checkEvents}};
}

}  // namespace

const CheckSuite& clapCheckSuite() {
    static const CheckSuite suite{describe, clapChecks};
    return suite;
}

}  // namespace cqhost::validation
