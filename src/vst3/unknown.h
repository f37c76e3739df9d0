// What every object of the plug-in does alike as an FUnknown: its atomic reference count, and
// the common part of queryInterface.
//
// Threads: any (hosts count references from several threads).
#pragma once

#include <atomic>

#include "vst3/vst3_interface.h"

namespace cqscope::vst3plugin {

// An object's references, starting at the creator's one.
class ReferenceCount {
  public:
    // The new count after adding one.
    vst3::uint32 add() noexcept { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
    // The new count after dropping one; 0 means the object is to be destroyed now.
    vst3::uint32 drop() noexcept { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

  private:
    std::atomic<vst3::uint32> count_{1};
};

// Whether the ID a caller passed (16 bytes, or null) is `uid`.
inline bool isUid(const char* bytes, const vst3::Uid& uid) {
    return bytes != nullptr && vst3::sameUid(bytes, uid);
}

// Answers a queryInterface whose object found `found` for the asked ID (null when it has no
// such interface): stores it in `*obj`, adding one to the object's `references` for it, or
// stores null.
inline vst3::tresult answerQuery(void** obj, void* found, ReferenceCount& references) {
    if (obj == nullptr) return vst3::kInvalidArgument;
    *obj = found;
    if (found == nullptr) return vst3::kNoInterface;
    references.add();
    return vst3::kResultOk;
}

}  // namespace cqscope::vst3plugin
