// Message queues, timers, dispatch, the "Button" class, simulated mouse clicks and pointer
// motion with its leave tracking.
//
// Each thread has one queue. Retrieval follows Windows' priorities: posted messages first (in
// order), then WM_QUIT, then WM_PAINT for a window with an update area, then WM_TIMER. A
// timer is never queued: when it falls due it is marked ready, at most one WM_TIMER is
// pending per timer, and its next due time stays on its own period.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>

#include "platform/cqscope_platform.h"
#include "platform/internal.h"
#include "platform/ticks.h"

namespace cqp {

namespace {

constexpr UINT kMinimumTimerPeriod = 10;  // USER_TIMER_MINIMUM
constexpr DWORD kDoubleClickTime = 500;   // ms
constexpr int kDoubleClickSlop = 2;       // pixels either way
constexpr int kPumpLimit = 100000;        // dispatches per pump, against runaway posting
constexpr long long kPresenterPoll = 10;  // ms between looks at the X events in GetMessageA

// Windows and timers already served by the current cqpPumpMessages, so one pump cannot spin.
struct PumpGuard {
    std::set<HWND> painted;
    std::set<std::pair<HWND, UINT_PTR>> timers;
};

ThreadQueue& queueLocked(State& s, std::thread::id thread) {
    auto& queue = s.queues[thread];
    if (!queue) queue = std::make_shared<ThreadQueue>();
    return *queue;
}

bool rangeMatches(UINT message, UINT low, UINT high) {
    return (low == 0 && high == 0) || (message >= low && message <= high);
}

// A null filter takes every window of the thread and thread messages; (HWND)-1 only thread
// messages; a window takes that window and its descendants.
bool windowMatchesLocked(State& s, HWND window, HWND filter) {
    if (filter == nullptr) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return window == nullptr;
    return window != nullptr && isDescendantOrSelfLocked(s, window, filter);
}

void refreshTimersLocked(State& s, DWORD now) {
    for (Timer& t : s.timers) {
        if (!cqtick::reached(now, t.nextDue)) continue;
        t.ready = true;
        const DWORD late = now - t.nextDue;
        t.nextDue += (late / t.elapse + 1) * t.elapse;
    }
}

bool peekLocked(State& s, MSG& out, HWND filter, UINT low, UINT high, bool remove,
                PumpGuard* guard) {
    const std::thread::id self = std::this_thread::get_id();
    ThreadQueue& queue = queueLocked(s, self);
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (!rangeMatches(it->message, low, high) || !windowMatchesLocked(s, it->hwnd, filter)) {
            continue;
        }
        out = *it;
        if (remove) queue.posted.erase(it);
        return true;
    }
    if (queue.quitPosted && rangeMatches(WM_QUIT, low, high)) {
        out = MSG{};
        out.message = WM_QUIT;
        out.wParam = static_cast<WPARAM>(queue.quitCode);
        out.time = tickNow();
        if (remove) queue.quitPosted = false;
        return true;
    }
    if (rangeMatches(WM_PAINT, low, high)) {
        for (HWND h : s.windowOrder) {
            Window* w = findWindowLocked(s, h);
            if (w == nullptr || w->owner != self || !w->hasUpdate || !isShownLocked(s, w) ||
                !windowMatchesLocked(s, h, filter) ||
                (guard != nullptr && guard->painted.count(h) != 0)) {
                continue;
            }
            out = MSG{};
            out.hwnd = h;
            out.message = WM_PAINT;
            out.time = tickNow();
            out.pt = s.cursorPos;
            if (guard != nullptr && remove) guard->painted.insert(h);
            return true;  // stays until the window is validated
        }
    }
    if (rangeMatches(WM_TIMER, low, high)) {
        const DWORD now = tickNow();
        refreshTimersLocked(s, now);
        for (Timer& t : s.timers) {
            if (t.owner != self || !t.ready || !windowMatchesLocked(s, t.window, filter) ||
                (guard != nullptr && guard->timers.count({t.window, t.id}) != 0)) {
                continue;
            }
            out = MSG{};
            out.hwnd = t.window;
            out.message = WM_TIMER;
            out.wParam = t.id;
            out.lParam = reinterpret_cast<LPARAM>(t.proc);
            out.time = now;
            out.pt = s.cursorPos;
            if (remove) {
                t.ready = false;
                if (guard != nullptr) guard->timers.insert({t.window, t.id});
            }
            return true;
        }
    }
    return false;
}

// Milliseconds until the calling thread's next timer is due, or -1 when it has none.
long long nextTimerWaitLocked(State& s) {
    const DWORD now = tickNow();
    long long best = -1;
    for (const Timer& t : s.timers) {
        if (t.owner != std::this_thread::get_id()) continue;
        const long long wait =
            cqtick::reached(now, t.nextDue) ? 0 : static_cast<long long>(t.nextDue - now);
        if (best < 0 || wait < best) best = wait;
    }
    return best;
}

// The deepest shown, enabled window under a point of `window`'s client area; the point is
// turned into that window's client coordinates.
HWND hitTestLocked(State& s, HWND window, POINT& point) {
    Window* w = findWindowLocked(s, window);
    if (w == nullptr) return nullptr;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        Window* c = findWindowLocked(s, *it);
        if (c == nullptr || !c->visible || (c->style & WS_DISABLED) != 0) continue;
        if (point.x >= c->x && point.x < c->x + c->width && point.y >= c->y &&
            point.y < c->y + c->height) {
            point.x -= c->x;
            point.y -= c->y;
            return hitTestLocked(s, *it, point);
        }
    }
    return window;
}

