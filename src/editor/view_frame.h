// The view frame that an editor built on AEffGUIEditor may own, and the small value types of
// the drawing layer. cqscope's own editor has no frame; these exist so that a derived editor
// with one gets its idle, keys and wheel.
//
// Thread: every operation is called on the user-interface thread.
#pragma once

#include "frame/host_interface.h"

namespace VSTGUI {

class CDrawContext;

// A colour as four bytes: red, green, blue, alpha (255 is opaque).
struct CColor {
    unsigned char red = 0;
    unsigned char green = 0;
    unsigned char blue = 0;
    unsigned char alpha = 0;

    friend bool operator==(const CColor&, const CColor&) = default;
};

// A point in pixels: h to the right, v downward.
struct CPoint {
    int h = 0;
    int v = 0;
};

// A rectangle in pixels; right and bottom are exclusive.
struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class CFrame {
  public:
    virtual ~CFrame() = default;

    virtual void idle() = 0;
    // Each returns 1 when the frame used the key.
    virtual VstInt32 onKeyDown(VstKeyCode& key) = 0;
    virtual VstInt32 onKeyUp(VstKeyCode& key) = 0;
    // where is relative to the editor's window; distance is in wheel notches.
    virtual bool onWheel(CDrawContext* context, const CPoint& where, float distance) = 0;
    // The frame's size, which a drawing context takes as its clip rectangle.
    virtual void getSize(CRect* size) const = 0;
};

}  // namespace VSTGUI
