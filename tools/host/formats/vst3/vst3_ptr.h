// Owning a reference to a VST 3 object: one release when the holder lets go. Any thread; the
// holder's own thread rules apply.
#pragma once

#include <utility>

#include "vst3/vst3_interface.h"

namespace cqhost {

template <class T>
class Vst3Ptr {
  public:
    Vst3Ptr() = default;
    // Takes over a reference the caller owns (from createInstance, queryInterface, ...).
    explicit Vst3Ptr(T* object) : object_(object) {}
    Vst3Ptr(Vst3Ptr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Vst3Ptr& operator=(Vst3Ptr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.object_, nullptr));
        return *this;
    }
    Vst3Ptr(const Vst3Ptr&) = delete;
    Vst3Ptr& operator=(const Vst3Ptr&) = delete;
    ~Vst3Ptr() { reset(); }

    void reset(T* object = nullptr) {
        if (object_ != nullptr) object_->release();
        object_ = object;
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

  private:
    T* object_ = nullptr;
};

// Asks `object` for the interface `I`. Null when it has none; a plug-in that answers kResultOk
// with no pointer, or a pointer with a failure, counts as having none (and a pointer it handed
// out with a failure is not released: its reference count is not to be trusted then).
template <class I, class From>
Vst3Ptr<I> queryVst3(From* object) {
    if (object == nullptr) return {};
    void* answer = nullptr;
    if (object->queryInterface(I::iid.bytes, &answer) != vst3::kResultOk || answer == nullptr) {
        return {};
    }
    return Vst3Ptr<I>(static_cast<I*>(answer));
}

}  // namespace cqhost
