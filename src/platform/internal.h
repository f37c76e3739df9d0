// Internal state of the Linux platform library: the handle table, the objects behind the
// handles and the one lock that guards them.
//
// Threads: every entry point takes the library lock (State::mutex) for the time it touches the
// table and releases it before calling back into user code (window procedures, timer
// procedures), so a window procedure may call any entry point. GDI objects may be used from
// any thread; windows, their timers and their message queues belong to the creating thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"

namespace cqp {

struct Presenter;  // x11_presenter.h

enum class Kind : std::uint8_t { Pen, Brush, Font, Bitmap, Dc, Window, Cursor };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;  // stock objects live for the whole process and ignore DeleteObject
};

struct Pen : Object {
    Pen() : Object(Kind::Pen) {}
    LOGPEN log{};
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    LOGBRUSH log{};
};

struct Font : Object {
    Font() : Object(Kind::Font) {}
    LOGFONTA log{};
};

// Pixels are 0x00RRGGBB, top row first (the layout of a 32-bit top-down DIB).
struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    HDC selectedInto = nullptr;  // a bitmap is selected into at most one memory DC
};

struct Dc : Object {
    Dc() : Object(Kind::Dc) {}
    bool memory = true;     // memory DC (draws into `bitmap`) or window DC (draws into `window`)
    HWND window = nullptr;  // window DC only
    bool paintDc = false;   // made by BeginPaint: also clipped to `paintClip`
    RECT paintClip{};       // window client coordinates
    HBITMAP bitmap = nullptr;
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    COLORREF textColor = 0x000000;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    POINT position{0, 0};
};

// The pixels of one top-level window, shared by all its descendants. `dirty` collects what
// was drawn since a presenter last copied it out (bounding rectangle, empty when nothing).
struct Surface {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    RECT dirty{0, 0, 0, 0};
    // Drawing calls that changed pixels of it since it was made; never goes back.
    std::uint64_t drawCount = 0;
};

struct WindowClass {
    std::string name;  // as registered; looked up without regard to case
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int wndExtra = 0;
    HINSTANCE instance = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    bool system = false;  // built in ("Button"); cannot be unregistered
    int windowCount = 0;
};

struct Window : Object {
    Window() : Object(Kind::Window) {}
    std::shared_ptr<WindowClass> cls;
    std::string name;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND self = nullptr;
    HWND parent = nullptr;       // WS_CHILD: the parent; otherwise the owner, if any
    std::vector<HWND> children;  // creation order; the last is on top
    int x = 0;  // in the parent's client coordinates (screen coordinates for top-level)
    int y = 0;
    int width = 0;
    int height = 0;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    HINSTANCE instance = nullptr;
    std::vector<std::uint8_t> extra;
    std::thread::id owner;
    bool visible = false;
    bool destroying = false;
    bool hasUpdate = false;
    bool eraseNeeded = false;
    RECT update{};  // bounding rectangle of the update region, client coordinates
    std::unique_ptr<Surface> surface;  // top-level windows only
    // Owner-drawn button state.
    bool buttonPushed = false;
    // A WS_CHILD window whose parent is a foreign X11 window (a Linux host's editor window):
    // to the library it is a top-level window with its own surface; `parent` is null and
    // `foreignParent` holds the X window id. `presenter` shows it there (null off screen).
    HWND foreignParent = nullptr;
    Presenter* presenter = nullptr;
};

// True when the window's parent is one of the library's windows (it draws into that parent's
// surface), false for top-level windows and children of foreign windows.
inline bool hasLibraryParent(const Window& w) {
    return (w.style & WS_CHILD) != 0 && w.foreignParent == nullptr;
}

struct Cursor : Object {
    Cursor() : Object(Kind::Cursor) {}
    int id = 0;
};

// Table of live objects. A handle encodes a slot index and the slot's generation, so a handle
// whose object was deleted (and whose slot may since hold another object) is recognised as
// stale. Freed slots are reused in first-in first-out order to spread generations.
class HandleTable {
  public:
    void* add(std::unique_ptr<Object> object);
    Object* find(const void* handle) const;
    template <class T>
    T* find(const void* handle, Kind kind) const {
        Object* object = find(handle);
        return object != nullptr && object->kind == kind ? static_cast<T*>(object) : nullptr;
    }
    std::unique_ptr<Object> remove(const void* handle);
    int liveCount() const;  // objects that are not stock
    template <class F>
    void forEach(F&& visit) const {
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i].object) visit(handleOf(i), slots_[i].object.get());
        }
    }

  private:
    struct Slot {
        std::uint16_t generation = 1;
        std::unique_ptr<Object> object;
    };
    void* handleOf(std::size_t index) const;
    bool decode(const void* handle, std::size_t& index) const;
    std::vector<Slot> slots_;
    std::deque<std::size_t> free_;
    int live_ = 0;
};

struct QueuedMessage {
    MSG msg;
};

struct Timer {
    HWND window = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    DWORD nextDue = 0;
    bool ready = false;  // one WM_TIMER pending at most, as the system does
    std::thread::id owner;
};

