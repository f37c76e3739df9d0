// The editor base: rectangle, knob mode, keys and wheel with and without a view frame, edit
// forwarding and the idle throttle on the manual clock.
#include <gtest/gtest.h>

#include "editor/aeffguieditor.h"
#include "editor/drawcontext.h"
#include "editor/view_frame.h"
#include "editor_test_support.h"

using namespace editortest;

namespace {

class RecordingFrame : public VSTGUI::CFrame {
  public:
    int idles = 0;
    VstInt32 keyAnswer = 0;
    bool wheelAnswer = false;
    int wheels = 0;
    float lastDistance = 0.0f;
    HDC contextDc = nullptr;
    HWND contextWindow = nullptr;
    VSTGUI::CRect size{0, 0, 300, 200};

    void idle() override { ++idles; }
    VstInt32 onKeyDown(VstKeyCode&) override { return keyAnswer; }
    VstInt32 onKeyUp(VstKeyCode&) override { return keyAnswer; }
    bool onWheel(VSTGUI::CDrawContext* context, const VSTGUI::CPoint&, float distance) override {
        ++wheels;
        lastDistance = distance;
        contextDc = context->getSystemContext();
        contextWindow = context->getWindow();
        return wheelAnswer;
    }
    void getSize(VSTGUI::CRect* out) const override { *out = size; }
};

// An editor with a frame, as a derived editor that has one would be.
class FramedEditor : public AEffGUIEditor {
  public:
    using AEffGUIEditor::AEffGUIEditor;
    int ownIdles = 0;
    void attach(VSTGUI::CFrame* newFrame) { frame = newFrame; }
    void idle() override {
        ++ownIdles;
        AEffGUIEditor::idle();
    }
    std::uint32_t next() const { return nextIdleTime; }
};

class EditorBase : public ::testing::Test {
  protected:
    void SetUp() override {
        hostLog() = HostLog{};
        cqpSetManualClock(TRUE, 1000);
        effect = std::make_unique<TestEffect>();
        editor = new FramedEditor(effect.get());  // the effect owns it
    }
    void TearDown() override {
        effect.reset();
        hostLog() = HostLog{};
        cqpSetManualClock(FALSE, 0);
    }
    std::unique_ptr<TestEffect> effect;
    FramedEditor* editor = nullptr;
};

}  // namespace

TEST_F(EditorBase, AttachesToTheEffectAndReportsItsRectangle) {
    EXPECT_EQ(effect->getEditor(), editor);
    EXPECT_EQ(effect->getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);
    ERect* rect = nullptr;
    EXPECT_TRUE(editor->getRect(&rect));
    ASSERT_NE(rect, nullptr);
    ERect* again = nullptr;
    editor->open(reinterpret_cast<void*>(0x1234));
    EXPECT_TRUE(editor->getRect(&again));
    EXPECT_EQ(again, rect) << "the same record, open or not";
    EXPECT_TRUE(editor->isOpen());
    editor->close();
    EXPECT_FALSE(editor->isOpen());

    AEffEditor plain(effect.get());
    rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_FALSE(plain.getRect(&rect));
    EXPECT_EQ(rect, nullptr);
}

TEST_F(EditorBase, KeysAreUsedOnlyWhenAFrameAnswersOne) {
    VstKeyCode key{'a', 0, 0};
    EXPECT_FALSE(editor->onKeyDown(key));
    EXPECT_FALSE(editor->onKeyUp(key));
    EXPECT_FALSE(editor->onWheel(1.0f));
    editor->idle();  // nothing to forward to

    RecordingFrame frame;
    editor->attach(&frame);
    frame.keyAnswer = 1;
    EXPECT_TRUE(editor->onKeyDown(key));
    EXPECT_TRUE(editor->onKeyUp(key));
    frame.keyAnswer = 2;
    EXPECT_FALSE(editor->onKeyDown(key));
    EXPECT_FALSE(editor->onKeyUp(key));
    editor->idle();
    EXPECT_EQ(frame.idles, 1);
    editor->attach(nullptr);
}

