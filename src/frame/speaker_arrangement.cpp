// The speaker-arrangement helpers of AudioEffectX. Blocks are sized to the channel count
// (8 bytes of header plus 112 per speaker), not to the record's declared room for eight.
#include <cstdint>
#include <cstring>
#include <new>

#include "frame/audioeffectx.h"

namespace {

constexpr std::int64_t kHeaderBytes = offsetof(VstSpeakerArrangement, speakers);
constexpr std::int64_t kSpeakerBytes = sizeof(VstSpeakerProperties);
constexpr std::size_t kNameBytes = sizeof(VstSpeakerProperties{}.name);

void releaseBlock(VstSpeakerArrangement* block) {
    ::operator delete(block);
}

// Speaker i of an arrangement that may hold more than the declared eight.
VstSpeakerProperties* speakerAt(VstSpeakerArrangement* arrangement, VstInt32 i) {
    auto* bytes = reinterpret_cast<unsigned char*>(arrangement);
    return reinterpret_cast<VstSpeakerProperties*>(bytes + kHeaderBytes + kSpeakerBytes * i);
}

}  // namespace

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels) {
    if (arrangement == nullptr) return false;
    if (*arrangement != nullptr) {
        releaseBlock(*arrangement);
        *arrangement = nullptr;
    }
    // Negative counts and sizes that do not fit a signed 32-bit byte count are refused.
    const std::int64_t size = kHeaderBytes + kSpeakerBytes * static_cast<std::int64_t>(nbChannels);
    if (nbChannels < 0 || size > INT32_MAX) return false;
    void* block = ::operator new(static_cast<std::size_t>(size), std::nothrow);
    if (block == nullptr) return false;
    std::memset(block, 0, static_cast<std::size_t>(size));
    auto* made = static_cast<VstSpeakerArrangement*>(block);
    made->numChannels = nbChannels;
    *arrangement = made;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
    if (arrangement != nullptr && *arrangement != nullptr) {
        releaseBlock(*arrangement);
        *arrangement = nullptr;
    }
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
    if (to == nullptr || from == nullptr) return false;
    // At most 63 characters of the name; the rest of the field, byte 63 included, is zero.
    std::size_t length = 0;
    while (length < kNameBytes - 1 && from->name[length] != '\0') ++length;
    char name[kNameBytes] = {};
    std::memcpy(name, from->name, length);
    std::memcpy(to->name, name, kNameBytes);
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    to->type = from->type;
    std::memcpy(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
    if (from == nullptr || to == nullptr) return false;
    // When the source is the destination's own block, keep it alive until the copy is made:
    // detach it from the pointer, copy from it, then release it.
    VstSpeakerArrangement* detachedSource = nullptr;
    if (*to == from) {
        detachedSource = from;
        *to = nullptr;
    }
    bool matched = false;
    if (deallocateArrangement(to) && allocateArrangement(to, from->numChannels)) {
        (*to)->type = from->type;
        matched = true;
        for (VstInt32 i = 0; i < (*to)->numChannels; ++i) {
            if (!copySpeaker(speakerAt(*to, i), speakerAt(from, i))) {
                matched = false;
                break;
            }
        }
    }
    if (detachedSource != nullptr) releaseBlock(detachedSource);
    return matched;
}
