// Hostile samples: silence, full scale, noise, NaN, infinities, denormals, -0.0 and a mix,
// in place and in separate buffers.
#include <algorithm>

#include "core/default_rate.h"
#include "formats/vst2/checks/audio_rig.h"

namespace cqhost::validation {
namespace {

std::string checkSignals(const Subject& subject) {
    requireAudio(subject);
    auto host = load(subject);
    host->start(cqscope::kDefaultSampleRate, 1024);
    AudioRig rig(*host, 1024);
    std::mt19937_64 random(subject.seed);
    // Silence first: any effect must answer silence with finite samples.
    fillSignal(rig, Signal::Silence, 1024, random);
    rig.run(1024);
    rig.expectFinite(1024, "silence");
    const Signal kinds[] = {Signal::Silence,  Signal::FullScale, Signal::Noise,
                            Signal::NaN,      Signal::PosInf,    Signal::NegInf,
                            Signal::Denormal, Signal::NegZero,   Signal::Mixed};
    const int rounds = std::max(1, subject.strictness / 3);
    for (int round = 0; round < rounds; ++round) {
        for (Signal kind : kinds) {
            for (bool inPlace : {false, true}) {
                fillSignal(rig, kind, 1024, random);
                rig.run(1024, inPlace);
                if (expectationsFor(subject).passThrough) {
                    rig.expectPassThrough(1024, std::string(signalName(kind)) +
                                                    (inPlace ? ", in place" : ", separate"));
                }
            }
        }
    }
    return std::string("silence, full scale, noise, NaN, infinities, denormals, -0.0, mixed; ") +
           "in place and separate" +
           (expectationsFor(subject).passThrough ? "; bit-exact pass-through" : "");
}

}  // namespace

std::vector<Check> sampleChecks() {
    return {
        {"hostile-samples", checkSignals},
    };
}

}  // namespace cqhost::validation