TEST_F(EditorBase, WheelReachesTheFrameThroughAContextOnTheParentWindow) {
    HWND host = cqpCreateHostWindow(200, 100);
    ASSERT_NE(host, nullptr);
    RecordingFrame frame;
    editor->attach(&frame);
    editor->open(host);
    const int before = cqpLiveObjectCount();
    frame.wheelAnswer = true;
    EXPECT_TRUE(editor->onWheel(-2.5f));
    frame.wheelAnswer = false;
    EXPECT_FALSE(editor->onWheel(1.0f));
    EXPECT_EQ(frame.wheels, 2);
    EXPECT_EQ(frame.lastDistance, 1.0f);
    EXPECT_EQ(frame.contextWindow, host);
    EXPECT_NE(frame.contextDc, nullptr);
    EXPECT_EQ(cqpLiveObjectCount(), before) << "the context gives back all it took";
    editor->attach(nullptr);
    editor->close();
    DestroyWindow(host);
}

TEST_F(EditorBase, ThrottledIdleOnlySleepsUntilFortySixMillisecondsAfterItsLastRun) {
    // Built at 1000: the first call runs at once.
    editor->throttledIdle();
    EXPECT_EQ(editor->ownIdles, 1);
    EXPECT_EQ(hostLog().idles, 1);
    EXPECT_EQ(editor->next(), 1100u);
    EXPECT_EQ(GetTickCount(), 1000u) << "no sleep when due";

    // 20 ms later: sleeps 4 ms, nothing else.
    cqpAdvanceClock(20);
    editor->throttledIdle();
    EXPECT_EQ(GetTickCount(), 1024u);
    EXPECT_EQ(editor->ownIdles, 1);
    EXPECT_EQ(hostLog().idles, 1);
    EXPECT_EQ(editor->next(), 1100u);

    // 45 ms after the run (1045 + 4 < 1050): still only the sleep.
    cqpAdvanceClock(21);
    editor->throttledIdle();
    EXPECT_EQ(editor->ownIdles, 1);

    // 60 ms after the run: sleeps, then runs; the next run is due 164 ms after the first.
    cqpAdvanceClock(1060 - GetTickCount());
    editor->throttledIdle();
    EXPECT_EQ(GetTickCount(), 1064u);
    EXPECT_EQ(editor->ownIdles, 2);
    EXPECT_EQ(hostLog().idles, 2);
    EXPECT_EQ(editor->next(), 1164u);

    // Exactly when due: runs without sleeping.
    cqpAdvanceClock(100);
    editor->throttledIdle();
    EXPECT_EQ(GetTickCount(), 1164u);
    EXPECT_EQ(editor->ownIdles, 3);
    EXPECT_EQ(editor->next(), 1264u);
}

TEST_F(EditorBase, ThrottledIdleKeepsItsRhythmAcrossTheTickCountsWrap) {
    // A run 20 ms before the wrap: the next falls due at 80 after it.
    cqpSetManualClock(TRUE, 0xFFFFFFECu);
    TestEffect other;
    auto* wrapping = new FramedEditor(&other);  // `other` owns it
    wrapping->throttledIdle();
    ASSERT_EQ(wrapping->ownIdles, 1);
    EXPECT_EQ(wrapping->next(), 80u);

    // 10 ms later, still before the wrap: only the sleep, though the raw count is larger.
    cqpAdvanceClock(10);
    wrapping->throttledIdle();
    EXPECT_EQ(wrapping->ownIdles, 1);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFFAu);

    // At 50, 70 ms after the run: sleeps, then runs.
    cqpAdvanceClock(56);
    wrapping->throttledIdle();
    EXPECT_EQ(wrapping->ownIdles, 2);
    EXPECT_EQ(wrapping->next(), 154u);
}

TEST_F(EditorBase, IdleFromInsideTheHostsIdleDoesNotReenterTheFrame) {
    RecordingFrame frame;
    editor->attach(&frame);
    static FramedEditor* reentered = nullptr;
    reentered = editor;
    hostLog().onIdle = [] { reentered->idle(); };
    editor->throttledIdle();
    EXPECT_EQ(hostLog().idles, 1);
    EXPECT_EQ(editor->ownIdles, 2) << "called twice";
    EXPECT_EQ(frame.idles, 1) << "but the frame only once";
    editor->idle();
    EXPECT_EQ(frame.idles, 2) << "idle works again afterwards";
    hostLog().onIdle = nullptr;
    editor->attach(nullptr);
}