// The offset of a window's client area on the screen.
POINT screenOffsetLocked(State& s, HWND window) {
    POINT offset{0, 0};
    for (Window* w = findWindowLocked(s, window); w != nullptr;) {
        offset.x += w->x;
        offset.y += w->y;
        w = hasLibraryParent(*w) ? findWindowLocked(s, w->parent) : nullptr;
    }
    return offset;
}

void notifyParent(HWND button, WORD code) {
    HWND parent = nullptr;
    LONG_PTR id = 0;
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        Window* w = findWindowLocked(s, button);
        if (w == nullptr || !hasLibraryParent(*w)) return;
        parent = w->parent;
        id = w->id;
    }
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), code),
                 reinterpret_cast<LPARAM>(button));
}

bool setPushed(HWND button, bool pushed, bool* was = nullptr) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = findWindowLocked(s, button);
    if (w == nullptr) return false;
    if (was != nullptr) *was = w->buttonPushed;
    w->buttonPushed = pushed;
    return true;
}

int dispatchPending(HWND filter, PumpGuard& guard) {
    int count = 0;
    MSG msg;
    while (count < kPumpLimit) {
        {
            State& s = state();
            std::lock_guard<std::mutex> lock(s.mutex);
            if (!peekLocked(s, msg, filter, 0, 0, true, &guard)) break;
        }
        if (msg.message == WM_QUIT) {
            // A quit request is left for the host's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        DispatchMessageA(&msg);
        ++count;
    }
    return count;
}

void postLocked(State& s, ThreadQueue& queue, HWND window, UINT message, WPARAM wParam,
                LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = tickNow();
    msg.pt = s.cursorPos;
    queue.posted.push_back(msg);
    queue.wake.notify_all();
}

// The pointer is now over `hover` (null: none of the thread's windows): a window that tracks
// the leave and is neither under the pointer nor holding the capture gets its WM_MOUSELEAVE,
// posted as Windows posts it, and tracks no more.
void pointerNowOverLocked(State& s, ThreadQueue& queue, HWND hover) {
    queue.hover = hover;
    HWND tracked = queue.leaveTracked;
    if (tracked == nullptr || tracked == hover || tracked == queue.capture) return;
    queue.leaveTracked = nullptr;
    postLocked(s, queue, tracked, WM_MOUSELEAVE, 0, 0);
}

// The pointer at (x, y) of the top-level `window`, on its thread: records where it is, posts
// the leave of a tracked window it is no longer over, and answers the window its mouse
// message goes to with the point in that window's coordinates in `local`: the one under the
// point, or the capture's holder when `toCapture`; null when none. `screen` receives the
// point on the screen. Requires the lock.
HWND pointerTargetLocked(State& s, HWND window, bool toCapture, POINT& local, POINT& screen) {
    Window* w = findWindowLocked(s, window);
    if (w == nullptr || w->owner != std::this_thread::get_id()) return nullptr;
    const POINT origin = screenOffsetLocked(s, window);
    screen = POINT{origin.x + local.x, origin.y + local.y};
    s.cursorPos = screen;
    ThreadQueue& queue = queueLocked(s, std::this_thread::get_id());
    const bool inside = local.x >= 0 && local.y >= 0 && local.x < w->width && local.y < w->height;
    HWND over = inside ? hitTestLocked(s, window, local) : nullptr;
    pointerNowOverLocked(s, queue, over);
    if (toCapture && queue.capture != nullptr && findWindowLocked(s, queue.capture) != nullptr) {
        // The capture's holder gets the message wherever the pointer is.
        const POINT at = screenOffsetLocked(s, queue.capture);
        local = POINT{screen.x - at.x, screen.y - at.y};
        return queue.capture;
    }
    return over;
}

}  // namespace

