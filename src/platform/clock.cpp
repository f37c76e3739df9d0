// Moving the tick clock: Sleep, and the switches of the manual clock that deterministic hosts
// and tests use. They stand above the message queues because moving the clock can make
// timers due, so threads waiting in GetMessageA are woken to look again; the clock itself
// (kernel.cpp) knows nothing of the queues.
#include <chrono>
#include <thread>

#include "platform/cqscope_platform.h"
#include "platform/internal.h"

namespace {

void advanceManualClock(DWORD milliseconds) {
    cqp::moveManualClock(milliseconds);
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::wakeAllQueuesLocked(s);
}

}  // namespace

WIN32API void WINAPI Sleep(DWORD milliseconds) {
    if (cqp::manualClockOn()) {
        advanceManualClock(milliseconds);
        return;
    }
    if (milliseconds == 0) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

WIN32API void cqpSetManualClock(BOOL enabled, DWORD startMs) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    // Running timers keep the time they had left, measured on the new clock.
    const DWORD before = cqp::tickNow();
    cqp::switchClock(enabled != FALSE, startMs);
    const DWORD after = cqp::tickNow();
    for (cqp::Timer& t : s.timers) t.nextDue = t.nextDue - before + after;
    s.clicks = cqp::ClickTracker{};
    cqp::wakeAllQueuesLocked(s);
}

WIN32API void cqpAdvanceClock(DWORD milliseconds) {
    if (cqp::manualClockOn()) advanceManualClock(milliseconds);
}
