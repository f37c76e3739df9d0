// The handle table and the process-wide state.
#include <atomic>
#include <cstdint>

#include "platform/internal.h"

namespace cqp {

namespace {
// A handle is 0x80000000 | (slot index + 1) << 16 | generation, with the generation never 0,
// so no live handle is null and a stale one names a generation its slot no longer has. The top
// bit keeps every handle apart from X11 window ids (29 bits), which a Linux host passes as the
// parent of an editor window. A handle that went through a 32-bit LONG and came back sign
// extended is still recognised.
constexpr std::size_t kMaxSlots = 0x7FFF;
constexpr std::uintptr_t kHandleMark = 0x80000000u;
}  // namespace

void* HandleTable::handleOf(std::size_t index) const {
    const std::uintptr_t value = kHandleMark | (static_cast<std::uintptr_t>(index + 1) << 16) |
                                 static_cast<std::uintptr_t>(slots_[index].generation);
    return reinterpret_cast<void*>(value);
}

bool HandleTable::decode(const void* handle, std::size_t& index) const {
    auto value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
    if ((value >> 32) == 0xFFFFFFFFu) value &= 0xFFFFFFFFu;  // sign extended from 32 bits
    if (value > 0xFFFFFFFFu || (value & kHandleMark) == 0) return false;
    const std::uintptr_t slot = (value & ~kHandleMark) >> 16;
    if (slot == 0 || slot > slots_.size()) return false;
    index = slot - 1;
    return slots_[index].object && slots_[index].generation == (value & 0xFFFF);
}

void* HandleTable::add(std::unique_ptr<Object> object) {
    std::size_t index;
    if (!free_.empty() && (slots_.size() >= kMaxSlots || free_.size() > 64)) {
        index = free_.front();
        free_.pop_front();
    } else if (slots_.size() < kMaxSlots) {
        index = slots_.size();
        slots_.emplace_back();
    } else {
        return nullptr;
    }
    slots_[index].object = std::move(object);
    if (!slots_[index].object->stock) ++live_;
    return handleOf(index);
}

Object* HandleTable::find(const void* handle) const {
    std::size_t index;
    return decode(handle, index) ? slots_[index].object.get() : nullptr;
}

std::unique_ptr<Object> HandleTable::remove(const void* handle) {
    std::size_t index;
    if (!decode(handle, index)) return nullptr;
    Slot& slot = slots_[index];
    std::unique_ptr<Object> object = std::move(slot.object);
    if (!object->stock) --live_;
    slot.generation =
        static_cast<std::uint16_t>(slot.generation == 0xFFFF ? 1 : slot.generation + 1);
    free_.push_back(index);
    return object;
}

int HandleTable::liveCount() const {
    return live_;
}

namespace {
// The process-wide state. Created on first use; see ReleaseWhenUnloaded for its end.
std::atomic<State*> instance{nullptr};

// Runs when the library is unloaded (a host closing its last cqscope effect and unloading the
// plug-in) and at process exit. The state is freed only when nothing of it is in use any more:
// no window, no timer and no object but the stock ones. Otherwise it is kept, since a host's
// threads may still call in while the process exits; a later call then finds it as it was.
struct ReleaseWhenUnloaded {
    ~ReleaseWhenUnloaded() {
        State* s = instance.load(std::memory_order_acquire);
        if (s == nullptr) return;
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (s->table.liveCount() != 0 || !s->windowOrder.empty() || !s->timers.empty()) {
                return;
            }
        }
        instance.store(nullptr, std::memory_order_release);
        delete s;
    }
} releaseWhenUnloaded;
}  // namespace

State& state() {
    State* s = instance.load(std::memory_order_acquire);
    if (s != nullptr) return *s;
    auto* fresh = new State();
    if (instance.compare_exchange_strong(s, fresh, std::memory_order_acq_rel)) return *fresh;
    delete fresh;  // another thread made it first
    return *s;
}

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

void setError(DWORD error) {
    lastError = error;
}

}  // namespace cqp

WIN32API DWORD WINAPI GetLastError(void) {
    return cqp::lastError;
}
WIN32API void WINAPI SetLastError(DWORD error) {
    cqp::lastError = error;
}
