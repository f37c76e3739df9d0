// Fuzzes the five number-to-text operations with arbitrary values and maximum lengths. The
// text buffer is exactly maxLen + 1 bytes on the heap (so an overrun is an address-sanitizer
// report) followed, in a second allocation, by nothing; and a copy in a guarded buffer checks
// that the terminator stands at maxLen and that no byte past it was written.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "frame/audioeffectx.h"
#include "fuzz_input.h"

namespace {

// The effect classes need a concrete audio callback; text is all this one is for.
class TextEffect : public AudioEffectX {
  public:
    TextEffect() : AudioEffectX(nullptr, 1, 0) {}
    void processReplacing(float**, float**, VstInt32) noexcept override {}
};

constexpr unsigned char kGuard = 0xA5;
constexpr int kGuardBytes = 32;

void call(TextEffect& effect, int which, std::uint32_t bits, char* text, VstInt32 maxLen) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    switch (which % 5) {
        case 0:
            effect.dB2string(value, text, maxLen);
            break;
        case 1:
            effect.Hz2string(value, text, maxLen);
            break;
        case 2:
            effect.ms2string(value, text, maxLen);
            break;
        case 3:
            effect.float2string(value, text, maxLen);
            break;
        default:
            effect.int2string(static_cast<VstInt32>(bits), text, maxLen);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TextEffect effect;
    FuzzInput input(data, size);
    const int which = input.take<std::uint8_t>();
    const std::uint32_t bits = input.take<std::uint32_t>();
    // Lengths from -4 to 251: negative ones must write nothing at all.
    const VstInt32 maxLen = static_cast<VstInt32>(input.take<std::uint8_t>()) - 4;
    const float rate = static_cast<float>(input.take<std::uint16_t>()) + 1.0f;
    effect.setSampleRate(rate);

    if (maxLen < 0) {
        unsigned char guard[kGuardBytes];
        std::memset(guard, kGuard, sizeof guard);
        call(effect, which, bits, reinterpret_cast<char*>(guard + kGuardBytes / 2), maxLen);
        for (unsigned char b : guard) {
            if (b != kGuard) std::abort();
        }
        return 0;
    }
    // Exact size: any write past maxLen is an overflow the address sanitizer reports.
    auto exact = std::make_unique<char[]>(static_cast<std::size_t>(maxLen) + 1);
    call(effect, which, bits, exact.get(), maxLen);
    if (exact[maxLen] != '\0') std::abort();

    // Guarded: the bytes after position maxLen stay as they were.
    auto guarded = std::make_unique<unsigned char[]>(maxLen + 1 + kGuardBytes);
    std::memset(guarded.get(), kGuard, maxLen + 1 + kGuardBytes);
    call(effect, which, bits, reinterpret_cast<char*>(guarded.get()), maxLen);
    const std::size_t length = std::strlen(reinterpret_cast<char*>(guarded.get()));
    if (length > static_cast<std::size_t>(maxLen)) std::abort();
    for (int k = maxLen + 1; k < maxLen + 1 + kGuardBytes; ++k) {
        if (guarded[k] != kGuard) std::abort();
    }
    // The same call gives the same text.
    if (std::strcmp(reinterpret_cast<char*>(guarded.get()), exact.get()) != 0) std::abort();
    return 0;
}