struct ThreadQueue {
    std::deque<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    HWND capture = nullptr;
    // The window under the pointer (null when it is outside the thread's windows), and the
    // one that asked, with TrackMouseEvent, for a WM_MOUSELEAVE when the pointer leaves it.
    HWND hover = nullptr;
    HWND leaveTracked = nullptr;
    std::condition_variable wake;
};

struct ClickTracker {
    HWND window = nullptr;
    DWORD time = 0;
    POINT point{0, 0};
    bool armed = false;  // the last press may start a double click
};

struct State {
    std::mutex mutex;
    HandleTable table;
    HGDIOBJ stock[20] = {};
    HBITMAP defaultBitmap = nullptr;  // the 1 x 1 bitmap a new memory DC holds
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;
    std::vector<Timer> timers;
    std::map<std::thread::id, std::shared_ptr<ThreadQueue>> queues;
    std::vector<HWND> windowOrder;  // creation order, for paint order
    UINT_PTR nextThreadTimerId = 0x7FF0;
    std::vector<std::pair<int, HCURSOR>> cursors;
    ClickTracker clicks;
    POINT cursorPos{0, 0};
    // Windows with a presenter; changed under the lock, read without it so that message
    // retrieval skips the presenters' service at once when there are none.
    std::atomic<int> presentedWindows{0};
};

// The process-wide state, created on first use and freed when the library is unloaded with
// nothing of it in use (kept otherwise: a host's threads may still call in while the process
// exits).
State& state();

// Sets the calling thread's last error.
void setError(DWORD error);

// Stock objects; require the lock.
void ensureStockLocked(State& s);
HGDIOBJ stockObjectLocked(State& s, int index);

// A drawing target: where a DC's pixels are, its origin and its clip (surface coordinates).
struct Target {
    std::uint32_t* pixels = nullptr;
    int stride = 0;
    int width = 0;
    int height = 0;
    int originX = 0;
    int originY = 0;
    RECT clip{0, 0, 0, 0};
    Surface* surface = nullptr;  // window DCs: receives the dirty area
};
bool resolveTargetLocked(State& s, Dc& dc, Target& target);
void markDirty(Target& target, const RECT& area);

// Text metrics of a font: the cell is cellHeight pixels tall and cellWidth wide per character.
struct FontMetrics {
    int cellHeight = 0;
    int cellWidth = 0;
    int scale = 1;  // pixels per glyph dot
};
FontMetrics fontMetrics(const LOGFONTA& log);
void drawText(Target& target, const Dc& dc, const LOGFONTA& log, int x, int y, const char* text,
              int length);

// Window helpers; require the lock.
Window* findWindowLocked(State& s, HWND window);
// The same, setting ERROR_INVALID_WINDOW_HANDLE when the handle names no live window.
Window* windowOrErrorLocked(State& s, HWND window);
// Adds a rectangle of the window (all of it for null) to its update area, clipped to it.
void invalidateLocked(Window& w, const RECT* rect, bool erase);
// True when the calling thread owns the window.
bool ownedByCaller(const Window& w);
Window* topLevelOf(State& s, Window* window, int& offsetX, int& offsetY, RECT& clip);
HDC createWindowDcLocked(State& s, HWND window);
void freeDcLocked(State& s, HDC dc);

LRESULT callWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ensureSystemClassesLocked(State& s);
bool isDescendantOrSelfLocked(State& s, HWND window, HWND ancestor);
bool isShownLocked(State& s, Window* window);
LRESULT CALLBACK buttonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Colour conversions between COLORREF (0x00BBGGRR) and pixels (0x00RRGGBB).
inline std::uint32_t pixelOf(COLORREF c) {
    return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
inline COLORREF colorOf(std::uint32_t p) {
    return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

// A left-button press or release at a point of a top-level window's client area, delivered as
// Windows would: to the window under the point, or for a release to the window holding the
// capture. Called without the lock, on the window's thread. False when nothing received it.
bool deliverButton(HWND window, int x, int y, bool press);
// Pointer motion to a point of a top-level window's client area (outside it: the pointer left
// it), delivered as Windows would: WM_MOUSELEAVE posted to a window that tracks the leave and
// is no longer under the pointer, then WM_MOUSEMOVE sent to the window under the point (or to
// the capture). Called without the lock, on the window's thread. False when nothing received
// the motion.
bool deliverPointer(HWND window, int x, int y);
// The pointer left the top-level window and all its children: a tracked leave is posted.
void deliverPointerLeave(HWND window);

// Handles the X events of the calling thread's presented windows and sends what they drew to
// their X windows; called without the lock by the message retrieval calls. Returns whether
// the thread has presented windows (so a waiting GetMessageA polls them).
bool servicePresenters();

// The current tick count (manual or monotonic).
DWORD tickNow();
// The manual clock's state (kernel.cpp): whether it is in use, switching it on at startMs or
// off, and moving it on. They change only the time; whoever moves it wakes the queues.
bool manualClockOn();
void switchClock(bool manual, DWORD startMs);
void moveManualClock(DWORD milliseconds);
// Wakes threads waiting in GetMessageA (after the manual clock moved).
void wakeAllQueuesLocked(State& s);

}  // namespace cqp
