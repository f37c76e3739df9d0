#include "display/display_resources.h"

namespace {

// The label and Hold fonts are the stock fixed font at another height.
constexpr LONG kLabelFontHeight = -9;
constexpr LONG kHoldFontHeight = -18;

template <typename Handle>
void deleteObject(Handle& handle) {
    if (handle) DeleteObject(handle);
    handle = nullptr;
}

void deleteDc(HDC& dc) {
    if (dc) DeleteDC(dc);
    dc = nullptr;
}

// A compatible object made with a device context of the window taken for this one creation.
HBITMAP compatibleBitmap(HWND window, int width, int height) {
    HDC windowDc = GetDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, width, height);
    ReleaseDC(window, windowDc);
    return bitmap;
}

HDC compatibleDc(HWND window) {
    HDC windowDc = GetDC(window);
    HDC dc = CreateCompatibleDC(windowDc);
    ReleaseDC(window, windowDc);
    return dc;
}

}  // namespace

void createDrawingTools(DisplayResources& resources) {
    resources.whitePen = CreatePen(PS_SOLID, 1, display::kWhite);
    resources.greyPen = CreatePen(PS_SOLID, 1, display::kGrey);
    resources.greenPen = CreatePen(PS_SOLID, 1, display::kGreen);
    resources.cursorPen = CreatePen(PS_SOLID, 1, display::kCursorYellow);
    resources.noteBrush = CreateSolidBrush(display::kNoteBlue);

    LOGFONTA font{};
    GetObjectA(GetStockObject(ANSI_FIXED_FONT), sizeof(font), &font);
    font.lfHeight = kLabelFontHeight;
    font.lfWidth = 0;
    font.lfWeight = FW_NORMAL;
    resources.labelFont = CreateFontIndirectA(&font);
    font.lfHeight = kHoldFontHeight;
    resources.holdFont = CreateFontIndirectA(&font);
}

void releaseDrawingTools(DisplayResources& resources) {
    deleteObject(resources.whitePen);
    deleteObject(resources.greyPen);
    deleteObject(resources.greenPen);
    deleteObject(resources.cursorPen);
    deleteObject(resources.noteBrush);
    deleteObject(resources.labelFont);
    deleteObject(resources.holdFont);
}

void createBackBuffer(DisplayResources& resources, HWND window) {
    resources.backBitmap = compatibleBitmap(window, display::kWidth, display::kHeight);
    resources.backDc = compatibleDc(window);
    SelectObject(resources.backDc, resources.backBitmap);
    SelectObject(resources.backDc, resources.labelFont);
    SetBkColor(resources.backDc, 0);
}

void createHoldImages(DisplayResources& resources, HWND window) {
    resources.holdImageActive = compatibleBitmap(window, display::kHoldWidth, display::kHoldHeight);
    resources.holdImageIdle = compatibleBitmap(window, display::kHoldWidth, display::kHoldHeight);
    resources.holdDc = compatibleDc(window);
}

void releaseBuffers(DisplayResources& resources) {
    deleteDc(resources.backDc);
    deleteObject(resources.backBitmap);
    deleteDc(resources.holdDc);
    deleteObject(resources.holdImageActive);
    deleteObject(resources.holdImageIdle);
}
