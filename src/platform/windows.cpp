// USER windows: classes, creation and destruction, geometry, the mouse capture. Window values
// and the default procedure are window_values.cpp; invalidation, painting and window DCs are
// painting.cpp. Windows belong to the thread that creates them; the calls that
// change a window's procedure, destroy it or set its timers must come from that thread.
// Window procedures are always called without the library lock held.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/cqscope_platform.h"
#include "platform/internal.h"
#include "platform/x11_presenter.h"

namespace cqp {

namespace {

constexpr std::uintptr_t kMainModuleValue = 0x00400000;

HINSTANCE normaliseInstance(HINSTANCE instance) {
    return instance != nullptr ? instance
                               : reinterpret_cast<HINSTANCE>(kMainModuleValue);  // the main module
}

// An X11 window id (29 bits, never one of our handles, which carry the top bit): the parent a
// Linux host gives its plug-in's editor.
bool isForeignWindowId(HWND parent) {
    const auto value = reinterpret_cast<std::uintptr_t>(parent);
    return value != 0 && value <= 0x1FFFFFFFu;
}

bool isAtom(LPCSTR name) {
    return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

bool namesClass(const WindowClass& cls, LPCSTR name) {
    return isAtom(name) ? cls.atom == reinterpret_cast<std::uintptr_t>(name)
                        : strcasecmp(cls.name.c_str(), name) == 0;
}

// Classes belong to the module that registered them, as on Windows: two modules may each
// register a class of the same name, and each creates its windows with its own. A module's
// own class of a name comes first, then the built-in class of that name.
std::shared_ptr<WindowClass> findClassLocked(State& s, LPCSTR name, HINSTANCE instance) {
    if (name == nullptr) return nullptr;
    const HINSTANCE module = normaliseInstance(instance);
    std::shared_ptr<WindowClass> builtIn;
    for (auto& cls : s.classes) {
        if (!namesClass(*cls, name)) continue;
        if (!cls->system && cls->instance == module) return cls;
        if (cls->system && !builtIn) builtIn = cls;
    }
    return builtIn;
}

// Pre-order list of a window and its descendants.
void collectTree(State& s, HWND window, std::vector<HWND>& out) {
    Window* w = findWindowLocked(s, window);
    if (w == nullptr) return;
    out.push_back(window);
    for (HWND child : w->children) collectTree(s, child, out);
}

// Frees a window and whatever descendants it still has, without messages.
void freeWindowLocked(State& s, HWND window) {
    Window* w = findWindowLocked(s, window);
    if (w == nullptr) return;
    const std::vector<HWND> children = w->children;
    for (HWND child : children) freeWindowLocked(s, child);
    // Timers, queued messages, DCs and capture go with the window.
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                  [&](const Timer& t) { return t.window == window; }),
                   s.timers.end());
    for (auto& entry : s.queues) {
        auto& posted = entry.second->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                                    [&](const MSG& m) { return m.hwnd == window; }),
                     posted.end());
        if (entry.second->capture == window) entry.second->capture = nullptr;
        if (entry.second->hover == window) entry.second->hover = nullptr;
        if (entry.second->leaveTracked == window) entry.second->leaveTracked = nullptr;
    }
    std::vector<void*> dcs;
    s.table.forEach([&](void* handle, Object* o) {
        if (o->kind == Kind::Dc && static_cast<Dc*>(o)->window == window) dcs.push_back(handle);
    });
    for (void* dc : dcs) freeDcLocked(s, static_cast<HDC>(dc));
    if (Window* parent = findWindowLocked(s, w->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    s.windowOrder.erase(std::remove(s.windowOrder.begin(), s.windowOrder.end(), window),
                        s.windowOrder.end());
    if (s.clicks.window == window) s.clicks = ClickTracker{};
    if (w->cls) --w->cls->windowCount;
    const std::thread::id owner = w->owner;
    s.table.remove(window);
    // A thread left without windows, timers or messages gives its queue up, so a later thread
    // that happens to get the same id starts with an empty one.
    auto queue = s.queues.find(owner);
    if (queue == s.queues.end() || queue->second.use_count() > 1 ||
        !queue->second->posted.empty() || queue->second->quitPosted) {
        return;
    }
    bool inUse = std::any_of(s.timers.begin(), s.timers.end(),
                             [&](const Timer& t) { return t.owner == owner; });
    s.table.forEach([&](void*, Object* o) {
        if (o->kind == Kind::Window && static_cast<Window*>(o)->owner == owner) inUse = true;
    });
    if (!inUse) s.queues.erase(queue);
}

}  // namespace

