#include "editor/drawcontext.h"

#include <cstring>

namespace VSTGUI {

namespace {

struct StandardFont {
    const char* face;
    int size;
};

constexpr StandardFont kStandardFonts[kNumStandardFonts] = {
    {"Arial", 12}, {"Arial", 18}, {"Arial", 14}, {"Arial", 12},
    {"Arial", 11}, {"Arial", 10}, {"Arial", 9},  {"Symbol", 13},
};

// The GDI mix mode of each of our draw modes (copy, merge, exclusive or).
constexpr int kMixModes[] = {R2_COPYPEN, R2_MERGEPEN, R2_XORPEN};

COLORREF toColorRef(CColor color) {
    return static_cast<COLORREF>(color.red) | (static_cast<COLORREF>(color.green) << 8) |
           (static_cast<COLORREF>(color.blue) << 16);
}

}  // namespace

void CReferenceCounter::forget() {
    if (--nbReference == 0) delete this;
}

void CReferenceCounter::remember() {
    ++nbReference;
}

CDrawContext::CDrawContext(CFrame* frame, HDC deviceContext, HWND window)
    : deviceContext(deviceContext), window(window), frame(frame) {
    if (frame) {
        frame->getSize(&clipRect);
    } else {
        clipRect = {0, 0, 1000, 1000};
    }
    if (!this->deviceContext && window) {
        this->deviceContext = GetDC(window);
        ownedDeviceContext = this->deviceContext;
    }
    if (this->deviceContext) {
        savedBrush = GetCurrentObject(this->deviceContext, OBJ_BRUSH);
        savedPen = GetCurrentObject(this->deviceContext, OBJ_PEN);
        savedFont = GetCurrentObject(this->deviceContext, OBJ_FONT);
        SetBkMode(this->deviceContext, TRANSPARENT);
    }
    if (window) {
        RECT screen{};
        if (GetWindowRect(window, &screen)) {
            windowOriginX = screen.left;
            windowOriginY = screen.top;
        }
    }
    setFrameColor({255, 255, 255, 255});
    setLineStyle(kLineSolid);
    setLineWidth(1);
    setFillColor({0, 0, 0, 255});
    fontColor = {255, 255, 255, 255};
    if (this->deviceContext) SetTextColor(this->deviceContext, 0xFFFFFF);
    setFont(kSystemFont);
    setDrawMode(kCopyMode);
}

CDrawContext::~CDrawContext() {
    if (deviceContext) {
        if (savedBrush) SelectObject(deviceContext, savedBrush);
        if (savedPen) SelectObject(deviceContext, savedPen);
        if (savedFont) SelectObject(deviceContext, savedFont);
    }
    if (createdBrush) DeleteObject(createdBrush);
    if (createdPen) DeleteObject(createdPen);
    if (createdFont) DeleteObject(createdFont);
    if (ownedDeviceContext) ReleaseDC(window, ownedDeviceContext);
}

void CDrawContext::replacePen() {
    LOGPEN description{};
    description.lopnStyle = static_cast<UINT>(penStyle);
    description.lopnWidth.x = lineWidth;
    description.lopnColor = toColorRef(frameColor);
    HPEN pen = CreatePenIndirect(&description);
    if (!pen) return;
    if (deviceContext) SelectObject(deviceContext, pen);
    if (createdPen) DeleteObject(createdPen);
    createdPen = pen;
}

void CDrawContext::setFrameColor(CColor color) {
    if (color == frameColor) return;
    frameColor = color;
    replacePen();
}

void CDrawContext::setLineStyle(CLineStyle style) {
    if (style == lineStyle) return;
    lineStyle = style;
    penStyle = style == kLineSolid ? PS_SOLID : PS_DOT;
    replacePen();
}

void CDrawContext::setLineWidth(int width) {
    if (width == lineWidth) return;
    lineWidth = width;
    replacePen();
}

void CDrawContext::setFillColor(CColor color) {
    if (color == fillColor) return;
    fillColor = color;
    if (deviceContext) SetBkColor(deviceContext, toColorRef(color));
    LOGBRUSH description{};
    description.lbStyle = BS_SOLID;
    description.lbColor = toColorRef(color);
    description.lbHatch = 0;
    HBRUSH brush = CreateBrushIndirect(&description);
    if (!brush) {
        // Keep drawing with the previous brush.
        return;
    }
    if (deviceContext) SelectObject(deviceContext, brush);
    if (createdBrush) DeleteObject(createdBrush);
    createdBrush = brush;
}

void CDrawContext::setFont(CFont id, int size, int style) {
    if (id < 0 || id >= kNumStandardFonts) return;
    if (size <= 0) size = kStandardFonts[id].size;
    if (id == fontId && size == fontSize && style == fontStyle) return;
    fontId = id;
    fontSize = size;
    fontStyle = style;

    LOGFONTA description{};
    description.lfHeight = -size;
    description.lfWeight = FW_BOLD;
    description.lfItalic = (style & kItalicFace) ? 1 : 0;
    description.lfUnderline = (style & kUnderlineFace) ? 1 : 0;
    description.lfOutPrecision = OUT_STRING_PRECIS;
    description.lfClipPrecision = CLIP_STROKE_PRECIS;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    std::strncpy(description.lfFaceName, kStandardFonts[id].face, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectA(&description);
    if (!font) return;
    if (deviceContext) SelectObject(deviceContext, font);
    if (createdFont) DeleteObject(createdFont);
    createdFont = font;
}

void CDrawContext::setFontColor(CColor color) {
    if (color == fontColor) return;
    fontColor = color;
    if (deviceContext) SetTextColor(deviceContext, toColorRef(color));
}

void CDrawContext::setDrawMode(CDrawMode mode) {
    if (mode == drawMode || mode < kCopyMode || mode > kXorMode) return;
    drawMode = mode;
    if (deviceContext) SetROP2(deviceContext, kMixModes[mode]);
}

}  // namespace VSTGUI
