// Writes the WAV file that both hosts play in the audio-file comparison: 16-bit stereo PCM,
// 1.5 s at the given rate, a 440 Hz tone on the left and a 1000 Hz tone on the right (each
// at half scale), so that a file's own rate, its channel mix and its sample decoding all
// show in the picture.
//
//   cqscope-test-signal OUT.wav RATE
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

namespace {

void put16(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void put32(std::vector<unsigned char>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    const long rate = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
    if (rate < 8000 || rate > 192000) {
        std::fprintf(stderr, "usage: cqscope-test-signal OUT.wav RATE (8000 to 192000)\n");
        return 2;
    }
    const long frames = rate * 3 / 2;
    std::vector<unsigned char> wav;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames * 4);
    for (char c : {'R', 'I', 'F', 'F'}) wav.push_back(static_cast<unsigned char>(c));
    put32(wav, 36 + dataBytes);
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) {
        wav.push_back(static_cast<unsigned char>(c));
    }
    put32(wav, 16);
    put16(wav, 1);  // PCM
    put16(wav, 2);  // stereo
    put32(wav, static_cast<std::uint32_t>(rate));
    put32(wav, static_cast<std::uint32_t>(rate * 4));
    put16(wav, 4);   // bytes per frame
    put16(wav, 16);  // bits per sample
    for (char c : {'d', 'a', 't', 'a'}) wav.push_back(static_cast<unsigned char>(c));
    put32(wav, dataBytes);
    for (long i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const auto sample = [t](double frequency) {
            const long value =
                std::lround(16384.0 * std::sin(2.0 * std::numbers::pi * frequency * t));
            return static_cast<unsigned>(value) & 0xFFFF;
        };
        put16(wav, sample(440.0));
        put16(wav, sample(1000.0));
    }
    FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(wav.data(), 1, wav.size(), file) != wav.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