void invalidateLocked(Window& w, const RECT* rect, bool erase) {
    RECT area{0, 0, w.width, w.height};
    if (rect != nullptr) {
        area = RECT{std::max<LONG>(rect->left, 0), std::max<LONG>(rect->top, 0),
                    std::min<LONG>(rect->right, w.width), std::min<LONG>(rect->bottom, w.height)};
    }
    if (area.right <= area.left || area.bottom <= area.top) return;
    if (w.hasUpdate) {
        w.update =
            RECT{std::min(w.update.left, area.left), std::min(w.update.top, area.top),
                 std::max(w.update.right, area.right), std::max(w.update.bottom, area.bottom)};
    } else {
        w.update = area;
        w.hasUpdate = true;
    }
    if (erase) w.eraseNeeded = true;
}

bool ownedByCaller(const Window& w) {
    return w.owner == std::this_thread::get_id();
}

// Calls a window's current procedure without the lock; 0 for a window that is gone.
LRESULT callWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        Window* w = findWindowLocked(s, window);
        if (w == nullptr) {
            setError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        proc = w->proc;
    }
    return proc != nullptr ? proc(window, message, wParam, lParam) : 0;
}

void ensureSystemClassesLocked(State& s) {
    if (findClassLocked(s, "Button", nullptr) != nullptr) return;
    auto button = std::make_shared<WindowClass>();
    button->name = "Button";
    button->atom = s.nextAtom++;
    button->style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    button->proc = buttonWindowProc;
    button->system = true;
    s.classes.push_back(button);
    auto host = std::make_shared<WindowClass>();
    host->name = "CqscopeHostWindow";
    host->atom = s.nextAtom++;
    host->proc = DefWindowProcA;
    host->system = true;
    s.classes.push_back(host);
}

bool isDescendantOrSelfLocked(State& s, HWND window, HWND ancestor) {
    for (int depth = 0; window != nullptr && depth < 1000; ++depth) {
        if (window == ancestor) return true;
        Window* w = findWindowLocked(s, window);
        if (w == nullptr || !hasLibraryParent(*w)) return false;
        window = w->parent;
    }
    return false;
}

bool isShownLocked(State& s, Window* w) {
    while (w != nullptr) {
        if (!w->visible) return false;
        if (!hasLibraryParent(*w)) return true;
        w = findWindowLocked(s, w->parent);
    }
    return false;
}

}  // namespace cqp

