#include "window_picture.h"

#include <cstdio>

#include "common/host_error.h"
#include "display/display_geometry.h"
#include "host_window.h"

namespace winhost {

using cqhost::HostError;

namespace {

// The middle of the Hold button, in the button's own coordinates.
constexpr int kHoldClickX = display::kHoldClickX - display::kHoldX;
constexpr int kHoldClickY = display::kHoldClickY - display::kHoldY;
// Posted to the parent after the click, so the loop knows the click has been handled.
constexpr UINT kClickDoneMessage = WM_APP + 1;

// Where the Hold image's text stands on this system, in display coordinates: the opaque cell
// of "Hold" in the ANSI fixed font at 18 pixels, as the display draws it inside the Hold
// image. Its glyphs and size depend on the fonts installed, so comparisons with
// another platform leave this cell out.
RECT holdTextCell(HWND window) {
    LOGFONTA font{};
    GetObjectA(GetStockObject(ANSI_FIXED_FONT), sizeof font, &font);
    font.lfHeight = -18;
    font.lfWidth = 0;
    font.lfWeight = FW_NORMAL;
    HFONT holdFont = CreateFontIndirectA(&font);
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    HGDIOBJ previous = SelectObject(memoryDc, holdFont);
    SIZE extent{};
    GetTextExtentPoint32A(memoryDc, "Hold", 4, &extent);
    SelectObject(memoryDc, previous);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    DeleteObject(holdFont);
    constexpr int kTextLeft = display::kHoldX + display::kHoldTextX;
    constexpr int kTextTop = display::kHoldY + display::kHoldTextY;
    return RECT{kTextLeft, kTextTop, kTextLeft + extent.cx, kTextTop + extent.cy};
}

}  // namespace

Pixels grabClientArea(HWND window, int width, int height) {
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    Pixels pixels;
    if (bitmap != nullptr && bits != nullptr) {
        HGDIOBJ previous = SelectObject(memoryDc, bitmap);
        copied = BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        if (copied) {
            const auto* bgrx = static_cast<const unsigned char*>(bits);
            pixels.resize(static_cast<size_t>(width) * height * 3);
            for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
                pixels[i * 3 + 0] = bgrx[i * 4 + 2];
                pixels[i * 3 + 1] = bgrx[i * 4 + 1];
                pixels[i * 3 + 2] = bgrx[i * 4 + 0];
            }
        }
        SelectObject(memoryDc, previous);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    if (!copied) throw HostError("cannot read the editor's pixels through GDI");
    return pixels;
}

void checkWritable(const std::string& path) {
    const std::string probe = path + ".part";
    FILE* file = std::fopen(probe.c_str(), "wb");
    if (file == nullptr) throw HostError("cannot write " + path);
    std::fclose(file);
    DeleteFileA(probe.c_str());
}

void writePpm(const std::string& path, const Pixels& pixels, int width, int height) {
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) throw HostError("cannot write " + path);
    std::fprintf(file, "P6\n%d %d\n255\n", width, height);
    const bool written = std::fwrite(pixels.data(), 1, pixels.size(), file) == pixels.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed ||
        !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temporary.c_str());
        throw HostError("cannot write " + path);
    }
}

void awaitRefresh(HWND display, DWORD timeoutMs, const std::function<void()>& idle) {
    runMessageLoop(timeoutMs, "the display's refresh timer", idle,
                   [display](const MSG& m) { return m.message == WM_TIMER && m.hwnd == display; });
    UpdateWindow(display);
    const RECT cell = holdTextCell(display);
    std::printf("hold text cell: %ld %ld %ld %ld\n", static_cast<long>(cell.left),
                static_cast<long>(cell.top), static_cast<long>(cell.right - cell.left),
                static_cast<long>(cell.bottom - cell.top));
}

void pointerOverAndAway(HWND parent, HWND display, int x, int y, int width, int height,
                        const std::string& path, const std::string& leftPath, DWORD timeoutMs,
                        const std::function<void()>& idle) {
    POINT over{x, y};
    ClientToScreen(display, &over);
    if (!SetCursorPos(over.x, over.y)) throw HostError("cannot move the pointer over the editor");
    runMessageLoop(timeoutMs, "the pointer's motion over the display", idle,
                   [display, x, y](const MSG& m) {
                       return m.message == WM_MOUSEMOVE && m.hwnd == display &&
                              static_cast<short>(LOWORD(m.lParam)) == x &&
                              static_cast<short>(HIWORD(m.lParam)) == y;
                   });
    UpdateWindow(display);
    writePpm(path, grabClientArea(parent, width, height), width, height);
    std::printf("wrote %s\n", path.c_str());

    // Back off the window, where the parent window put it.
    RECT frame{};
    GetWindowRect(parent, &frame);
    if (!SetCursorPos(frame.right + 20, frame.bottom + 20))
        throw HostError("cannot move the pointer away from the editor");
    runMessageLoop(timeoutMs, "the pointer's leave of the display", idle, [display](const MSG& m) {
        return m.message == WM_MOUSELEAVE && m.hwnd == display;
    });
    UpdateWindow(display);
    writePpm(leftPath, grabClientArea(parent, width, height), width, height);
    std::printf("wrote %s\n", leftPath.c_str());
}

void clickHoldAndWrite(HWND parent, HWND display, int width, int height, const std::string& path,
                       DWORD timeoutMs, const std::function<void()>& idle) {
    HWND button = FindWindowExA(display, nullptr, "Button", nullptr);
    if (button == nullptr) throw HostError("the editor has no button to click");
    // A real click as the button sees one: press and release inside it, then a marker that
    // arrives once both have been handled.
    const LPARAM point = MAKELPARAM(kHoldClickX, kHoldClickY);
    PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(button, WM_LBUTTONUP, 0, point);
    PostMessageA(parent, kClickDoneMessage, 0, 0);
    runMessageLoop(timeoutMs, "the Hold click", idle,
                   [](const MSG& m) { return m.message == kClickDoneMessage; });
    UpdateWindow(display);
    writePpm(path, grabClientArea(parent, width, height), width, height);
    std::printf("wrote %s\n", path.c_str());
}

}  // namespace winhost
