// Host-side extension of the Linux platform library: what a host program or a test needs
// beyond the Win32 names, to give the editor a parent window, to drive time deterministically
// and to read back what was drawn. Not available on Windows, where a host uses the real API.
#pragma once

#include "win32.h"

#if !defined(_WIN32)

// Creates a top-level window with its own surface, to act as a host's parent window.
// Destroy it with DestroyWindow. Returns null on failure.
WIN32API HWND cqpCreateHostWindow(int width, int height);

// Switches the tick clock (GetTickCount, timers, Sleep) between the monotonic system clock and
// a manual clock that starts at startMs and moves only by cqpAdvanceClock and Sleep.
WIN32API void cqpSetManualClock(BOOL enabled, DWORD startMs);

// Moves the manual clock forward. Has no effect while the system clock is in use.
WIN32API void cqpAdvanceClock(DWORD milliseconds);

// Copies what the window shows (its area of its top-level window's surface) as rows of
// 0x00RRGGBB pixels, top row first. width and height must be the window's size.
WIN32API BOOL cqpReadWindowPixels(HWND window, DWORD* pixels, int width, int height);

// Dispatches every message that is pending now (posted messages, due timers, paints) for the
// window and its descendants, or for all windows of the thread when window is null.
// Returns the number of messages dispatched.
WIN32API int cqpPumpMessages(HWND window);

// A left-button press and release at the given point of the window's client area, delivered
// as the mouse messages Windows would send to the window under that point.
WIN32API BOOL cqpClick(HWND window, int x, int y);

// The pointer moves to (x, y) of the window's client area and rests there, delivered as the
// messages Windows sends: WM_MOUSEMOVE to the window under that point, WM_MOUSELEAVE posted
// to a window that tracks its leave (TrackMouseEvent) and is no longer under the pointer. A
// point outside the window moves the pointer out of it. cqpPointerLeave: the pointer leaves
// the window and its children. FALSE for a window of another thread or no window.
WIN32API BOOL cqpMovePointer(HWND window, int x, int y);
WIN32API BOOL cqpPointerLeave(HWND window);

// Milliseconds of the tick clock until the calling thread's next timer is due (0 when one is
// due now), or -1 when the thread has no timer: a host on the manual clock moves the clock
// to that moment, so that a timer sees exactly the audio up to its time.
WIN32API long long cqpNextTimerWait(void);

// Gives the number of drawing calls that have changed what the window's top-level window
// shows since it was made: a host that reads pixels often reads them again only when it
// moved. Always rising; FALSE for a handle that is not a window.
WIN32API BOOL cqpWindowDrawCount(HWND window, unsigned long long* count);

// Gives the bounding rectangle of what was drawn into a top-level window's surface since the
// last call (empty when nothing), and clears it; for a presenter that copies changes out.
WIN32API BOOL cqpTakeDirtyRect(HWND window, RECT* area);

// The window that the library shows inside a foreign X11 window (a child created with that X
// window id as its parent), or null. The first one when there are several.
WIN32API HWND cqpFindForeignChild(unsigned long xWindow);

// The X11 window id of the library's X child window that shows `window` (a child of a foreign
// X11 parent), or 0 when it is not on screen (no display, or the server destroyed it).
WIN32API unsigned long cqpPresentedXWindow(HWND window);
// The file descriptor of the X connection that shows `window` (as cqpPresentedXWindow), or -1
// when there is none. A host loop may poll it: when it is readable, running the window's
// messages (PeekMessage) reads the X events at once instead of at the next timer.
WIN32API int cqpPresentedXConnection(HWND window);

// A top-level X11 window on the default display (DISPLAY), with its own connection, to act
// as a host's editor window: give its id, cast to a pointer, to the editor-open opcode.
// cqpCreateX11HostWindow opens the connection and makes the window, not yet shown; it returns
// the X window id, or 0 without a reachable display. cqpX11HostWindowDpi is the X server's
// Xft.dpi (as cqpXftDpi, 0 without the resource) read on the window's own connection: a host
// sizes the window from it and then cqpShowX11HostWindow gives it that fixed size and maps it
// (FALSE when the server refused). Reading it there rather than through cqpXftDpi keeps one
// connection open from the start: a server with no other client resets when its last
// connection closes, and may refuse the next one meanwhile. cqpServiceX11HostWindow handles
// its events without waiting and returns FALSE once the user closed it or the display went
// away; cqpCloseX11HostWindow destroys it (after the editor was closed). Any thread, one at a
// time per window.
WIN32API unsigned long cqpCreateX11HostWindow(const char* title);
WIN32API int cqpX11HostWindowDpi(unsigned long window);
WIN32API BOOL cqpShowX11HostWindow(unsigned long window, int width, int height);
WIN32API BOOL cqpServiceX11HostWindow(unsigned long window);
WIN32API void cqpCloseX11HostWindow(unsigned long window);

// The X server's Xft.dpi resource on the default display (DISPLAY), as `xrdb -query` shows
// it, rounded to whole dots per inch: the screen resolution a Linux desktop asks programs to
// draw for. 0 without a display or without the resource. Opens and closes a connection of its
// own each call; any thread.
WIN32API int cqpXftDpi(void);
// For hosts of ours that draw off screen (render): from now on cqpXftDpi answers `dpi` for
// every editor of this module, whatever the X server says, so that pictures do not depend on
// the desktop they are made on; 0 hands the question back to the X server. Any thread.
WIN32API void cqpSetScreenDpi(int dpi);

// How many OleInitialize calls of the calling thread are not yet matched by OleUninitialize.
WIN32API int cqpOleInitCount(void);

// The number of live objects of the library (windows, device contexts, GDI objects), for
// leak checks.
WIN32API int cqpLiveObjectCount(void);

#endif
