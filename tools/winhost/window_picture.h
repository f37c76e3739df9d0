// Reading what a window shows, for the capture commands (every plug-in format alike): its client
// area through GDI, a display's refresh and where its Hold text stands on this system, a click on
// the display's Hold button, and binary PPM files (P6, 8-bit RGB, top row first: simple to write
// without a library and read on the Linux side). User-interface thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace winhost {

using Pixels = std::vector<unsigned char>;  // RGB, top row first

// Reads the window's client area through GDI: a block copy from its device context into a
// 32-bit top-down DIB section. Throws HostError when GDI cannot read it.
Pixels grabClientArea(HWND window, int width, int height);

// Runs the host's message loop (`idle` as its idle call) until the display window's refresh
// timer has fired and been handled, then paints the display and prints where its Hold text
// stands ("hold text cell: X Y WIDTH HEIGHT") for the comparisons. Throws HostError after
// timeoutMs without a refresh.
void awaitRefresh(HWND display, DWORD timeoutMs, const std::function<void()>& idle);

// Checks up front, before any audio is played, that a picture can be written to `path`.
// Throws HostError when it cannot.
void checkWritable(const std::string& path);

// Clicks the display's Hold button through the button's own mouse messages, runs the host's
// message loop (`idle` as its idle call) until the editor has handled the click, and writes the
// parent's client area (`width` x `height`), now frozen, to `path` as PPM. Throws HostError
// when the display has no button, after timeoutMs without the click handled, or when the
// picture cannot be read or written.
void clickHoldAndWrite(HWND parent, HWND display, int width, int height, const std::string& path,
                       DWORD timeoutMs, const std::function<void()>& idle);

// Moves the real pointer (the cursor, as the mouse moves it) to (x, y) of the display window,
// runs the host's message loop until the display has handled the motion, and writes the
// parent's client area to `path`; then moves it off the parent window, runs the loop until
// the display has heard of the leave, and writes the picture again to `leftPath`. Throws
// HostError after timeoutMs without either message, or when a picture cannot be written.
void pointerOverAndAway(HWND parent, HWND display, int x, int y, int width, int height,
                        const std::string& path, const std::string& leftPath, DWORD timeoutMs,
                        const std::function<void()>& idle);

// Writes a binary PPM through a temporary file, so that a failure leaves no partial picture.
// Throws HostError when it cannot.
void writePpm(const std::string& path, const Pixels& pixels, int width, int height);

}  // namespace winhost
