// Number-to-text: the texts byte for byte, the bound with its terminator, guard bytes after
// the bound, and the choices for values outside the eight-character field.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "probe_effect.h"

namespace {

constexpr int kGuard = 8;

// Runs `write` on a buffer of maxLen + 1 bytes surrounded by guard bytes; fails if a guard
// byte changes or the terminator at maxLen is missing. Answers the text.
template <typename Write>
std::string written(VstInt32 maxLen, Write write) {
    std::string buffer(static_cast<size_t>(maxLen) + 1 + 2 * kGuard, '#');
    char* text = buffer.data() + kGuard;
    write(text, maxLen);
    for (int i = 0; i < kGuard; ++i) {
        EXPECT_EQ(buffer[static_cast<size_t>(i)], '#') << "wrote before the buffer";
        EXPECT_EQ(buffer[buffer.size() - 1 - static_cast<size_t>(i)], '#')
            << "wrote past position " << maxLen;
    }
    EXPECT_EQ(text[maxLen], '\0') << "no terminator at the bound";
    return std::string(text);
}

std::string f2s(float v, VstInt32 maxLen = 16) {
    ProbeEffect e(nullptr);
    return written(maxLen, [&](char* t, VstInt32 l) { e.float2string(v, t, l); });
}
std::string i2s(VstInt32 v, VstInt32 maxLen = 16) {
    ProbeEffect e(nullptr);
    return written(maxLen, [&](char* t, VstInt32 l) { e.int2string(v, t, l); });
}

TEST(Float2String, FixedPointDigitsAreTruncatedToEightCharacters) {
    EXPECT_EQ(f2s(1.25f), "1.250000");
    EXPECT_EQ(f2s(0.0f), "0.000000");
    EXPECT_EQ(f2s(-0.0f), "0.000000");
    EXPECT_EQ(f2s(-3.5f), "-3.50000");
    EXPECT_EQ(f2s(1234567.0f), "1234567.");
    EXPECT_EQ(f2s(0.1f), "0.100000");
    EXPECT_EQ(f2s(-12.0f), "-12.0000");
    EXPECT_EQ(f2s(0.7f), "0.699999") << "0.7 in single precision lies below 0.7: truncated";
    EXPECT_EQ(f2s(-0.5f), "-0.50000");
    EXPECT_EQ(f2s(9999999.0f), "9999999.");
    EXPECT_EQ(f2s(-123456.0f), "-123456.");
    EXPECT_EQ(f2s(0.99999994f), "0.999999");
    EXPECT_EQ(f2s(1e-30f), "0.000000");
}

TEST(Float2String, ValuesBeyondTheFieldAreHugeOrShownWhole) {
    EXPECT_EQ(f2s(99999999.0f), "Huge!") << "99,999,999 is 100,000,000 in single precision";
    EXPECT_EQ(f2s(-10000000.0f), "Huge!");
    EXPECT_EQ(f2s(1e30f), "Huge!");
    EXPECT_EQ(f2s(INFINITY), "Huge!");
    EXPECT_EQ(f2s(-INFINITY), "Huge!");
    // Eight integer digits (seven with a minus sign) fill the field: all of them are shown
    // and the point is dropped, rather than losing the leading digit.
    EXPECT_EQ(f2s(12345678.0f), "12345678");
    EXPECT_EQ(f2s(99999992.0f), "99999992");
    EXPECT_EQ(f2s(10000000.0f), "10000000");
    EXPECT_EQ(f2s(-1234567.0f), "-1234567");
    EXPECT_EQ(f2s(-9999999.0f), "-9999999");
    EXPECT_EQ(f2s(-1000000.5f), "-1000000");
    EXPECT_EQ(f2s(NAN), "NaN");
}

TEST(Float2String, TheBoundCutsTheText) {
    EXPECT_EQ(f2s(1.25f, 3), "1.2");
    EXPECT_EQ(f2s(1.25f, 0), "");
    EXPECT_EQ(f2s(1.25f, 8), "1.250000");
    EXPECT_EQ(f2s(99999999.0f, 2), "Hu");
    // A negative bound or a null buffer writes nothing.
    ProbeEffect e(nullptr);
    char text[4] = "abc";
    e.float2string(1.0f, text, -1);
    EXPECT_STREQ(text, "abc");
    e.float2string(1.0f, nullptr, 8);
}

TEST(Int2String, DecimalWithoutLeadingZeros) {
    EXPECT_EQ(i2s(0), "0");
    EXPECT_EQ(i2s(7), "7");
    EXPECT_EQ(i2s(-42), "-42");
    EXPECT_EQ(i2s(1000), "1000");
    EXPECT_EQ(i2s(99999999), "99999999");
    EXPECT_EQ(i2s(100000000), "Huge!");
    EXPECT_EQ(i2s(INT32_MAX), "Huge!");
    EXPECT_EQ(i2s(-100000000), "-100000000");
    EXPECT_EQ(i2s(-999999999), "-999999999");
    // Below -999,999,999 a tenth digit would be needed: out of range, like the positive side.
    EXPECT_EQ(i2s(-1000000000), "Huge!");
    EXPECT_EQ(i2s(INT32_MIN), "Huge!");
    EXPECT_EQ(i2s(-42, 2), "-4");
    EXPECT_EQ(i2s(12345, 0), "");
}

TEST(UnitTexts, DecibelsHertzAndMilliseconds) {
    ProbeEffect e(nullptr);
    auto db = [&](float v) {
        return written(16, [&](char* t, VstInt32 l) { e.dB2string(v, t, l); });
    };
    auto hz = [&](float v) {
        return written(16, [&](char* t, VstInt32 l) { e.Hz2string(v, t, l); });
    };
    auto ms = [&](float v) {
        return written(16, [&](char* t, VstInt32 l) { e.ms2string(v, t, l); });
    };
    EXPECT_EQ(db(0.0f), "-oo");
    EXPECT_EQ(db(-1.0f), "-oo");
    EXPECT_EQ(db(1.0f), "0.000000");
    EXPECT_EQ(db(10.0f), "20.00000");
    EXPECT_EQ(db(0.5f), "-6.02060") << "20 x the single-precision -0.30103000 is -6.0206003";
    EXPECT_EQ(db(NAN), "NaN");
    EXPECT_EQ(written(2, [&](char* t, VstInt32 l) { e.dB2string(0.0f, t, l); }), "-o");

    EXPECT_EQ(hz(0.0f), "0.000000");
    EXPECT_EQ(hz(441.0f), "100.0000");
    EXPECT_EQ(ms(44100.0f), "1000.000");
    e.setSampleRate(48000.0f);
    EXPECT_EQ(hz(480.0f), "100.0000");
    EXPECT_EQ(ms(480.0f), "10.00000");
}

// The unit texts go through the effect's own float2string and getSampleRate.
class ReplacedConversions : public ProbeEffect {
  public:
    using ProbeEffect::ProbeEffect;
    void float2string(float value, char* text, VstInt32 maxLen) override {
        std::snprintf(text, static_cast<size_t>(maxLen) + 1, "v%d", static_cast<int>(value));
        text[maxLen] = '\0';
    }
    float getSampleRate() override { return 1000.0f; }
};

TEST(UnitTexts, UseTheReplacedOperations) {
    ReplacedConversions e(nullptr);
    EXPECT_EQ(written(8, [&](char* t, VstInt32 l) { e.Hz2string(10.0f, t, l); }), "v100");
    EXPECT_EQ(written(8, [&](char* t, VstInt32 l) { e.ms2string(10.0f, t, l); }), "v10");
    EXPECT_EQ(written(8, [&](char* t, VstInt32 l) { e.dB2string(100.0f, t, l); }), "v40");
}

}  // namespace
