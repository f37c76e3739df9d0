// The number-to-text operations of AudioEffect: short texts for a host's parameter display.
// float2string gives an eight-character fixed-point field whose digits are truncated, never
// rounded; values that do not fit give "Huge!".
#include <cmath>
#include <cstdint>

#include "frame/audioeffect.h"
#include "frame/bounded_text.h"

namespace {

constexpr int kFieldWidth = 8;  // characters of a float2string text, sign and point included
constexpr std::string_view kHuge = "Huge!";

// Appends the decimal digits of `n` with at least `minDigits` digits (leading zeros).
// Answers the number of digits written.
int appendDigits(char* out, std::uint64_t n, int minDigits) {
    char reversed[24];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (count < minDigits) reversed[count++] = '0';
    for (int i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    return count;
}

}  // namespace

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
    double v = value;
    if (std::isnan(v)) {
        writeBoundedText(text, maxLen, "NaN");
        return;
    }
    const bool negative = v < 0.0;
    if (negative) v = -v;
    // Infinities fall in here too.
    if ((negative && v > 9999999.0) || (!negative && v > 99999999.0)) {
        writeBoundedText(text, maxLen, kHuge);
        return;
    }

    char field[32];
    int used = 0;
    if (negative) field[used++] = '-';
    const double integerPart = std::floor(v);
    used += appendDigits(field + used, static_cast<std::uint64_t>(integerPart), 1);
    // An integer part that fills the whole field (eight digits, or a minus sign and seven)
    // is shown without a point rather than losing its leading digit.
    if (used < kFieldWidth) {
        field[used++] = '.';
        if (used < kFieldWidth) {
            const int fractionDigits = kFieldWidth - used;
            double scaled = std::fmod(v, 1.0) * std::pow(10.0, fractionDigits);
            const double limit = std::pow(10.0, fractionDigits) - 1.0;
            if (scaled > limit) scaled = limit;
            used += appendDigits(field + used, static_cast<std::uint64_t>(std::floor(scaled)),
                                 fractionDigits);
        }
    }
    writeBoundedText(text, maxLen, std::string_view(field, static_cast<std::size_t>(used)));
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
    // Symmetric limits: nine digits at most on either side. Below -999,999,999 the text would
    // need a tenth digit (and -2^31 cannot be negated), so those values are "Huge!" as well.
    if (value >= 100000000 || value < -999999999) {
        writeBoundedText(text, maxLen, kHuge);
        return;
    }
    char field[16];
    int used = 0;
    std::int64_t magnitude = value;
    if (magnitude < 0) {
        field[used++] = '-';
        magnitude = -magnitude;
    }
    used += appendDigits(field + used, static_cast<std::uint64_t>(magnitude), 1);
    writeBoundedText(text, maxLen, std::string_view(field, static_cast<std::size_t>(used)));
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
    if (std::isnan(value)) {
        float2string(value, text, maxLen);
    } else if (value > 0.0f) {
        const float decades = static_cast<float>(std::log10(static_cast<double>(value)));
        float2string(20.0f * decades, text, maxLen);
    } else {
        writeBoundedText(text, maxLen, "-oo");
    }
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
    const float rate = getSampleRate();
    if (samples == 0.0f) {
        float2string(0.0f, text, maxLen);
    } else {
        float2string(rate / samples, text, maxLen);
    }
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
    const float rate = getSampleRate();
    const double milliseconds = static_cast<double>(samples) * 1000.0 / static_cast<double>(rate);
    float2string(static_cast<float>(milliseconds), text, maxLen);
}
