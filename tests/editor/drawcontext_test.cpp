// The drawing context: what it takes from and gives back to a device context, and its
// cached state; the reference counter.
#include "editor/drawcontext.h"

#include <gtest/gtest.h>

#include "editor_test_support.h"

using namespace VSTGUI;

namespace {

class SizedFrame : public CFrame {
  public:
    void idle() override {}
    VstInt32 onKeyDown(VstKeyCode&) override { return 0; }
    VstInt32 onKeyUp(VstKeyCode&) override { return 0; }
    bool onWheel(CDrawContext*, const CPoint&, float) override { return false; }
    void getSize(CRect* size) const override { *size = {0, 0, 640, 480}; }
};

class CountedObject : public CReferenceCounter {
  public:
    explicit CountedObject(int& destroyed) : destroyed(destroyed) {}
    ~CountedObject() override { ++destroyed; }
    int& destroyed;
};

}  // namespace

TEST(DrawContext, TakesTheWindowsDeviceContextAndGivesItBack) {
    HWND window = cqpCreateHostWindow(100, 80);
    ASSERT_NE(window, nullptr);
    const int before = cqpLiveObjectCount();
    {
        CDrawContext context(nullptr, nullptr, window);
        EXPECT_TRUE(context.ownsDeviceContext());
        EXPECT_NE(context.getSystemContext(), nullptr);
        EXPECT_EQ(context.getLineWidth(), 1);
        EXPECT_EQ(context.getLineStyle(), kLineSolid);
        EXPECT_EQ(context.getDrawMode(), kCopyMode);
        EXPECT_EQ(context.getFont(), kSystemFont);
        EXPECT_EQ(context.getFontSize(), 12);
        EXPECT_EQ(context.getFrameColor(), (CColor{255, 255, 255, 255}));
        EXPECT_EQ(context.getFillColor(), (CColor{0, 0, 0, 255}));
        EXPECT_EQ(context.getClipRect().right, 1000);
        EXPECT_GT(cqpLiveObjectCount(), before);
    }
    EXPECT_EQ(cqpLiveObjectCount(), before);
    DestroyWindow(window);
}

TEST(DrawContext, LeavesACallersDeviceContextAsItFoundIt) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
    HGDIOBJ brush = GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
    const int before = cqpLiveObjectCount();
    SizedFrame frame;
    {
        CDrawContext context(&frame, dc, nullptr);
        EXPECT_FALSE(context.ownsDeviceContext());
        EXPECT_EQ(context.getClipRect().right, 640);
        EXPECT_EQ(context.getClipRect().bottom, 480);
        EXPECT_NE(GetCurrentObject(dc, OBJ_PEN), pen);
        EXPECT_NE(GetCurrentObject(dc, OBJ_BRUSH), brush);
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(cqpLiveObjectCount(), before) << "created objects deleted, caller's DC kept";
    EXPECT_TRUE(DeleteDC(dc));
}

TEST(DrawContext, SettingTheCachedValueCreatesNothing) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    {
        CDrawContext context(nullptr, dc, nullptr);
        HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
        HGDIOBJ brush = GetCurrentObject(dc, OBJ_BRUSH);
        context.setFrameColor({255, 255, 255, 255});
        context.setLineWidth(1);
        context.setLineStyle(kLineSolid);
        context.setFillColor({0, 0, 0, 255});
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);

        const int before = cqpLiveObjectCount();
        context.setFrameColor({255, 0, 0, 255});
        context.setFillColor({0, 0, 255, 255});
        EXPECT_NE(GetCurrentObject(dc, OBJ_PEN), pen);
        EXPECT_NE(GetCurrentObject(dc, OBJ_BRUSH), brush);
        EXPECT_EQ(cqpLiveObjectCount(), before) << "each replaced object is deleted";
    }
    DeleteDC(dc);
}

TEST(ReferenceCounter, LastForgetDestroys) {
    int destroyed = 0;
    auto* object = new CountedObject(destroyed);
    object->remember();
    EXPECT_EQ(object->getNbReference(), 2);
    object->forget();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(object->getNbReference(), 1);
    object->forget();
    EXPECT_EQ(destroyed, 1);
}