void wakeAllQueuesLocked(State& s) {
    for (auto& entry : s.queues) entry.second->wake.notify_all();
}

// The window procedure of the "Button" class. Pressing arms the button and captures the
// mouse; releasing inside it sends BN_CLICKED to the parent. A double-click press of an
// owner-drawn button sends BN_DOUBLECLICKED instead and leaves the button unarmed, so its
// release sends nothing.
LRESULT CALLBACK buttonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD style = 0;
    RECT client{};
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        Window* w = findWindowLocked(s, window);
        if (w == nullptr) return 0;
        style = w->style;
        client = RECT{0, 0, w->width, w->height};
    }
    const bool ownerDraw = (style & 0x0F) == BS_OWNERDRAW;
    switch (message) {
        case WM_LBUTTONDBLCLK:
            if (ownerDraw) {
                notifyParent(window, BN_DOUBLECLICKED);
                return 0;
            }
            [[fallthrough]];
        case WM_LBUTTONDOWN:
            setPushed(window, true);
            SetCapture(window);
            return 0;
        case WM_LBUTTONUP: {
            bool wasPushed = false;
            setPushed(window, false, &wasPushed);
            const int x = GET_X_LPARAM(lParam);
            const int y = GET_Y_LPARAM(lParam);
            ReleaseCapture();
            if (wasPushed && x >= client.left && x < client.right && y >= client.top &&
                y < client.bottom) {
                notifyParent(window, BN_CLICKED);
            }
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != window) setPushed(window, false);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(window, &paint);
            if (dc != nullptr && ownerDraw) {
                // The owner draws the button.
                DRAWITEMSTRUCT item{};
                item.CtlType = ODT_BUTTON;
                item.hwndItem = window;
                item.hDC = dc;
                item.rcItem = client;
                item.itemAction = ODA_DRAWENTIRE;
                HWND parent = GetParent(window);
                item.CtlID = static_cast<UINT>(GetWindowLongPtrA(window, GWLP_ID));
                SendMessageA(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
            }
            if (dc != nullptr) EndPaint(window, &paint);
            return 0;
        }
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool deliverButton(HWND window, int x, int y, bool press) {
    HWND target = nullptr;
    UINT message = press ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    POINT local{x, y};
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        // The release goes to the window that holds the capture, wherever it is.
        POINT screen{};
        target = pointerTargetLocked(s, window, !press, local, screen);
        if (target == nullptr) return false;
        if (press) {
            Window* t = findWindowLocked(s, target);
            const DWORD now = tickNow();
            ClickTracker& last = s.clicks;
            // A second press on the same window, soon and near enough, is a double click for
            // classes that ask for them.
            if (last.armed && last.window == target && now - last.time <= kDoubleClickTime &&
                std::abs(last.point.x - screen.x) <= kDoubleClickSlop &&
                std::abs(last.point.y - screen.y) <= kDoubleClickSlop && t->cls &&
                (t->cls->style & CS_DBLCLKS) != 0) {
                message = WM_LBUTTONDBLCLK;
                last = ClickTracker{};
            } else {
                last = ClickTracker{target, now, screen, true};
            }
        }
    }
    callWindow(target, message, press ? MK_LBUTTON : 0, MAKELPARAM(local.x, local.y));
    return true;
}

bool deliverPointer(HWND window, int x, int y) {
    HWND target = nullptr;
    POINT local{x, y};
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        POINT screen{};
        target = pointerTargetLocked(s, window, true, local, screen);
        if (target == nullptr) return false;
    }
    callWindow(target, WM_MOUSEMOVE, 0, MAKELPARAM(local.x, local.y));
    return true;
}

void deliverPointerLeave(HWND window) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = findWindowLocked(s, window);
    if (w == nullptr || w->owner != std::this_thread::get_id()) return;
    ThreadQueue& queue = queueLocked(s, std::this_thread::get_id());
    if (queue.hover != nullptr && !isDescendantOrSelfLocked(s, queue.hover, window)) return;
    pointerNowOverLocked(s, queue, nullptr);
}

}  // namespace cqp

