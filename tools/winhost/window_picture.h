// Reading what a window shows, for the capture commands: its client area through GDI, where
// the Hold text stands on this system, and binary PPM files (P6, 8-bit RGB, top row first:
// simple to write without a library and read on the Linux side). User-interface thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winhost {

using Pixels = std::vector<unsigned char>;  // RGB, top row first

// Reads the window's client area through GDI: a block copy from its device context into a
// 32-bit top-down DIB section. Throws HostError when GDI cannot read it.
Pixels grabClientArea(HWND window, int width, int height);

// Where the Hold image's text stands on this system, in display coordinates: the opaque cell
// of "Hold" in the ANSI fixed font at 18 pixels, as the display draws it inside the Hold
// image. Its glyphs and size depend on the fonts installed, so comparisons with
// another platform leave this cell out; printed for them.
RECT holdTextCell(HWND window);

// Writes a binary PPM through a temporary file, so that a failure leaves no partial picture.
// Throws HostError when it cannot.
void writePpm(const std::string& path, const Pixels& pixels, int width, int height);

}  // namespace winhost
