// Speaker-arrangement helpers: block sizes, zero fill, release rules, name cutting, copying.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "probe_effect.h"

namespace {

VstSpeakerProperties* speaker(VstSpeakerArrangement* a, int i) {
    return reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<unsigned char*>(a) + 8 +
                                                   112 * i);
}

bool allZero(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

TEST(SpeakerArrangement, AllocateMakesAZeroedBlockSizedToTheChannels) {
    ProbeEffect effect(nullptr);
    VstSpeakerArrangement* a = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&a, 0));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->numChannels, 0);
    EXPECT_EQ(a->type, 0);

    // A second allocation replaces the first (the sanitizer build would report a leak
    // otherwise), and the whole 8 + 112 x 2 bytes are zero apart from the channel count.
    ASSERT_TRUE(effect.allocateArrangement(&a, 2));
    EXPECT_EQ(a->numChannels, 2);
    EXPECT_TRUE(allZero(speaker(a, 0), 2 * 112));
    EXPECT_EQ(a->type, 0);

    // More than the record's declared room for eight speakers.
    ASSERT_TRUE(effect.allocateArrangement(&a, 24));
    EXPECT_EQ(a->numChannels, 24);
    EXPECT_TRUE(allZero(speaker(a, 0), 24 * 112));

    EXPECT_TRUE(effect.deallocateArrangement(&a));
    EXPECT_EQ(a, nullptr);
    EXPECT_TRUE(effect.deallocateArrangement(&a)) << "a null pointer is fine";
    EXPECT_TRUE(effect.deallocateArrangement(nullptr));
}

TEST(SpeakerArrangement, RefusedCountsReleaseTheFormerBlock) {
    ProbeEffect effect(nullptr);
    for (VstInt32 count : {-1, INT32_MIN, 19173962 /* 8 + 112 x count > 2^31 - 1 */, INT32_MAX}) {
        VstSpeakerArrangement* a = nullptr;
        ASSERT_TRUE(effect.allocateArrangement(&a, 1));
        EXPECT_FALSE(effect.allocateArrangement(&a, count)) << count;
        EXPECT_EQ(a, nullptr) << count;
    }
    EXPECT_FALSE(effect.allocateArrangement(nullptr, 2));
}

TEST(SpeakerArrangement, CopySpeakerCutsTheNameAndCopiesEverythingElse) {
    ProbeEffect effect(nullptr);
    VstSpeakerProperties from;
    std::memset(&from, 0, sizeof(from));
    from.azimuth = 1.5f;
    from.elevation = -0.5f;
    from.radius = 2.0f;
    from.reserved = 3.0f;
    from.type = 7;
    for (size_t i = 0; i < sizeof(from.future); ++i) from.future[i] = static_cast<char>(i + 1);

    VstSpeakerProperties to;
    std::memset(&to, 'x', sizeof(to));
    std::memset(from.name, 'a', sizeof(from.name));  // 64 characters, no terminator at all
    ASSERT_TRUE(effect.copySpeaker(&to, &from));
    EXPECT_EQ(std::string(to.name), std::string(63, 'a'));
    EXPECT_EQ(to.name[63], '\0');
    EXPECT_EQ(to.azimuth, 1.5f);
    EXPECT_EQ(to.elevation, -0.5f);
    EXPECT_EQ(to.radius, 2.0f);
    EXPECT_EQ(to.reserved, 3.0f);
    EXPECT_EQ(to.type, 7);
    EXPECT_EQ(std::memcmp(to.future, from.future, sizeof(to.future)), 0);

    std::memset(from.name, 0, sizeof(from.name));
    std::memcpy(from.name, "Left", 5);
    from.name[10] = 'z';  // junk after the terminator is not copied
    std::memset(&to, 'x', sizeof(to));
    ASSERT_TRUE(effect.copySpeaker(&to, &from));
    EXPECT_STREQ(to.name, "Left");
    EXPECT_TRUE(allZero(to.name + 4, 60));

    EXPECT_FALSE(effect.copySpeaker(nullptr, &from));
    EXPECT_FALSE(effect.copySpeaker(&to, nullptr));
}

VstSpeakerArrangement* sixChannels(ProbeEffect& effect) {
    VstSpeakerArrangement* source = nullptr;
    effect.allocateArrangement(&source, 6);
    source->type = 14;
    for (int i = 0; i < 6; ++i) {
        VstSpeakerProperties* s = speaker(source, i);
        s->azimuth = static_cast<float>(i);
        s->type = 100 + i;
        std::memset(s->name, 'A' + i, sizeof(s->name));  // full-width names, unterminated
        s->future[27] = static_cast<char>(i);
    }
    return source;
}

TEST(SpeakerArrangement, MatchMakesAnExactCopy) {
    ProbeEffect effect(nullptr);
    VstSpeakerArrangement* source = sixChannels(effect);
    VstSpeakerArrangement* copy = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&copy, 1));  // replaced by the match
    ASSERT_TRUE(effect.matchArrangement(&copy, source));
    ASSERT_NE(copy, source);
    EXPECT_EQ(copy->type, 14);
    ASSERT_EQ(copy->numChannels, 6);
    for (int i = 0; i < 6; ++i) {
        VstSpeakerProperties* s = speaker(copy, i);
        EXPECT_EQ(s->azimuth, static_cast<float>(i));
        EXPECT_EQ(s->type, 100 + i);
        EXPECT_EQ(std::string(s->name), std::string(63, static_cast<char>('A' + i)));
        EXPECT_EQ(s->future[27], static_cast<char>(i));
    }
    effect.deallocateArrangement(&copy);
    effect.deallocateArrangement(&source);
}

TEST(SpeakerArrangement, MatchRefusesANullSourceAndCopesWithItsOwnBlock) {
    ProbeEffect effect(nullptr);
    VstSpeakerArrangement* kept = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&kept, 3));
    VstSpeakerArrangement* before = kept;
    EXPECT_FALSE(effect.matchArrangement(&kept, nullptr));
    EXPECT_EQ(kept, before) << "a null source leaves the destination alone";

    // Matching a block with itself must not read it after releasing it (the address
    // sanitizer build checks this).
    VstSpeakerArrangement* self = sixChannels(effect);
    ASSERT_TRUE(effect.matchArrangement(&self, self));
    EXPECT_EQ(self->numChannels, 6);
    EXPECT_EQ(self->type, 14);
    EXPECT_EQ(speaker(self, 5)->type, 105);
    effect.deallocateArrangement(&self);
    effect.deallocateArrangement(&kept);
}

}  // namespace