WIN32API LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        cqp::Window* w = cqp::windowOrErrorLocked(s, window);
        if (w == nullptr) return 0;
        // Sending across threads is not supported: windows are used by their own thread.
        if (w->owner != std::this_thread::get_id()) {
            cqp::setError(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    return cqp::callWindow(window, message, wParam, lParam);
}

WIN32API BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::thread::id target = std::this_thread::get_id();  // a null window posts to this thread
    if (window != nullptr) {
        cqp::Window* w = cqp::windowOrErrorLocked(s, window);
        if (w == nullptr) return FALSE;
        target = w->owner;
    }
    cqp::postLocked(s, cqp::queueLocked(s, target), window, message, wParam, lParam);
    return TRUE;
}

WIN32API void WINAPI PostQuitMessage(int exitCode) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::ThreadQueue& queue = cqp::queueLocked(s, std::this_thread::get_id());
    queue.quitPosted = true;
    queue.quitCode = exitCode;
    queue.wake.notify_all();
}

WIN32API BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax,
                                  UINT removeFlags) {
    if (message == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cqp::servicePresenters();
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (window != nullptr && window != reinterpret_cast<HWND>(-1) &&
        cqp::findWindowLocked(s, window) == nullptr) {
        cqp::setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return cqp::peekLocked(s, *message, window, filterMin, filterMax,
                           (removeFlags & PM_REMOVE) != 0, nullptr)
               ? TRUE
               : FALSE;
}

WIN32API BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    bool presenting = cqp::servicePresenters();
    cqp::State& s = cqp::state();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (window != nullptr && window != reinterpret_cast<HWND>(-1) &&
        cqp::findWindowLocked(s, window) == nullptr) {
        cqp::setError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    auto queue = s.queues[std::this_thread::get_id()];
    if (!queue) {
        queue = std::make_shared<cqp::ThreadQueue>();
        s.queues[std::this_thread::get_id()] = queue;
    }
    for (;;) {
        if (cqp::peekLocked(s, *message, window, filterMin, filterMax, true, nullptr)) {
            return message->message == WM_QUIT ? FALSE : TRUE;
        }
        if (window != nullptr && window != reinterpret_cast<HWND>(-1) &&
            cqp::findWindowLocked(s, window) == nullptr) {
            cqp::setError(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        }
        // Posts, invalidations and clock changes wake the wait; timers end it when due. X
        // events wake nothing, so a thread with presented windows looks at them every 10 ms.
        long long wait = cqp::nextTimerWaitLocked(s);
        if (presenting) wait = wait < 0 ? cqp::kPresenterPoll : std::min(wait, cqp::kPresenterPoll);
        if (wait < 0) {
            queue->wake.wait(lock);
        } else {
            queue->wake.wait_for(lock, std::chrono::milliseconds(std::max<long long>(wait, 1)));
        }
        if (presenting) {
            lock.unlock();
            presenting = cqp::servicePresenters();
            lock.lock();
        }
    }
}

WIN32API BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

WIN32API LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (message->message == WM_TIMER && message->lParam != 0) {
        // Only a procedure that a live timer was set with is called.
        TIMERPROC proc = nullptr;
        {
            cqp::State& s = cqp::state();
            std::lock_guard<std::mutex> lock(s.mutex);
            for (const cqp::Timer& t : s.timers) {
                if (t.window == message->hwnd && t.id == message->wParam &&
                    reinterpret_cast<LPARAM>(t.proc) == message->lParam) {
                    proc = t.proc;
                }
            }
        }
        if (proc != nullptr) proc(message->hwnd, WM_TIMER, message->wParam, cqp::tickNow());
        return 0;
    }
    if (message->hwnd == nullptr) return 0;  // thread messages have no procedure
    return cqp::callWindow(message->hwnd, message->message, message->wParam, message->lParam);
}

WIN32API long long cqpNextTimerWait() {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return cqp::nextTimerWaitLocked(s);
}

WIN32API UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (window != nullptr) {
        cqp::Window* w = cqp::findWindowLocked(s, window);
        if (w == nullptr || w->owner != std::this_thread::get_id()) {
            cqp::setError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    const UINT elapse = std::clamp<UINT>(elapseMs, cqp::kMinimumTimerPeriod, 0x7FFFFFFF);
    const DWORD now = cqp::tickNow();
    if (window == nullptr) {
        // A thread timer: a new identifier unless `id` names one of this thread's timers.
        for (cqp::Timer& t : s.timers) {
            if (t.window == nullptr && t.id == id && t.owner == std::this_thread::get_id()) {
                t.elapse = elapse;
                t.proc = proc;
                t.nextDue = now + elapse;
                t.ready = false;
                return id;
            }
        }
        id = ++s.nextThreadTimerId;
    }
    // Setting an existing timer again restarts it with the new period.
    for (cqp::Timer& t : s.timers) {
        if (window != nullptr && t.window == window && t.id == id) {
            t.elapse = elapse;
            t.proc = proc;
            t.nextDue = now + elapse;
            t.ready = false;
            return id == 0 ? 1 : id;
        }
    }
    cqp::Timer timer;
    timer.window = window;
    timer.id = id;
    timer.elapse = elapse;
    timer.proc = proc;
    timer.nextDue = now + elapse;
    timer.owner = std::this_thread::get_id();
    s.timers.push_back(timer);
    cqp::queueLocked(s, timer.owner).wake.notify_all();
    return id == 0 ? 1 : id;
}

WIN32API BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto before = s.timers.size();
    s.timers.erase(
        std::remove_if(s.timers.begin(), s.timers.end(),
                       [&](const cqp::Timer& t) {
                           return t.window == window && t.id == id &&
                                  (window != nullptr || t.owner == std::this_thread::get_id());
                       }),
        s.timers.end());
    if (s.timers.size() == before) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

WIN32API int cqpPumpMessages(HWND window) {
    {
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (window != nullptr && cqp::findWindowLocked(s, window) == nullptr) {
            cqp::setError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    }
    cqp::servicePresenters();
    cqp::PumpGuard guard;
    const int count = cqp::dispatchPending(window, guard);
    cqp::servicePresenters();  // sends what the dispatched messages painted
    return count;
}

namespace cqp {
namespace {

// Whether the calling thread may give `window` simulated input; with `point`, also whether
// that point lies inside it. Sets the last error when not.
bool acceptsInput(HWND window, const POINT* point = nullptr) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = findWindowLocked(s, window);
    if (w == nullptr || w->owner != std::this_thread::get_id()) {
        setError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_ACCESS_DENIED);
        return false;
    }
    if (point != nullptr &&
        (point->x < 0 || point->y < 0 || point->x >= w->width || point->y >= w->height)) {
        setError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

}  // namespace
}  // namespace cqp

WIN32API BOOL cqpClick(HWND window, int x, int y) {
    const POINT point{x, y};
    if (!cqp::acceptsInput(window, &point)) return FALSE;
    cqp::deliverButton(window, x, y, true);
    cqp::deliverButton(window, x, y, false);
    return TRUE;
}

WIN32API BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT track) {
    if (track == nullptr || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::ThreadQueue& queue = cqp::queueLocked(s, std::this_thread::get_id());
    if ((track->dwFlags & TME_QUERY) != 0) {
        track->dwFlags = queue.leaveTracked != nullptr ? TME_LEAVE : 0;
        track->hwndTrack = queue.leaveTracked;
        track->dwHoverTime = 0;
        return TRUE;
    }
    // Only the leave of a client area is tracked here.
    if ((track->dwFlags & ~static_cast<DWORD>(TME_LEAVE | TME_CANCEL)) != 0) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cqp::Window* w = cqp::windowOrErrorLocked(s, track->hwndTrack);
    if (w == nullptr) return FALSE;
    if (!cqp::ownedByCaller(*w)) {
        cqp::setError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if ((track->dwFlags & TME_LEAVE) == 0) return TRUE;
    if ((track->dwFlags & TME_CANCEL) != 0) {
        if (queue.leaveTracked == track->hwndTrack) queue.leaveTracked = nullptr;
        return TRUE;
    }
    if (queue.hover != track->hwndTrack) {
        // Not under the pointer: the leave is reported at once, as Windows does.
        cqp::postLocked(s, queue, track->hwndTrack, WM_MOUSELEAVE, 0, 0);
        return TRUE;
    }
    queue.leaveTracked = track->hwndTrack;
    return TRUE;
}

WIN32API BOOL cqpMovePointer(HWND window, int x, int y) {
    if (!cqp::acceptsInput(window)) return FALSE;
    // A point outside the window moves the pointer out of it (a leave, no motion message).
    cqp::deliverPointer(window, x, y);
    return TRUE;
}

WIN32API BOOL cqpPointerLeave(HWND window) {
    if (!cqp::acceptsInput(window)) return FALSE;
    cqp::deliverPointerLeave(window);
    return TRUE;
}
