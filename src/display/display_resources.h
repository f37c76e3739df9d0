// The drawing objects of one display: pens, brush and fonts (made on the editor's first open,
// released when the editor is destroyed), the back buffer and the two Hold images
// (made on every open, released on every close), the Hold button's previous window procedure
// and the hold flag.
//
// Each editor owns one set, so two editors open at once never draw into or release each
// other's objects.
//
// Thread: user-interface thread only.
#pragma once

#include "display/display_geometry.h"
#include "platform/win32.h"

struct DisplayResources {
    HPEN whitePen = nullptr;
    HPEN greyPen = nullptr;
    HPEN greenPen = nullptr;
    HPEN cursorPen = nullptr;  // the pointer readout's cursor line
    HBRUSH noteBrush = nullptr;
    HFONT labelFont = nullptr;  // the stock fixed font at 9 pixels
    HFONT holdFont = nullptr;   // the same at 18 pixels

    HBITMAP backBitmap = nullptr;
    HDC backDc = nullptr;  // holds backBitmap: the back buffer
    HDC holdDc = nullptr;  // holds one of the Hold images at a time
    HBITMAP holdImageActive = nullptr;
    HBITMAP holdImageIdle = nullptr;

    WNDPROC buttonDefaultProc = nullptr;
    bool holdActive = false;
};

// Pens, brush and fonts.
void createDrawingTools(DisplayResources& resources);
void releaseDrawingTools(DisplayResources& resources);

// The back buffer, compatible with the window's device context; the label font and a black
// text background are selected into it. The spectrum view draws into it.
void createBackBuffer(DisplayResources& resources, HWND window);
// The two Hold images and their device context, still to be drawn (drawHoldImages).
void createHoldImages(DisplayResources& resources, HWND window);
// Deletes the back buffer and the Hold images, each device context before its bitmap.
void releaseBuffers(DisplayResources& resources);
