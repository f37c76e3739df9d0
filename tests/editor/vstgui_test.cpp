// The display window: construction, open and close, the refresh rule on the timer, the Hold
// toggle, idle on Linux, and several editors at once.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "editor_test_support.h"

using namespace editortest;

namespace {

bool anyBar(const Picture& picture) {
    for (int x = 0; x < display::kWidth; ++x) {
        if (picture.at(x, display::kBarBaseRow) == kGreen) return true;
    }
    return false;
}

}  // namespace

TEST(VstGuiLifecycle, OpenMakesTheWindowAndCloseDestroysIt) {
    OpenEditor editor(/*openNow=*/false);
    EXPECT_TRUE(editor.gui().open(editor.hostWindow()));
    HWND display = editor.display();
    HWND button = editor.gui().getHoldButton();
    ASSERT_TRUE(IsWindow(display));
    ASSERT_TRUE(IsWindow(button));
    EXPECT_EQ(GetParent(display), editor.hostWindow());
    EXPECT_EQ(GetParent(button), display);
    RECT area{};
    GetClientRect(display, &area);
    EXPECT_EQ(area.right - area.left, display::kWidth);
    EXPECT_EQ(area.bottom - area.top, display::kHeight);
    EXPECT_TRUE(editor.gui().isOpen());

    editor.gui().close();
    EXPECT_FALSE(IsWindow(display));
    EXPECT_FALSE(IsWindow(button));
    EXPECT_FALSE(editor.gui().isOpen());
    editor.gui().close();  // a second close does nothing
}

TEST(VstGuiLifecycle, OpenCloseCyclesLeakNothing) {
    const int baseline = cqpLiveObjectCount();
    {
        OpenEditor editor(/*openNow=*/false);
        editor.gui().open(editor.hostWindow());
        editor.gui().close();
        const int afterFirst = cqpLiveObjectCount();
        for (int cycle = 0; cycle < 20; ++cycle) {
            editor.gui().open(editor.hostWindow());
            editor.source.span = 1.0f;
            editor.refresh();
            editor.gui().close();
            ASSERT_EQ(cqpLiveObjectCount(), afterFirst) << "cycle " << cycle;
        }
        // Opening an open editor replaces its window instead of leaking one.
        editor.gui().open(editor.hostWindow());
        const int open = cqpLiveObjectCount();
        editor.gui().open(editor.hostWindow());
        EXPECT_EQ(cqpLiveObjectCount(), open);
    }
    // Pens, brush, fonts, windows and buffers all go with the editor, even one left open.
    EXPECT_EQ(cqpLiveObjectCount(), baseline);
}

TEST(VstGuiLifecycle, DeletingTheEffectWithTheEditorOpenRemovesTheDisplay) {
    OpenEditor editor;
    HWND display = editor.display();
    ASSERT_TRUE(IsWindow(display));
    editor.effect.reset();
    EXPECT_FALSE(IsWindow(display));
    EXPECT_TRUE(IsWindow(editor.hostWindow()));
    cqpAdvanceClock(1000);
    cqpPumpMessages(nullptr);  // no timer of the gone editor fires
}

TEST(VstGuiLifecycle, HostDestroyingItsWindowBeforeCloseIsHarmless) {
    OpenEditor editor(/*openNow=*/false);
    editor.gui().open(editor.hostWindow());
    editor.gui().close();
    const int baseline = cqpLiveObjectCount();

    HWND host = cqpCreateHostWindow(display::kWidth, display::kHeight);
    editor.gui().open(host);
    editor.source.span = 1.0f;
    DestroyWindow(host);
    cqpAdvanceClock(500);
    cqpPumpMessages(nullptr);
    EXPECT_EQ(editor.source.transforms, 0) << "no timer outlives the window";
    editor.gui().idle();
    editor.gui().close();
    EXPECT_EQ(cqpLiveObjectCount(), baseline);

    // Windows made after that may carry the old handles; they belong to whoever made them.
    host = cqpCreateHostWindow(display::kWidth, display::kHeight);
    editor.gui().open(host);
    editor.source.setColumn(5, 1.0);
    DestroyWindow(host);
    OpenEditor other;
    EXPECT_EQ(other.refresh().at(5, 0), kBlack);
    editor.gui().close();
    ASSERT_TRUE(IsWindow(other.display()));
    EXPECT_EQ(other.refresh().at(5, 0), kBlack);
}

