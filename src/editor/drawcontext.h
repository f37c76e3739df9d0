// A device context with cached drawing state (pen, brush, font and their colours) for a view
// frame, and the reference-counted base it shares with the drawing layer's objects.
//
// Thread: user-interface thread only. The reference count is a plain integer.
#pragma once

#include <cstdint>

#include "editor/view_frame.h"
#include "platform/win32.h"

namespace VSTGUI {

class CReferenceCounter {
  public:
    CReferenceCounter() = default;
    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;
    virtual ~CReferenceCounter() = default;

    // Drops one reference; the last one deletes the object, which must then live on the heap.
    virtual void forget();
    // Adds one reference.
    virtual void remember();

    std::int32_t getNbReference() const { return nbReference; }

  protected:
    std::int32_t nbReference = 1;
};

enum CLineStyle : std::int32_t { kLineSolid = 0, kLineOnOffDash = 1 };
enum CDrawMode : std::int32_t { kCopyMode = 0, kOrMode = 1, kXorMode = 2 };
enum CTxtFace : std::int32_t {
    kNormalFace = 0,
    kBoldFace = 1,
    kItalicFace = 2,
    kUnderlineFace = 4
};

// The standard fonts, by identifier.
enum CFont : std::int32_t {
    kSystemFont = 0,
    kNormalFontVeryBig,
    kNormalFontBig,
    kNormalFont,
    kNormalFontSmall,
    kNormalFontSmaller,
    kNormalFontVerySmall,
    kSymbolFont,
    kNumStandardFonts
};

class CDrawContext : public CReferenceCounter {
  public:
    // Either argument may be null. Without a device context but with a window, the context
    // takes the window's device context and gives it back when destroyed.
    CDrawContext(CFrame* frame, HDC deviceContext, HWND window);
    ~CDrawContext() override;

    void setFrameColor(CColor color);
    void setLineStyle(CLineStyle style);
    void setLineWidth(int width);
    void setFillColor(CColor color);
    void setFont(CFont fontId, int size = 0, int style = 0);
    void setFontColor(CColor color);
    void setDrawMode(CDrawMode mode);

    CColor getFrameColor() const { return frameColor; }
    CColor getFillColor() const { return fillColor; }
    CColor getFontColor() const { return fontColor; }
    CLineStyle getLineStyle() const { return lineStyle; }
    int getLineWidth() const { return lineWidth; }
    CDrawMode getDrawMode() const { return drawMode; }
    CFont getFont() const { return fontId; }
    int getFontSize() const { return fontSize; }
    CRect getClipRect() const { return clipRect; }
    // Left and top of the window's screen rectangle (0, 0 without a window).
    CPoint getWindowOrigin() const { return {windowOriginX, windowOriginY}; }
    HDC getSystemContext() const { return deviceContext; }
    HWND getWindow() const { return window; }
    CFrame* getFrame() const { return frame; }
    CPoint getOffset() const { return {offsetX, offsetY}; }
    CPoint getPenPosition() const { return {penX, penY}; }
    bool ownsDeviceContext() const { return ownedDeviceContext != nullptr; }

  private:
    void replacePen();

    int windowOriginX = 0;
    int windowOriginY = 0;
    int offsetX = 0;
    int offsetY = 0;
    HDC deviceContext = nullptr;
    HWND window = nullptr;
    CFrame* frame = nullptr;
    int fontSize = -1;
    int fontStyle = 0;
    CFont fontId = kNumStandardFonts;
    CColor fontColor{};
    int penX = 0;
    int penY = 0;
    int lineWidth = 0;
    CColor frameColor{};
    CColor fillColor{};
    CLineStyle lineStyle = kLineOnOffDash;
    CDrawMode drawMode = static_cast<CDrawMode>(3);
    CRect clipRect{};
    HBRUSH createdBrush = nullptr;
    HPEN createdPen = nullptr;
    HFONT createdFont = nullptr;
    HGDIOBJ savedBrush = nullptr;
    HGDIOBJ savedPen = nullptr;
    HGDIOBJ savedFont = nullptr;
    int penStyle = PS_SOLID;
    HDC ownedDeviceContext = nullptr;
};

}  // namespace VSTGUI
