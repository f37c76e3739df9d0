// Glue between the windows of foreign X11 parents and their presenters: X events become
// invalidation, mouse and pointer messages, and what was drawn into a window's surface goes out to
// its X window. Runs on the thread that owns the windows, inside its message retrieval calls
// (PeekMessageA, GetMessageA, cqpPumpMessages), which is where a Linux host's editor idle
// lands. It never waits for the X server.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/cqscope_platform.h"
#include "platform/internal.h"
#include "platform/x11_presenter.h"

namespace cqp {

namespace {

constexpr int kEventsPerService = 256;  // a flood of X events cannot hold the host's thread

// The calling thread's service in progress: a window procedure that retrieves messages while
// handling an X event does not start another one.
thread_local bool servicing = false;

// The presenter of a window of this thread, or null.
Presenter* presenterOf(HWND window) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = findWindowLocked(s, window);
    return w != nullptr && w->owner == std::this_thread::get_id() ? w->presenter : nullptr;
}

void handleEvent(HWND window, const PresenterEvent& event) {
    switch (event.type) {
        case PresenterEvent::Type::Exposed: {
            const RECT area{event.x, event.y, event.x + event.width, event.y + event.height};
            {
                // The surface still holds the pixels: they go out again with the next copy.
                State& s = state();
                std::lock_guard<std::mutex> lock(s.mutex);
                Window* w = findWindowLocked(s, window);
                if (w == nullptr || !w->surface) return;
                RECT& d = w->surface->dirty;
                d = d.right > d.left
                        ? RECT{std::min(d.left, area.left), std::min(d.top, area.top),
                               std::max(d.right, area.right), std::max(d.bottom, area.bottom)}
                        : area;
            }
            // And the window may paint it afresh, as after an expose on Windows.
            InvalidateRect(window, &area, FALSE);
            return;
        }
        case PresenterEvent::Type::Pressed:
            deliverButton(window, event.x, event.y, true);
            return;
        case PresenterEvent::Type::Released:
            deliverButton(window, event.x, event.y, false);
            return;
        case PresenterEvent::Type::Moved:
            deliverPointer(window, event.x, event.y);
            return;
        case PresenterEvent::Type::Left:
            deliverPointerLeave(window);
            return;
    }
}

// Copies the window's dirty area into its presenter and sends it.
void present(HWND window) {
    Presenter* presenter = nullptr;
    RECT area{0, 0, 0, 0};
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        Window* w = findWindowLocked(s, window);
        if (w == nullptr || w->presenter == nullptr || !w->surface) return;
        presenter = w->presenter;
        std::uint32_t* to = presenterPixels(presenter);
        if (to == nullptr) return;
        Surface& surface = *w->surface;
        area = surface.dirty;
        surface.dirty = RECT{0, 0, 0, 0};
        area.left = std::max<LONG>(area.left, 0);
        area.top = std::max<LONG>(area.top, 0);
        area.right = std::min<LONG>(area.right, std::min(surface.width, w->width));
        area.bottom = std::min<LONG>(area.bottom, std::min(surface.height, w->height));
        if (area.right > area.left && area.bottom > area.top) {
            const auto count = static_cast<std::size_t>(area.right - area.left);
            for (LONG y = area.top; y < area.bottom; ++y) {
                std::memcpy(
                    &to[static_cast<std::size_t>(y) * w->width + area.left],
                    &surface.pixels[static_cast<std::size_t>(y) * surface.width + area.left],
                    count * sizeof(std::uint32_t));
            }
        } else {
            area = RECT{0, 0, 0, 0};
        }
    }
    // Sent without the lock; an empty area still sends what an earlier call had to leave.
    presentArea(presenter, area);
}

}  // namespace

int dpiOfResources(const char* resources) {
    static constexpr char kName[] = "Xft.dpi:";
    for (const char* line = resources; line != nullptr && *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        if (std::strncmp(line, kName, sizeof kName - 1) == 0) {
            char* after = nullptr;
            const double dpi = std::strtod(line + sizeof kName - 1, &after);
            const bool number =
                after != line + sizeof kName - 1 && (end == nullptr || after <= end);
            return number && dpi > 0.0 && dpi < 10000.0 ? static_cast<int>(dpi + 0.5) : 0;
        }
        line = end != nullptr ? end + 1 : nullptr;
    }
    return 0;
}

bool servicePresenters() {
    if (servicing || state().presentedWindows.load(std::memory_order_relaxed) == 0) return false;
    std::vector<HWND> windows;
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        const std::thread::id self = std::this_thread::get_id();
        s.table.forEach([&](void* handle, Object* o) {
            if (o->kind != Kind::Window) return;
            const auto* w = static_cast<const Window*>(o);
            if (w->presenter != nullptr && w->owner == self) {
                windows.push_back(static_cast<HWND>(handle));
            }
        });
    }
    if (windows.empty()) return false;
    struct Busy {
        Busy() { servicing = true; }
        ~Busy() { servicing = false; }
    } busy;
    for (HWND window : windows) {
        // Looked up again after every event: handling one may destroy the window.
        for (int n = 0; n < kEventsPerService; ++n) {
            Presenter* presenter = presenterOf(window);
            PresenterEvent event;
            if (presenter == nullptr || !nextPresenterEvent(presenter, event)) break;
            handleEvent(window, event);
        }
        present(window);
    }
    return true;
}

}  // namespace cqp

WIN32API unsigned long cqpCreateX11HostWindow(const char* title) {
    return cqp::createHostXWindow(title);
}

WIN32API int cqpX11HostWindowDpi(unsigned long window) {
    return window <= 0xFFFFFFFFu ? cqp::hostXWindowDpi(static_cast<std::uint32_t>(window)) : 0;
}

WIN32API BOOL cqpShowX11HostWindow(unsigned long window, int width, int height) {
    return window <= 0xFFFFFFFFu &&
                   cqp::showHostXWindow(static_cast<std::uint32_t>(window), width, height)
               ? TRUE
               : FALSE;
}

WIN32API BOOL cqpServiceX11HostWindow(unsigned long window) {
    return window <= 0xFFFFFFFFu && cqp::serviceHostXWindow(static_cast<std::uint32_t>(window))
               ? TRUE
               : FALSE;
}

WIN32API void cqpCloseX11HostWindow(unsigned long window) {
    if (window <= 0xFFFFFFFFu) cqp::closeHostXWindow(static_cast<std::uint32_t>(window));
}

namespace {
// The resolution a host of ours stated for this module's editors (cqpSetScreenDpi), or 0.
std::atomic<int> statedDpi{0};
}  // namespace

WIN32API int cqpXftDpi(void) {
    const int stated = statedDpi.load(std::memory_order_relaxed);
    return stated > 0 ? stated : cqp::screenDpi();
}

WIN32API void cqpSetScreenDpi(int dpi) {
    statedDpi.store(dpi > 0 ? dpi : 0, std::memory_order_relaxed);
}
