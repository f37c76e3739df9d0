// Sample rates from 8 to 192 kHz with blocks of 0 to 65536 frames, switched off and on
// around each change.
#include <algorithm>

#include "formats/vst2/checks/audio_rig.h"

namespace cqhost::validation {
namespace {

std::vector<double> ratesFor(int strictness) {
    if (strictness <= 3) return {44100.0, 48000.0};
    if (strictness <= 6) return {8000.0, 44100.0, 96000.0, 192000.0};
    return {8000.0,  11025.0, 16000.0, 22050.0,  32000.0, 44100.0,
            48000.0, 88200.0, 96000.0, 176400.0, 192000.0};
}

std::string checkRatesAndBlocks(const Subject& subject) {
    requireAudio(subject);
    const std::vector<double> rates = ratesFor(subject.strictness);
    const int blocks[] = {0, 1, 7, 64, 4096, 65536};
    auto host = load(subject);
    AudioRig rig(*host, 65536);
    std::mt19937_64 random(subject.seed);
    for (double rate : rates) {
        for (int frames : blocks) {
            // Through the host's own start and stop, so that its answers to the effect's
            // sample-rate and block-size questions match what it was told.
            host->stop();
            host->start(rate, std::max(frames, 1));
            fillSignal(rig, Signal::Noise, frames, random);
            const std::string what = std::to_string(static_cast<int>(rate)) + " Hz, " +
                                     std::to_string(frames) + " frames";
            step(what);
            rig.run(frames);
            if (expectationsFor(subject).passThrough) rig.expectPassThrough(frames, what);
        }
    }
    host->stop();
    return std::to_string(rates.size()) + " rates from " + std::to_string(int(rates.front())) +
           " to " + std::to_string(int(rates.back())) +
           " Hz, blocks 0 to 65536, suspend and resume around each change";
}

}  // namespace

std::vector<Check> rateAndBlockChecks() {
    return {
        {"rates-and-blocks", checkRatesAndBlocks},
    };
}

}  // namespace cqhost::validation