WIN32API ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
    if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpszClassName == nullptr ||
        cqp::isAtom(wc->lpszClassName) || wc->lpszClassName[0] == '\0' ||
        wc->lpfnWndProc == nullptr || wc->cbWndExtra < 0 || wc->cbWndExtra > 4096) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::ensureSystemClassesLocked(s);
    if (cqp::findClassLocked(s, wc->lpszClassName, wc->hInstance) != nullptr) {
        cqp::setError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    if (s.nextAtom == 0xFFFF) {
        cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    auto cls = std::make_shared<cqp::WindowClass>();
    cls->name = wc->lpszClassName;
    cls->atom = s.nextAtom++;
    cls->style = wc->style;
    cls->proc = wc->lpfnWndProc;
    cls->wndExtra = wc->cbWndExtra;
    cls->instance = cqp::normaliseInstance(wc->hInstance);
    cls->cursor = wc->hCursor;
    cls->background = wc->hbrBackground;
    s.classes.push_back(cls);
    return cls->atom;
}

WIN32API BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto cls = cqp::findClassLocked(s, className, instance);
    if (cls == nullptr) {
        cqp::setError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (cls->system) {
        cqp::setError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (cls->windowCount > 0) {
        cqp::setError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    s.classes.erase(std::remove(s.classes.begin(), s.classes.end(), cls), s.classes.end());
    return TRUE;
}

WIN32API BOOL WINAPI GetClassInfoExA(HINSTANCE instance, LPCSTR className, WNDCLASSEXA* info) {
    if (info == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::ensureSystemClassesLocked(s);
    auto cls = cqp::findClassLocked(s, className, instance);
    if (cls == nullptr) {
        cqp::setError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    // As on Windows, cbSize is the caller's to set and is left as it is.
    info->style = cls->style;
    info->lpfnWndProc = cls->proc;
    info->cbClsExtra = 0;
    info->cbWndExtra = cls->wndExtra;
    info->hInstance = cls->system ? nullptr : cls->instance;
    info->hIcon = nullptr;
    info->hCursor = cls->cursor;
    info->hbrBackground = cls->background;
    info->lpszMenuName = nullptr;
    info->lpszClassName = className;
    info->hIconSm = nullptr;
    return cls->atom;
}

WIN32API HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
    const auto id = reinterpret_cast<std::uintptr_t>(cursorName);
    // Only the system cursors (IDC_ARROW and its neighbours) exist; there are no resources.
    if (instance != nullptr || id < 32512 || id > 32651) {
        cqp::setError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto& entry : s.cursors) {
        if (entry.first == static_cast<int>(id)) return entry.second;
    }
    auto cursor = std::make_unique<cqp::Cursor>();
    cursor->stock = true;
    cursor->id = static_cast<int>(id);
    auto handle = static_cast<HCURSOR>(s.table.add(std::move(cursor)));
    if (handle != nullptr) s.cursors.emplace_back(static_cast<int>(id), handle);
    return handle;
}

WIN32API HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName,
                                     DWORD style, int x, int y, int width, int height, HWND parent,
                                     HMENU menu, HINSTANCE instance, LPVOID param) {
    HWND handle = nullptr;
    bool foreign = false;  // a child of a foreign X11 window
    {
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        cqp::ensureSystemClassesLocked(s);
        cqp::ensureStockLocked(s);
        auto cls = cqp::findClassLocked(s, className, instance);
        if (cls == nullptr) {
            cqp::setError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        const bool child = (style & WS_CHILD) != 0;
        if (child && parent == nullptr) {
            cqp::setError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        foreign = child && cqp::isForeignWindowId(parent);
        if (parent != nullptr && !foreign && cqp::findWindowLocked(s, parent) == nullptr) {
            cqp::setError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) {
            width = child ? 0 : 640;
            height = child ? 0 : 480;
        }
        width = std::clamp(width, 0, 32767);
        height = std::clamp(height, 0, 32767);
        auto w = std::make_unique<cqp::Window>();
        w->cls = cls;
        w->name = windowName != nullptr ? windowName : "";
        w->proc = cls->proc;
        w->style = style;
        w->exStyle = exStyle;
        w->parent = foreign ? nullptr : parent;
        w->foreignParent = foreign ? parent : nullptr;
        w->x = x;
        w->y = y;
        w->width = width;
        w->height = height;
        w->id = child ? reinterpret_cast<LONG_PTR>(menu) : 0;
        w->instance = cqp::normaliseInstance(instance);
        w->extra.assign(static_cast<std::size_t>(cls->wndExtra), 0);
        w->owner = std::this_thread::get_id();
        if (!child || foreign) {
            // A top-level window owns the surface its descendants draw into.
            w->surface = std::make_unique<cqp::Surface>();
            w->surface->width = width;
            w->surface->height = height;
            try {
                w->surface->pixels.assign(static_cast<std::size_t>(width) * height, 0);
            } catch (const std::bad_alloc&) {
                cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
        }
        cqp::Window* raw = w.get();
        handle = static_cast<HWND>(s.table.add(std::move(w)));
        if (handle == nullptr) {
            cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        raw->self = handle;
        ++cls->windowCount;
        if (child && !foreign) cqp::findWindowLocked(s, parent)->children.push_back(handle);
        s.windowOrder.push_back(handle);
        s.queues.try_emplace(raw->owner, std::make_shared<cqp::ThreadQueue>());
    }
    CREATESTRUCTA create{};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cy = height;
    create.cx = width;
    create.y = y;
    create.x = x;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    const auto createParam = reinterpret_cast<LPARAM>(&create);
    if (cqp::callWindow(handle, WM_NCCREATE, 0, createParam) == 0 ||
        cqp::callWindow(handle, WM_CREATE, 0, createParam) == -1) {
        if (IsWindow(handle)) DestroyWindow(handle);
        cqp::setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    cqp::callWindow(handle, WM_SIZE, 0, MAKELPARAM(width, height));
    cqp::callWindow(handle, WM_MOVE, 0, MAKELPARAM(x, y));
    if ((style & WS_VISIBLE) != 0 && IsWindow(handle)) {
        cqp::callWindow(handle, WM_SHOWWINDOW, TRUE, 0);
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (cqp::Window* w = cqp::findWindowLocked(s, handle)) {
            w->visible = true;
            cqp::invalidateLocked(*w, nullptr, true);
        }
    }
    if (foreign && IsWindow(handle)) {
        // Shown inside the host's X window when there is a display; off screen otherwise.
        cqp::Presenter* presenter =
            cqp::openPresenter(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(parent)),
                               x, y, width, height, (style & WS_VISIBLE) != 0);
        cqp::State& s = cqp::state();
        std::unique_lock<std::mutex> lock(s.mutex);
        cqp::Window* w = cqp::findWindowLocked(s, handle);
        if (w != nullptr && w->presenter == nullptr) {
            w->presenter = presenter;
            if (presenter != nullptr) ++s.presentedWindows;
            // Everything goes out once, so the X window never shows stale content.
            w->surface->dirty = RECT{0, 0, w->surface->width, w->surface->height};
        } else {
            lock.unlock();
            cqp::closePresenter(presenter);
        }
    }
    return IsWindow(handle) ? handle : nullptr;
}

WIN32API BOOL WINAPI DestroyWindow(HWND window) {
    std::vector<HWND> tree;
    {
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        cqp::Window* w = cqp::windowOrErrorLocked(s, window);
        if (w == nullptr) return FALSE;
        if (!cqp::ownedByCaller(*w)) {
            cqp::setError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->destroying) return TRUE;  // already on its way (DestroyWindow from WM_DESTROY)
        cqp::collectTree(s, window, tree);
        for (HWND h : tree) cqp::findWindowLocked(s, h)->destroying = true;
    }
    // WM_DESTROY goes to the window first and then to its children; WM_NCDESTROY and the
    // release go children first.
    for (HWND h : tree) cqp::callWindow(h, WM_DESTROY, 0, 0);
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
        cqp::callWindow(*it, WM_NCDESTROY, 0, 0);
        cqp::Presenter* presenter = nullptr;
        {
            cqp::State& s = cqp::state();
            std::lock_guard<std::mutex> lock(s.mutex);
            if (cqp::Window* w = cqp::findWindowLocked(s, *it)) std::swap(presenter, w->presenter);
            if (presenter != nullptr) --s.presentedWindows;
            cqp::freeWindowLocked(s, *it);
        }
        // The X window and connection go with the window, outside the lock.
        cqp::closePresenter(presenter);
    }
    return TRUE;
}

WIN32API BOOL WINAPI IsWindow(HWND window) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return cqp::findWindowLocked(s, window) != nullptr ? TRUE : FALSE;
}

WIN32API HWND WINAPI GetParent(HWND window) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::windowOrErrorLocked(s, window);
    if (w == nullptr) return nullptr;
    return w->foreignParent != nullptr ? w->foreignParent : w->parent;
}

WIN32API BOOL WINAPI ShowWindow(HWND window, int command) {
    cqp::State& s = cqp::state();
    std::unique_lock<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::windowOrErrorLocked(s, window);
    if (w == nullptr) return FALSE;
    const bool wasVisible = w->visible;
    const bool show = command != SW_HIDE;
    w->visible = show;
    if (show) {
        w->style |= WS_VISIBLE;
        if (!wasVisible) cqp::invalidateLocked(*w, nullptr, true);
    } else {
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    if (w->presenter != nullptr && show != wasVisible && cqp::ownedByCaller(*w)) {
        cqp::Presenter* presenter = w->presenter;
        lock.unlock();  // the presenter is used on its own thread only, which this is
        cqp::showPresenter(presenter, show);
    }
    return wasVisible ? TRUE : FALSE;
}

WIN32API BOOL WINAPI UpdateWindow(HWND window) {
    bool paint = false;
    {
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        cqp::Window* w = cqp::windowOrErrorLocked(s, window);
        if (w == nullptr) return FALSE;
        paint = w->hasUpdate && cqp::isShownLocked(s, w);
    }
    if (paint) cqp::callWindow(window, WM_PAINT, 0, 0);
    return TRUE;
}

WIN32API BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::findWindowLocked(s, window);
    if (w == nullptr || rect == nullptr) {
        cqp::setError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Screen coordinates: the offsets of the window and its ancestors.
    LONG left = 0;
    LONG top = 0;
    for (cqp::Window* at = w; at != nullptr;) {
        left += at->x;
        top += at->y;
        at = cqp::hasLibraryParent(*at) ? cqp::findWindowLocked(s, at->parent) : nullptr;
    }
    *rect = RECT{left, top, left + w->width, top + w->height};
    return TRUE;
}

WIN32API BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::findWindowLocked(s, window);
    if (w == nullptr || rect == nullptr) {
        cqp::setError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *rect = RECT{0, 0, w->width, w->height};
    return TRUE;
}

WIN32API BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (point == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    *point = s.cursorPos;
    return TRUE;
}

WIN32API HWND WINAPI SetCapture(HWND window) {
    HWND previous = nullptr;
    {
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        cqp::Window* w = cqp::findWindowLocked(s, window);
        if (w == nullptr || !cqp::ownedByCaller(*w)) {
            cqp::setError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        auto& queue = s.queues[w->owner];
        if (!queue) queue = std::make_shared<cqp::ThreadQueue>();
        previous = queue->capture;
        queue->capture = window;
    }
    if (previous != nullptr && previous != window) {
        cqp::callWindow(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
    }
    return previous;
}

WIN32API BOOL WINAPI ReleaseCapture(void) {
    HWND previous = nullptr;
    {
        cqp::State& s = cqp::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.queues.find(std::this_thread::get_id());
        if (it != s.queues.end()) {
            previous = it->second->capture;
            it->second->capture = nullptr;
        }
    }
    if (previous != nullptr) cqp::callWindow(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

WIN32API HWND cqpCreateHostWindow(int width, int height) {
    if (width <= 0 || height <= 0) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateWindowExA(0, "CqscopeHostWindow", "cqscope host", WS_POPUP | WS_VISIBLE, 0, 0,
                           width, height, nullptr, nullptr, nullptr, nullptr);
}

WIN32API int cqpLiveObjectCount(void) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.table.liveCount();
}

WIN32API HWND cqpFindForeignChild(unsigned long xWindow) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (HWND h : s.windowOrder) {
        cqp::Window* w = cqp::findWindowLocked(s, h);
        if (w != nullptr && w->foreignParent != nullptr &&
            reinterpret_cast<std::uintptr_t>(w->foreignParent) == xWindow) {
            return h;
        }
    }
    return nullptr;
}

WIN32API unsigned long cqpPresentedXWindow(HWND window) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::findWindowLocked(s, window);
    return w != nullptr ? cqp::presenterWindow(w->presenter) : 0;
}

WIN32API int cqpPresentedXConnection(HWND window) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Window* w = cqp::findWindowLocked(s, window);
    return w != nullptr ? cqp::presenterConnection(w->presenter) : -1;
}
