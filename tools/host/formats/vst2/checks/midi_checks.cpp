// MIDI floods: 10,000 events in one block with system-exclusive ones between, every status
// byte with every note byte, and the lists a known effect accepts beyond what hosts promise.
#include <algorithm>

#include "core/default_rate.h"
#include "formats/vst2/checks/audio_rig.h"
#include "formats/vst2/event_list.h"

namespace cqhost::validation {
namespace {

std::string checkMidi(const Subject& subject) {
    requireAudio(subject);
    if (!subject.receivesMidi) throw CheckSkipped{"the effect does not receive MIDI"};
    auto host = load(subject);
    host->start(cqscope::kDefaultSampleRate, kBlockSize);
    AudioRig rig(*host, kBlockSize);
    std::mt19937_64 random(subject.seed);
    EventList events;
    auto deliver = [&](const std::string& what) {
        host->dispatch(effProcessEvents, 0, 0, events.build());
        fillSignal(rig, Signal::Noise, kBlockSize, random);
        rig.run(kBlockSize);
        if (expectationsFor(subject).passThrough) rig.expectPassThrough(kBlockSize, what);
        events.clear();
    };
    // Floods of 10,000 events in one block, note-ons and offs with system-exclusive events
    // in between.
    const int floods = std::max(1, subject.strictness / 2);
    for (int f = 0; f < floods; ++f) {
        for (int e = 0; e < 10000; ++e) {
            if (e % 97 == 0) {
                events.addOther(kVstSysExType, static_cast<int>(random() % 512));
            } else {
                events.addMidi(static_cast<unsigned char>(random() % 2 ? 0x90 : 0x80) |
                                   static_cast<unsigned char>(random() % 16),
                               static_cast<unsigned char>(random() % 128),
                               static_cast<unsigned char>(random() % 128),
                               static_cast<int>(random() % 512));
            }
        }
        deliver("flood " + std::to_string(f));
    }
    // Every status byte with every note byte: 65,536 events, 4,096 to a block.
    for (int status = 0; status < 256; ++status) {
        for (int note = 0; note < 256; ++note) {
            events.addMidi(static_cast<unsigned char>(status), static_cast<unsigned char>(note),
                           static_cast<unsigned char>(random() % 256), note % kBlockSize);
        }
        if (status % 16 == 15) deliver("status bytes up to " + hex(status));
    }
    // Every note off again, so the effect ends clean.
    for (int note = 0; note < 128; ++note) events.addMidi(0x80, note, 0, 0);
    deliver("all notes off");
    // Lists a known effect accepts beyond what hosts promise.
    std::string oddLists;
    if (const auto sendOddLists = expectationsFor(subject).sendOddEventLists) {
        oddLists = sendOddLists(*host);
        deliver("after " + oddLists);
        oddLists = ", " + oddLists;
    }
    return "floods: " + std::to_string(floods) + " of 10,000 events with system-exclusive ones, " +
           "every status and note byte" + oddLists;
}

}  // namespace

std::vector<Check> midiChecks() {
    return {
        {"midi-floods", checkMidi},
    };
}

}  // namespace cqhost::validation
