// The X11 presenter: shows a window whose parent is a foreign X11 window (what a Linux host
// passes to its plug-in's editor) inside that window.
//
// A presenter has its own X connection (XOpenDisplay(NULL)) and one X child window of the
// foreign parent. It never takes the library lock and is used only by the thread that owns its
// window; the glue (present.cpp) copies the window's surface into it under the lock and calls
// it without the lock. X errors on its connection are caught and counted, never fatal; a lost
// connection makes it inert. This header is free of X11 types, so the rest of the library never
// sees X's macros.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace cqp {

struct Presenter;

// What the X server told the presenter, in the window's client coordinates.
struct PresenterEvent {
    // Moved: the pointer is at (x, y) over the window; Left: it left the window.
    enum class Type { Exposed, Pressed, Released, Moved, Left } type = Type::Exposed;
    int x = 0;
    int y = 0;
    int width = 0;   // Exposed only
    int height = 0;  // Exposed only
};

// Opens a connection and an X child window of `parent` at (x, y) with the given size, mapped
// when `visible`. Null when there is no display, or the parent is not a window of it.
Presenter* openPresenter(std::uint32_t parent, int x, int y, int width, int height, bool visible);

// Destroys the X window (unless the server already did, with its parent) and closes the
// connection. Null is ignored.
void closePresenter(Presenter* presenter);

// Takes the next pending event without waiting; false when there is none. Events the window
// does not need (its own configuration, mouse buttons other than the left one, pointer
// crossings caused by grabs) are skipped, and a run of pointer motions gives only the last.
bool nextPresenterEvent(Presenter* presenter, PresenterEvent& event);

// The presenter's copy of the window's pixels (0x00RRGGBB, width x height, top row first), to
// be filled before presentArea. Null once the connection is lost.
std::uint32_t* presenterPixels(Presenter* presenter);

// Sends an area of the pixels (with whatever an earlier call could not send yet) to the X
// window and flushes, without waiting for the server. While the server still reads a
// shared-memory copy, the area waits for a later call; an empty area sends only what waits.
void presentArea(Presenter* presenter, const RECT& area);

// Shows or hides the X window.
void showPresenter(Presenter* presenter, bool visible);

// The X window's id (0 when there is none), for tests and diagnostics.
std::uint32_t presenterWindow(const Presenter* presenter);

// The file descriptor of the presenter's X connection, or -1 once the connection is lost (or
// for null). Readable when the server has sent something: a host loop that polls it knows
// when to service the window (nextPresenterEvent still reads the events).
int presenterConnection(const Presenter* presenter);

// A top-level X11 window of its own connection, to act as a host's editor window (the
// watching and listening hosts use it). createHostXWindow opens the connection and makes the
// window, not yet shown, and gives its id, 0 without a display; hostXWindowDpi is the X
// server's Xft.dpi as that connection read it (0 without the resource), so that the host sizes
// the window from it on the one connection it keeps; showHostXWindow gives the window its
// fixed size and maps it, false when the server refused; serviceHostXWindow handles its events
// without waiting and turns false once the user closed it or the connection broke;
// closeHostXWindow destroys it. Any thread, one at a time per window.
std::uint32_t createHostXWindow(const char* title);
int hostXWindowDpi(std::uint32_t window);
bool showHostXWindow(std::uint32_t window, int width, int height);
bool serviceHostXWindow(std::uint32_t window);
void closeHostXWindow(std::uint32_t window);

// The X server's Xft.dpi resource on the default display (DISPLAY), read through a short
// connection of its own; 0 without a display or without the resource. Any thread. A server
// with no other client resets when that connection closes: a program that is about to open a
// window of its own reads it there instead (hostXWindowDpi).
int screenDpi();

// The value of the Xft.dpi line in a resource manager string ("Xft.dpi:\t192\n..."), rounded
// to a whole number; 0 when there is none, or it is not a positive number below 10000.
int dpiOfResources(const char* resources);

}  // namespace cqp
