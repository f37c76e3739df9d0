// USER painting: invalidation, BeginPaint and EndPaint, the window device contexts, and the
// reads of what a window shows that hosts and tests use (cqpReadWindowPixels,
// cqpTakeDirtyRect).
#include <algorithm>
#include <cstring>

#include "platform/cqscope_platform.h"
#include "platform/internal.h"

using cqp::Kind;

WIN32API BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (window == nullptr) {
        // All windows, as Windows does for a null window.
        s.table.forEach([&](void*, cqp::Object* o) {
            if (o->kind == Kind::Window) {
                cqp::invalidateLocked(*static_cast<cqp::Window*>(o), nullptr, erase != FALSE);
            }
        });
        return TRUE;
    }
    cqp::Window* w = cqp::windowOrErrorLocked(s, window);
    if (w == nullptr) return FALSE;
    cqp::invalidateLocked(*w, rect, erase != FALSE);
    for (auto& entry : s.queues) entry.second->wake.notify_all();
    return TRUE;
}

WIN32API HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    if (paint == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HDC dc = nullptr;
    bool erase = false;
    {
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        cqp::Window* w = cqp::windowOrErrorLocked(s, window);
        if (w == nullptr) return nullptr;
        dc = cqp::createWindowDcLocked(s, window);
        if (dc == nullptr) return nullptr;
        cqp::Dc* d = s.table.find<cqp::Dc>(dc, Kind::Dc);
        d->paintDc = true;
        // The DC paints the update area only; it is validated now.
        d->paintClip = w->hasUpdate ? w->update : RECT{0, 0, 0, 0};
        std::memset(paint, 0, sizeof(*paint));
        paint->hdc = dc;
        paint->rcPaint = d->paintClip;
        erase = w->eraseNeeded;
        w->hasUpdate = false;
        w->eraseNeeded = false;
        w->update = RECT{0, 0, 0, 0};
    }
    if (erase)
        paint->fErase = cqp::callWindow(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0
                            ? TRUE
                            : FALSE;
    return dc;
}

WIN32API BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(paint->hdc, Kind::Dc);
    if (d == nullptr || !d->paintDc || d->window != window) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    cqp::freeDcLocked(s, paint->hdc);
    return TRUE;
}

WIN32API HDC WINAPI GetDC(HWND window) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    // A null window gives a DC of the (absent) screen: it makes compatible objects but draws
    // nothing.
    if (window != nullptr && cqp::findWindowLocked(s, window) == nullptr) {
        cqp::setError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return cqp::createWindowDcLocked(s, window);
}

WIN32API int WINAPI ReleaseDC(HWND window, HDC dc) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(dc, Kind::Dc);
    if (d == nullptr || d->memory || d->paintDc || d->window != window) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return 0;
    }
    cqp::freeDcLocked(s, dc);
    return 1;
}

WIN32API BOOL cqpReadWindowPixels(HWND window, DWORD* pixels, int width, int height) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::windowOrErrorLocked(s, window);
    if (w == nullptr) return FALSE;
    if (pixels == nullptr || width != w->width || height != w->height) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int ox = 0;
    int oy = 0;
    RECT clip{};
    cqp::Window* top = cqp::topLevelOf(s, w, ox, oy, clip);
    if (top == nullptr) {
        cqp::setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // What lies outside the top-level surface reads as black.
    // Row by row: the part of each row inside the surface is one copy (a renderer reads
    // every frame of a video this way).
    const cqp::Surface& surface = *top->surface;
    const int first = std::clamp(-ox, 0, width);
    const int last = std::clamp(surface.width - ox, first, width);
    for (int y = 0; y < height; ++y) {
        DWORD* row = pixels + static_cast<std::size_t>(y) * width;
        const int sy = y + oy;
        if (sy < 0 || sy >= surface.height) {
            std::fill(row, row + width, DWORD{0});
            continue;
        }
        const auto* source = surface.pixels.data() + static_cast<std::size_t>(sy) * surface.width;
        std::fill(row, row + first, DWORD{0});
        std::copy(source + first + ox, source + last + ox, row + first);
        std::fill(row + last, row + width, DWORD{0});
    }
    return TRUE;
}

WIN32API BOOL cqpWindowDrawCount(HWND window, unsigned long long* count) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::windowOrErrorLocked(s, window);
    if (w == nullptr) return FALSE;
    int ox = 0;
    int oy = 0;
    RECT clip{};
    cqp::Window* top = cqp::topLevelOf(s, w, ox, oy, clip);
    if (top == nullptr || count == nullptr) {
        cqp::setError(top == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *count = top->surface->drawCount;
    return TRUE;
}

WIN32API BOOL cqpTakeDirtyRect(HWND window, RECT* area) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::findWindowLocked(s, window);
    if (w == nullptr || area == nullptr || !w->surface) {
        cqp::setError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *area = w->surface->dirty;
    w->surface->dirty = RECT{0, 0, 0, 0};
    return TRUE;
}