LRESULT CALLBACK otherDisplayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// The editor's own module (for code linked into this program: its main module) already has a
// "DrawWnd" class with another procedure: the editor refuses to open rather than make windows
// that would run that procedure, and opens once the name is free again.
TEST(VstGuiLifecycle, OpenRefusesAClassOfItsNameWithAnotherProcedure) {
    WNDCLASSEXA other{};
    other.cbSize = sizeof other;
    other.lpfnWndProc = otherDisplayProc;
    other.hInstance = GetModuleHandleA(nullptr);
    other.lpszClassName = VstGui::kWindowClass;
    ASSERT_NE(RegisterClassExA(&other), 0) << "an editor of an earlier test kept the class";
    {
        OpenEditor refused(/*openNow=*/false);
        const int before = cqpLiveObjectCount();
        EXPECT_FALSE(refused.gui().open(refused.hostWindow()));
        EXPECT_EQ(refused.display(), nullptr);
        EXPECT_EQ(cqpLiveObjectCount(), before) << "no window, buffer or tool was made";
        refused.advance(500);
    }
    // The editor left the other class alone when it went.
    WNDCLASSEXA found{};
    found.cbSize = sizeof found;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), VstGui::kWindowClass, &found));
    EXPECT_EQ(found.lpfnWndProc, otherDisplayProc);
    ASSERT_TRUE(UnregisterClassA(VstGui::kWindowClass, GetModuleHandleA(nullptr)));

    OpenEditor accepted(/*openNow=*/false);
    EXPECT_TRUE(accepted.gui().open(accepted.hostWindow()));
}

TEST(VstGuiRefresh, ThresholdIsExactlyFiveThousandthsInSinglePrecision) {
    OpenEditor editor;
    editor.source.setColumn(5, 1.0);

    editor.source.span = 0.005f;
    EXPECT_TRUE(anyBar(editor.refresh()));
    EXPECT_EQ(editor.source.transforms, 1);

    editor.source.span = std::nextafter(0.005f, 0.0f);
    EXPECT_FALSE(anyBar(editor.refresh())) << "below the threshold the view has no bars";
    EXPECT_EQ(editor.source.transforms, 1);

    editor.source.span = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(anyBar(editor.refresh()));
    EXPECT_EQ(editor.source.transforms, 1);

    editor.source.span = std::numeric_limits<float>::infinity();
    editor.refresh();
    EXPECT_EQ(editor.source.transforms, 2);
}

#if !defined(_WIN32)
TEST(VstGuiRefresh, IdleDispatchesTheDisplaysMessages) {
    OpenEditor editor;
    editor.source.span = 1.0f;
    editor.source.setColumn(5, 1.0);
    cqpAdvanceClock(100);
    editor.gui().idle();  // the host's editor-idle opcode: the only message pump on Linux
    EXPECT_EQ(editor.source.transforms, 1);
    Picture picture;
    picture.pixels.resize(display::kWidth * display::kHeight);
    ASSERT_TRUE(cqpReadWindowPixels(editor.display(), picture.pixels.data(), display::kWidth,
                                    display::kHeight));
    EXPECT_EQ(picture.at(5, 0), kGreen) << "painted within the same idle";
    editor.gui().idle();
    EXPECT_EQ(editor.source.transforms, 1) << "nothing more was due";
}
#endif

TEST(VstGuiHold, ClickFreezesAndSecondClickResumes) {
    OpenEditor editor;
    editor.source.span = 1.0f;
    editor.advance(100);
    ASSERT_EQ(editor.source.transforms, 1);

    // Bars drawn on the toggle come from the magnitudes as they stand, without a transform.
    editor.source.setColumn(5, 1.0);
    editor.source.notes[60] = 1;
    ASSERT_TRUE(cqpClick(editor.gui().getHoldButton(), 10, 10));
    EXPECT_TRUE(editor.gui().isHoldActive());
    Picture held = editor.capture();
    EXPECT_EQ(held.at(5, 0), kGreen);
    EXPECT_EQ(held.at(357, 100), kNoteBlue);
    EXPECT_EQ(held.at(display::kHoldX, display::kHoldY), kWhite);
    EXPECT_EQ(editor.source.transforms, 1);

    // Frozen: no tick, no change, whatever the source does.
    editor.source.notes[60] = 0;
    editor.source.setColumn(5, 0.0);
    editor.advance(1000);
    EXPECT_EQ(editor.source.transforms, 1);
    EXPECT_EQ(editor.capture().pixels, held.pixels);

    // Resumed: the grey image at once, the next recomputation 100 ms later.
    cqpAdvanceClock(30);
    ASSERT_TRUE(cqpClick(editor.gui().getHoldButton(), 10, 10));
    EXPECT_FALSE(editor.gui().isHoldActive());
    const Picture resumed = editor.capture();
    EXPECT_EQ(resumed.at(display::kHoldX, display::kHoldY), kGrey);
    EXPECT_EQ(resumed.at(357, 100), kBlack);
    EXPECT_EQ(editor.source.transforms, 1);
    editor.advance(99);
    EXPECT_EQ(editor.source.transforms, 1);
    editor.advance(1);
    EXPECT_EQ(editor.source.transforms, 2);
}

