// Fuzzes cqscope-host's Standard MIDI File reader with arbitrary files (the seeds in
// seeds/midi_file are valid songs to start from). Each file is read or refused with a
// HostError; anything else (a crash, a sanitizer report, another exception) is a finding.
// What is read must be channel messages in time order.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/host_error.h"
#include "files/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const auto messages = cqhost::parseMidiFile(std::span(data, size), "fuzz.mid", 44100.0);
        long long lastFrame = 0;
        for (const auto& message : messages) {
            const auto& bytes = message.bytes;
            if (message.frame < lastFrame) std::abort();
            if (bytes[0] < 0x80 || bytes[0] >= 0xF0 || bytes[1] >= 0x80 || bytes[2] >= 0x80) {
                std::abort();
            }
            lastFrame = message.frame;
        }
    } catch (const cqhost::HostError&) {
    }
    return 0;
}
