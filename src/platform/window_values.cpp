// USER window values and procedures: Get/SetWindowLong(Ptr) (the procedure, user data, style,
// identifier, instance and parent), CallWindowProcA and DefWindowProcA. A window's procedure
// is changed only from the thread that owns it; procedures are called without the lock.
#include <algorithm>
#include <cstring>

#include "platform/cqscope_platform.h"
#include "platform/internal.h"

using cqp::Kind;

namespace {

// Reads or writes one window value. `wide` is the pointer-sized variant. Returns false (with
// the error set) for a bad window or index.
bool windowLong(HWND window, int index, bool wide, bool write, LONG_PTR value, LONG_PTR& previous) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::windowOrErrorLocked(s, window);
    if (w == nullptr) return false;
    if (index >= 0) {
        const std::size_t size = wide ? sizeof(LONG_PTR) : sizeof(LONG);
        if (static_cast<std::size_t>(index) + size > w->extra.size()) {
            cqp::setError(ERROR_INVALID_INDEX);
            return false;
        }
        if (wide) {
            std::memcpy(&previous, &w->extra[index], size);
            if (write) std::memcpy(&w->extra[index], &value, size);
        } else {
            LONG old = 0;
            std::memcpy(&old, &w->extra[index], size);
            previous = old;
            const LONG narrow = static_cast<LONG>(value);
            if (write) std::memcpy(&w->extra[index], &narrow, size);
        }
        return true;
    }
    switch (index) {
        case GWLP_WNDPROC:
            // A procedure does not fit the 32-bit variant on 64-bit systems, where Windows
            // refuses the index too.
            if (!wide && sizeof(LONG_PTR) > sizeof(LONG)) {
                cqp::setError(ERROR_INVALID_INDEX);
                return false;
            }
            if (write && (!cqp::ownedByCaller(*w) || value == 0)) {
                cqp::setError(value == 0 ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
                return false;
            }
            previous = reinterpret_cast<LONG_PTR>(w->proc);
            if (write) w->proc = reinterpret_cast<WNDPROC>(value);
            return true;
        case GWLP_HINSTANCE:
            previous = reinterpret_cast<LONG_PTR>(w->instance);
            if (write) w->instance = reinterpret_cast<HINSTANCE>(value);
            return true;
        case GWLP_HWNDPARENT:
            if (write) {
                cqp::setError(ERROR_INVALID_INDEX);
                return false;
            }
            previous = reinterpret_cast<LONG_PTR>(w->foreignParent != nullptr ? w->foreignParent
                                                                              : w->parent);
            return true;
        case GWLP_ID:
            previous = w->id;
            if (write) w->id = value;
            return true;
        case GWL_STYLE:
            previous = static_cast<LONG>(w->style);
            if (write) w->style = static_cast<DWORD>(value);
            return true;
        case GWL_EXSTYLE:
            previous = static_cast<LONG>(w->exStyle);
            if (write) w->exStyle = static_cast<DWORD>(value);
            return true;
        case GWLP_USERDATA:
            previous = w->userData;
            if (write) w->userData = wide ? value : static_cast<LONG>(value);
            return true;
        default:
            cqp::setError(ERROR_INVALID_INDEX);
            return false;
    }
}

}  // namespace

WIN32API LONG WINAPI GetWindowLongA(HWND window, int index) {
    LONG_PTR previous = 0;
    return windowLong(window, index, false, false, 0, previous) ? static_cast<LONG>(previous) : 0;
}

WIN32API LONG WINAPI SetWindowLongA(HWND window, int index, LONG value) {
    LONG_PTR previous = 0;
    cqp::setError(ERROR_SUCCESS);  // a previous value of 0 is told from failure this way
    return windowLong(window, index, false, true, value, previous) ? static_cast<LONG>(previous)
                                                                   : 0;
}

WIN32API LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index) {
    LONG_PTR previous = 0;
    return windowLong(window, index, true, false, 0, previous) ? previous : 0;
}

WIN32API LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    LONG_PTR previous = 0;
    cqp::setError(ERROR_SUCCESS);
    return windowLong(window, index, true, true, value, previous) ? previous : 0;
}

WIN32API LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) {
    if (proc == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return proc(window, message, wParam, lParam);
}

WIN32API LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_PAINT: {
            // Validates, so an unhandled paint does not come back.
            PAINTSTRUCT paint{};
            if (BeginPaint(window, &paint) != nullptr) EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND: {
            HBRUSH background = nullptr;
            RECT client{};
            {
                cqp::State& s = cqp::state();
                std::lock_guard<std::mutex> lock(s.mutex);
                cqp::Window* w = cqp::findWindowLocked(s, window);
                if (w == nullptr || !w->cls) return 0;
                background = w->cls->background;
                client = RECT{0, 0, w->width, w->height};
                if (s.table.find<cqp::Brush>(background, Kind::Brush) == nullptr) return 0;
            }
            auto dc = reinterpret_cast<HDC>(wParam);
            HGDIOBJ previous = SelectObject(dc, background);
            if (previous == nullptr) return 0;
            PatBlt(dc, 0, 0, client.right, client.bottom, PATCOPY);
            SelectObject(dc, previous);
            return 1;
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        default:
            return 0;
    }
}