TEST(VstGuiHold, OnlyTheClickedNotificationOfTheHoldButtonToggles) {
    OpenEditor editor;
    HWND button = editor.gui().getHoldButton();
    const auto fromButton = reinterpret_cast<LPARAM>(button);
    SendMessageA(editor.display(), WM_COMMAND, MAKEWPARAM(1000, BN_DOUBLECLICKED), fromButton);
    EXPECT_FALSE(editor.gui().isHoldActive());
    SendMessageA(editor.display(), WM_COMMAND, MAKEWPARAM(999, BN_CLICKED), fromButton);
    EXPECT_FALSE(editor.gui().isHoldActive());
    SendMessageA(editor.display(), WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), fromButton);
    EXPECT_TRUE(editor.gui().isHoldActive());

    // A quick double click toggles once: its second press is a double-click notification.
    ASSERT_TRUE(cqpClick(button, 10, 10));
    ASSERT_TRUE(cqpClick(button, 10, 10));
    EXPECT_FALSE(editor.gui().isHoldActive());
}

TEST(VstGuiHold, ReopeningAfterCloseWhileHeldStartsLive) {
    OpenEditor editor;
    editor.source.span = 1.0f;
    ASSERT_TRUE(cqpClick(editor.gui().getHoldButton(), 10, 10));
    ASSERT_TRUE(editor.gui().isHoldActive());
    editor.gui().close();
    editor.gui().open(editor.hostWindow());
    EXPECT_FALSE(editor.gui().isHoldActive());
    editor.advance(100);
    EXPECT_EQ(editor.source.transforms, 1) << "the timer runs again";
    EXPECT_EQ(editor.capture().at(display::kHoldX, display::kHoldY), kGrey);
}

TEST(VstGuiSeveralEditors, TwoOpenEditorsDrawIndependently) {
    OpenEditor first;
    OpenEditor second;
    first.source.span = 1.0f;
    first.source.setColumn(5, 1.0);
    second.source.span = 1.0f;
    second.source.notes[60] = 1;

    Picture a = first.refresh();
    Picture b = second.refresh();
    EXPECT_EQ(a.at(5, 0), kGreen);
    EXPECT_EQ(a.at(357, 100), kBlack);
    EXPECT_EQ(b.at(5, 0), kBlack);
    EXPECT_EQ(b.at(357, 100), kNoteBlue);

    // Holding one leaves the other live.
    ASSERT_TRUE(cqpClick(first.gui().getHoldButton(), 10, 10));
    EXPECT_TRUE(first.gui().isHoldActive());
    EXPECT_FALSE(second.gui().isHoldActive());
    EXPECT_EQ(second.capture().at(display::kHoldX, display::kHoldY), kGrey);

    // Closing one never takes what the other draws with.
    first.gui().close();
    second.source.setColumn(15, 1.0);
    b = second.refresh();
    EXPECT_EQ(b.at(15, 0), kGreen);
    EXPECT_EQ(b.at(357, 100), kNoteBlue);
    EXPECT_EQ(b.at(0, 250), kWhite);
    EXPECT_EQ(b.at(20, 250), kGrey);

    // Nor does deleting it; a new editor still finds its window class.
    first.effect.reset();
    b = second.refresh();
    EXPECT_EQ(b.at(15, 0), kGreen);
    second.gui().close();
    EXPECT_TRUE(second.gui().open(second.hostWindow()));
    ASSERT_NE(second.display(), nullptr);
    EXPECT_EQ(second.refresh().at(15, 0), kGreen);
}
