// Windows, messages, timers, painting and the button class of the platform library, driven
// with the manual clock so every ordering is deterministic.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/cqscope_platform.h"

namespace {

// What the recording procedure saw: (window, message, wParam, lParam).
struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;

std::vector<UINT> messagesOf(HWND window, std::initializer_list<UINT> interesting) {
    std::vector<UINT> out;
    for (const Seen& s : seen) {
        if (s.window != window) continue;
        for (UINT m : interesting) {
            if (s.message == m) out.push_back(m);
        }
    }
    return out;
}

// Records every message, paints through BeginPaint, and otherwise behaves as the default.
LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({window, message, wParam, lParam});
    if (message == WM_PAINT) {
        PAINTSTRUCT paint{};
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class UserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cqpSetManualClock(TRUE, 1000);
        baseline_ = cqpLiveObjectCount();
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = recordingProc;
        wc.lpszClassName = "Recorder";
        wc.hInstance = GetModuleHandleA(nullptr);
        ASSERT_NE(RegisterClassExA(&wc), 0);
        host_ = cqpCreateHostWindow(200, 100);
        ASSERT_NE(host_, nullptr);
        cqpPumpMessages(nullptr);
        seen.clear();
    }
    void TearDown() override {
        if (IsWindow(host_)) DestroyWindow(host_);
        EXPECT_TRUE(UnregisterClassA("Recorder", GetModuleHandleA(nullptr)));
        EXPECT_EQ(cqpLiveObjectCount(), baseline_) << "objects leaked by the test or library";
        cqpSetManualClock(FALSE, 0);
        seen.clear();
    }
    HWND child(int x, int y, int w, int h, HWND parent = nullptr, int id = 7) {
        return CreateWindowExA(0, "Recorder", "child", WS_CHILD | WS_VISIBLE, x, y, w, h,
                               parent != nullptr ? parent : host_,
                               reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)),
                               GetModuleHandleA(nullptr), nullptr);
    }
    std::vector<DWORD> pixels(HWND window, int w, int h) {
        std::vector<DWORD> out(static_cast<std::size_t>(w) * h);
        EXPECT_TRUE(cqpReadWindowPixels(window, out.data(), w, h));
        return out;
    }

    HWND host_ = nullptr;
    int baseline_ = 0;
};

TEST_F(UserTest, ChildrenDrawIntoTheirParentsSurfaceAtTheirOffsetClippedToThemselves) {
    HWND panel = child(50, 20, 100, 60);
    HWND inner = child(90, 50, 30, 30, panel);  // sticks out of the panel by 20 x 20
    ASSERT_NE(inner, nullptr);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(inner, &r));
    EXPECT_EQ(r.left, 140);
    EXPECT_EQ(r.top, 70);
    ASSERT_TRUE(GetClientRect(inner, &r));
    EXPECT_EQ(r.right, 30);

    unsigned long long before = 0;
    ASSERT_TRUE(cqpWindowDrawCount(inner, &before));
    HDC dc = GetDC(inner);
    ASSERT_NE(dc, nullptr);
    EXPECT_TRUE(PatBlt(dc, -5, -5, 100, 100, WHITENESS));
    // Wholly outside the window: clipped away, nothing changes.
    EXPECT_TRUE(PatBlt(dc, 40, 40, 10, 10, BLACKNESS));
    EXPECT_EQ(ReleaseDC(inner, dc), 1);
    // The count is the top-level surface's, whichever of its windows asks.
    unsigned long long drawn = 0, panelDrawn = 0;
    ASSERT_TRUE(cqpWindowDrawCount(host_, &drawn));
    ASSERT_TRUE(cqpWindowDrawCount(panel, &panelDrawn));
    EXPECT_EQ(drawn, before + 1);
    EXPECT_EQ(panelDrawn, drawn);
    EXPECT_FALSE(cqpWindowDrawCount(reinterpret_cast<HWND>(0x5EED), &drawn));

    // Inside the panel: columns 140..149 and rows 70..79 of the host.
    const std::vector<DWORD> host = pixels(host_, 200, 100);
    EXPECT_EQ(host[70 * 200 + 140], 0x00FFFFFFu);
    EXPECT_EQ(host[79 * 200 + 149], 0x00FFFFFFu);
    EXPECT_EQ(host[80 * 200 + 140], 0u);
    EXPECT_EQ(host[70 * 200 + 150], 0u);
    EXPECT_EQ(host[69 * 200 + 140], 0u);

    // The parent's DC and pixels read what the child painted.
    HDC panelDc = GetDC(panel);
    EXPECT_EQ(GetPixel(panelDc, 90, 50), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(panelDc, 89, 50), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(panelDc, 100, 60), CLR_INVALID);  // outside the panel
    ReleaseDC(panel, panelDc);
    const std::vector<DWORD> inside = pixels(inner, 30, 30);
    EXPECT_EQ(inside[0], 0x00FFFFFFu);
    EXPECT_EQ(inside[10 * 30 + 10], 0u);  // beyond the panel: not drawn
    std::vector<DWORD> wrongSize(10);
    EXPECT_FALSE(cqpReadWindowPixels(inner, wrongSize.data(), 10, 1));

    // Reading the pixels back draws nothing.
    unsigned long long afterReads = 0;
    ASSERT_TRUE(cqpWindowDrawCount(inner, &afterReads));
    EXPECT_EQ(afterReads, before + 1);

    RECT dirty{};
    ASSERT_TRUE(cqpTakeDirtyRect(host_, &dirty));
    EXPECT_EQ(dirty.left, 140);
    EXPECT_EQ(dirty.bottom, 80);
    ASSERT_TRUE(cqpTakeDirtyRect(host_, &dirty));
    EXPECT_EQ(dirty.right, dirty.left);
}

TEST_F(UserTest, DestructionNotifiesParentFirstThenReleasesChildrenFirst) {
    HWND panel = child(0, 0, 50, 50);
    HWND leaf = child(0, 0, 10, 10, panel);
    HDC dc = GetDC(leaf);  // never released by the caller: goes with the window
    SetTimer(leaf, 3, 100, nullptr);
    PostMessageA(leaf, WM_USER, 0, 0);
    seen.clear();
    ASSERT_TRUE(DestroyWindow(panel));
    std::vector<std::pair<HWND, UINT>> order;
    for (const Seen& s : seen) {
        if (s.message == WM_DESTROY || s.message == WM_NCDESTROY)
            order.push_back({s.window, s.message});
    }
    const std::vector<std::pair<HWND, UINT>> expected = {
        {panel, WM_DESTROY}, {leaf, WM_DESTROY}, {leaf, WM_NCDESTROY}, {panel, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);

    EXPECT_FALSE(IsWindow(panel));
    EXPECT_FALSE(IsWindow(leaf));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(leaf));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PatBlt(dc, 0, 0, 1, 1, BLACKNESS));
    EXPECT_FALSE(PostMessageA(leaf, WM_USER, 0, 0));
    EXPECT_EQ(SendMessageA(leaf, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetWindowLongPtrA(leaf, GWLP_WNDPROC), 0);
    EXPECT_EQ(cqpClick(leaf, 1, 1), FALSE);
    RECT r{};
    EXPECT_FALSE(GetWindowRect(leaf, &r));
    // Nothing of the dead windows is left to dispatch.
    cqpAdvanceClock(500);
    EXPECT_EQ(cqpPumpMessages(nullptr), 0);
}

TEST_F(UserTest, CreationFailuresAreReportedAndBogusHandlesAreRefused) {
    SetLastError(0);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_CHILD, 0, 0, 1, 1, host_, nullptr, nullptr,
                              nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(CreateWindowExA(0, "Recorder", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = "recorder";  // class names ignore case
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    wc.cbSize = 48;  // a 32-bit record size on a 64-bit system
    wc.lpszClassName = "Other";
    if (sizeof(void*) == 8) {
        EXPECT_EQ(RegisterClassExA(&wc), 0);
    }

    HWND w = child(0, 0, 5, 5);
    EXPECT_FALSE(UnregisterClassA("Recorder", GetModuleHandleA(nullptr)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    EXPECT_FALSE(UnregisterClassA("Button", nullptr));
    DestroyWindow(w);

    const HWND bogus[] = {reinterpret_cast<HWND>(1), reinterpret_cast<HWND>(0xFFFF0001),
                          reinterpret_cast<HWND>(~std::uintptr_t{0})};
    for (HWND h : bogus) {
        EXPECT_FALSE(IsWindow(h));
        EXPECT_EQ(GetDC(h), nullptr);
        EXPECT_FALSE(InvalidateRect(h, nullptr, FALSE));
        EXPECT_EQ(SetTimer(h, 1, 10, nullptr), 0u);
        EXPECT_EQ(SetWindowLongPtrA(h, GWLP_USERDATA, 5), 0);
        MSG msg{};
        EXPECT_FALSE(PeekMessageA(&msg, h, 0, 0, PM_REMOVE));
        EXPECT_EQ(cqpPumpMessages(h), 0);
    }
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), LoadCursorA(nullptr, IDC_ARROW));
}

LRESULT CALLBACK swallowingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WNDPROC previousProc = nullptr;
LRESULT CALLBACK swallowingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 1) return 42;
    return CallWindowProcA(previousProc, window, message, wParam, lParam);
}

TEST_F(UserTest, SubclassingReplacesTheProcedureAndForwardsToThePreviousOne) {
    HWND w = child(0, 0, 10, 10);
    previousProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(w, GWLP_WNDPROC));
    EXPECT_EQ(previousProc, &recordingProc);
    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(swallowingProc)),
              reinterpret_cast<LONG_PTR>(&recordingProc));
    seen.clear();
    EXPECT_EQ(SendMessageA(w, WM_USER + 1, 0, 0), 42);
    EXPECT_TRUE(seen.empty());
    SendMessageA(w, WM_USER + 2, 0, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_USER + 2));

    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_ID), 7);
    SetWindowLongPtrA(w, GWLP_USERDATA, 0x1234);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), 0x1234);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)),
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    if (sizeof(void*) == 8) {
        // A procedure address does not fit 32 bits: refused, as 64-bit Windows does.
        SetLastError(0);
        EXPECT_EQ(GetWindowLongA(w, GWL_WNDPROC), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
        EXPECT_EQ(SetWindowLongA(w, GWL_WNDPROC, 0x1234), 0);
        EXPECT_EQ(GetWindowLongPtrA(w, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(swallowingProc));
    }
    EXPECT_EQ(GetWindowLongPtrA(w, 0), 0);  // the class has no extra bytes
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    DestroyWindow(w);
}

TEST_F(UserTest, PostedMessagesComeBeforePaintsAndPaintsBeforeTimers) {
    HWND w = child(0, 0, 10, 10);
    cqpPumpMessages(nullptr);  // its first paint
    SetTimer(w, 5, 100, nullptr);
    cqpAdvanceClock(100);
    InvalidateRect(w, nullptr, FALSE);
    PostMessageA(w, WM_USER, 1, 0);
    PostMessageA(w, WM_USER, 2, 0);

    MSG msg{};
    // Filters: a sibling's messages and other ranges are left alone.
    HWND sibling = child(20, 0, 10, 10);
    EXPECT_FALSE(PeekMessageA(&msg, sibling, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, w, WM_USER + 1, WM_USER + 100, PM_REMOVE));
    DestroyWindow(sibling);
    EXPECT_TRUE(PeekMessageA(&msg, w, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_TRUE(PeekMessageA(&msg, w, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(msg.wParam, 1u);

    std::vector<std::pair<UINT, WPARAM>> order;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        order.push_back({msg.message, msg.message == WM_PAINT ? 0 : msg.wParam});
        DispatchMessageA(&msg);
    }
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_USER, 1}, {WM_USER, 2}, {WM_PAINT, 0}, {WM_TIMER, 5}};
    EXPECT_EQ(order, expected);
    KillTimer(w, 5);
    DestroyWindow(w);
}

TEST_F(UserTest, TimersFireWhenDueAndNeverPileUp) {
    HWND w = child(0, 0, 10, 10);
    cqpPumpMessages(nullptr);
    ASSERT_EQ(SetTimer(w, 1, 100, nullptr), 1u);
    seen.clear();
    cqpAdvanceClock(99);
    cqpPumpMessages(w);
    EXPECT_TRUE(messagesOf(w, {WM_TIMER}).empty());
    cqpAdvanceClock(1);
    cqpPumpMessages(w);
    EXPECT_EQ(messagesOf(w, {WM_TIMER}).size(), 1u);

    // A long stall gives one tick, and the period stays on its grid (due again at 1400).
    seen.clear();
    cqpAdvanceClock(250);  // now 1350
    EXPECT_EQ(cqpPumpMessages(w), 1);
    cqpAdvanceClock(49);
    EXPECT_EQ(cqpPumpMessages(w), 0);
    cqpAdvanceClock(1);
    EXPECT_EQ(cqpPumpMessages(w), 1);

    // Sleep moves the manual clock.
    const DWORD before = GetTickCount();
    Sleep(100);
    EXPECT_EQ(GetTickCount(), before + 100);
    EXPECT_EQ(cqpPumpMessages(w), 1);

    EXPECT_TRUE(KillTimer(w, 1));
    EXPECT_FALSE(KillTimer(w, 1));
    cqpAdvanceClock(1000);
    EXPECT_EQ(cqpPumpMessages(w), 0);
    DestroyWindow(w);
}

TEST_F(UserTest, TimersKeepTheirPeriodAcrossClockWrapAndClockSwitches) {
    HWND w = child(0, 0, 10, 10);
    cqpPumpMessages(nullptr);
    cqpSetManualClock(TRUE, 0xFFFFFFF0u);  // 16 ms before the tick count wraps
    SetTimer(w, 2, 100, nullptr);
    cqpAdvanceClock(99);
    EXPECT_EQ(cqpPumpMessages(w), 0);
    cqpAdvanceClock(1);
    EXPECT_EQ(GetTickCount(), 84u);
    EXPECT_EQ(cqpPumpMessages(w), 1);

    // Switching to another manual start keeps the 100 ms left.
    cqpSetManualClock(TRUE, 5000);
    cqpAdvanceClock(99);
    EXPECT_EQ(cqpPumpMessages(w), 0);
    cqpAdvanceClock(1);
    EXPECT_EQ(cqpPumpMessages(w), 1);
    KillTimer(w, 2);
    DestroyWindow(w);
}

int timerProcCalls = 0;
void CALLBACK countingTimerProc(HWND, UINT message, UINT_PTR, DWORD) {
    if (message == WM_TIMER) ++timerProcCalls;
}

TEST_F(UserTest, TimerProceduresAndThreadTimersAreDispatched) {
    timerProcCalls = 0;
    const UINT_PTR id = SetTimer(nullptr, 0, 50, countingTimerProc);
    ASSERT_NE(id, 0u);
    cqpAdvanceClock(50);
    EXPECT_EQ(cqpPumpMessages(nullptr), 1);
    EXPECT_EQ(timerProcCalls, 1);
    // A forged WM_TIMER naming a procedure that no timer has is not called through.
    MSG forged{};
    forged.message = WM_TIMER;
    forged.wParam = id + 1;
    forged.lParam = reinterpret_cast<LPARAM>(countingTimerProc);
    DispatchMessageA(&forged);
    EXPECT_EQ(timerProcCalls, 1);
    EXPECT_TRUE(KillTimer(nullptr, id));
}

TEST_F(UserTest, InvalidationPaintsOnceAndErasesOnlyWhenAsked) {
    HWND w = child(0, 0, 10, 10);
    EXPECT_EQ(messagesOf(w, {WM_PAINT, WM_ERASEBKGND}),
              (std::vector<UINT>{}));  // nothing until the queue is read
    cqpPumpMessages(nullptr);
    EXPECT_EQ(messagesOf(w, {WM_PAINT, WM_ERASEBKGND}),
              (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));  // created visible: erased
    seen.clear();
    EXPECT_EQ(cqpPumpMessages(nullptr), 0);  // validated by BeginPaint
    InvalidateRect(w, nullptr, FALSE);
    InvalidateRect(w, nullptr, FALSE);
    cqpPumpMessages(nullptr);
    EXPECT_EQ(messagesOf(w, {WM_PAINT, WM_ERASEBKGND}), (std::vector<UINT>{WM_PAINT}));
    // A hidden window is not painted until shown.
    seen.clear();
    ShowWindow(w, SW_HIDE);
    InvalidateRect(w, nullptr, TRUE);
    EXPECT_EQ(cqpPumpMessages(nullptr), 0);
    ShowWindow(w, SW_SHOW);
    EXPECT_EQ(cqpPumpMessages(nullptr), 1);
    DestroyWindow(w);
}

LRESULT CALLBACK neverPaintsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) return 0;  // forgets BeginPaint
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(UserTest, APumpEndsEvenWhenAWindowNeverValidates) {
    HWND w = child(0, 0, 10, 10);
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(neverPaintsProc));
    EXPECT_EQ(cqpPumpMessages(nullptr), 1);
    EXPECT_EQ(cqpPumpMessages(nullptr), 1);  // still invalid: painted again next pump
    DestroyWindow(w);
}

TEST_F(UserTest, OwnerDrawButtonClicksAndDoubleClicksNotifyTheParent) {
    HWND panel = child(0, 0, 200, 100);
    HWND button = CreateWindowExA(0, "Button", "holdbtn", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 150,
                                  0, 50, 24, panel, reinterpret_cast<HMENU>(1000),
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(button, nullptr);
    seen.clear();
    auto commands = [&] {
        std::vector<WORD> codes;
        for (const Seen& s : seen) {
            if (s.window == panel && s.message == WM_COMMAND) {
                EXPECT_EQ(LOWORD(s.wParam), 1000);
                EXPECT_EQ(reinterpret_cast<HWND>(s.lParam), button);
                codes.push_back(HIWORD(s.wParam));
            }
        }
        seen.clear();
        return codes;
    };
    // Clicks are given in the host's coordinates and reach the button under them.
    ASSERT_TRUE(cqpClick(host_, 160, 10));
    EXPECT_EQ(commands(), (std::vector<WORD>{BN_CLICKED}));
    cqpAdvanceClock(100);
    ASSERT_TRUE(cqpClick(host_, 161, 11));
    EXPECT_EQ(commands(), (std::vector<WORD>{BN_DOUBLECLICKED}));
    // A third click starts afresh.
    cqpAdvanceClock(100);
    ASSERT_TRUE(cqpClick(host_, 161, 11));
    EXPECT_EQ(commands(), (std::vector<WORD>{BN_CLICKED}));
    // Slow clicks are two clicks.
    cqpAdvanceClock(501);
    ASSERT_TRUE(cqpClick(host_, 161, 11));
    EXPECT_EQ(commands(), (std::vector<WORD>{BN_CLICKED}));
    // Beside the button: the panel gets the mouse, nobody is notified.
    ASSERT_TRUE(cqpClick(host_, 20, 50));
    EXPECT_EQ(messagesOf(panel, {WM_LBUTTONDOWN, WM_LBUTTONUP}),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_TRUE(commands().empty());
    EXPECT_FALSE(cqpClick(host_, 200, 0));  // outside the window

    // The owner gets WM_DRAWITEM when the button paints.
    seen.clear();
    InvalidateRect(button, nullptr, FALSE);
    cqpPumpMessages(nullptr);
    ASSERT_EQ(messagesOf(panel, {WM_DRAWITEM}).size(), 1u);
    DestroyWindow(panel);
}

// The pointer's motion reaches the window under it in that window's coordinates; a window
// that tracks its leave hears once, by a posted WM_MOUSELEAVE, when the pointer goes onto a
// child, out of the host window or is not over it when tracking starts, and never after a
// cancel.
TEST_F(UserTest, PointerMotionReachesTheWindowUnderItAndTrackedLeavesArePostedOnce) {
    HWND panel = child(10, 10, 150, 80);
    HWND inner = child(100, 0, 50, 24, panel);
    ASSERT_NE(inner, nullptr);
    auto track = [](HWND window, DWORD flags) {
        TRACKMOUSEEVENT t{sizeof(TRACKMOUSEEVENT), flags, window, HOVER_DEFAULT};
        return TrackMouseEvent(&t);
    };
    auto leaves = [&](HWND window) {
        cqpPumpMessages(nullptr);
        const std::size_t count = messagesOf(window, {WM_MOUSELEAVE}).size();
        return count;
    };
    seen.clear();
    ASSERT_TRUE(cqpMovePointer(host_, 30, 40));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].window, panel);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(GET_X_LPARAM(seen[0].lParam), 20);
    EXPECT_EQ(static_cast<short>(HIWORD(seen[0].lParam)), 30);
    POINT at{};
    ASSERT_TRUE(GetCursorPos(&at));
    EXPECT_EQ(at.x, 30);
    EXPECT_EQ(at.y, 40);

    // Tracked, then onto the child: the panel hears of its leave once, the child of motion.
    ASSERT_TRUE(track(panel, TME_LEAVE));
    TRACKMOUSEEVENT query{sizeof(TRACKMOUSEEVENT), TME_QUERY, nullptr, 0};
    ASSERT_TRUE(TrackMouseEvent(&query));
    EXPECT_EQ(query.hwndTrack, panel);
    EXPECT_EQ(leaves(panel), 0u);
    seen.clear();
    ASSERT_TRUE(cqpMovePointer(host_, 115, 15));
    EXPECT_EQ(messagesOf(inner, {WM_MOUSEMOVE}).size(), 1u);
    EXPECT_EQ(leaves(panel), 1u);
    ASSERT_TRUE(cqpMovePointer(host_, 30, 40));
    seen.clear();
    EXPECT_EQ(leaves(panel), 0u);  // the request was used up

    // Out of the host window: by motion outside it, or by the leave of the whole window.
    ASSERT_TRUE(track(panel, TME_LEAVE));
    ASSERT_TRUE(cqpMovePointer(host_, 500, 40));
    EXPECT_EQ(leaves(panel), 1u);
    ASSERT_TRUE(cqpMovePointer(host_, 30, 40));
    ASSERT_TRUE(track(panel, TME_LEAVE));
    seen.clear();
    ASSERT_TRUE(cqpPointerLeave(host_));
    EXPECT_EQ(leaves(panel), 1u);
    // Not under the pointer when tracking starts: told at once.
    seen.clear();
    ASSERT_TRUE(track(panel, TME_LEAVE));
    EXPECT_EQ(leaves(panel), 1u);
    // A cancelled request is never answered.
    ASSERT_TRUE(cqpMovePointer(host_, 30, 40));
    ASSERT_TRUE(track(panel, TME_LEAVE));
    ASSERT_TRUE(track(panel, TME_LEAVE | TME_CANCEL));
    seen.clear();
    ASSERT_TRUE(cqpPointerLeave(host_));
    EXPECT_EQ(leaves(panel), 0u);
    // Refused: hover tracking, a wrong size, a bogus window.
    EXPECT_FALSE(track(panel, TME_HOVER));
    TRACKMOUSEEVENT small{sizeof(TRACKMOUSEEVENT) - 1, TME_LEAVE, panel, 0};
    EXPECT_FALSE(TrackMouseEvent(&small));
    EXPECT_FALSE(
        track(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x8000FFF0u)), TME_LEAVE));
    EXPECT_FALSE(cqpMovePointer(nullptr, 1, 1));
    DestroyWindow(panel);
}

int erasesSeen = 0;
WNDPROC buttonDefault = nullptr;
LRESULT CALLBACK noEraseButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        ++erasesSeen;
        return 1;
    }
    return CallWindowProcA(buttonDefault, window, message, wParam, lParam);
}

TEST_F(UserTest, SubclassedButtonStillClicksAndSeesItsErase) {
    HWND button = CreateWindowExA(0, "Button", "b", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 20,
                                  20, host_, reinterpret_cast<HMENU>(9), nullptr, nullptr);
    buttonDefault = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(button, GWLP_WNDPROC));
    SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(noEraseButtonProc));
    erasesSeen = 0;
    cqpPumpMessages(nullptr);
    EXPECT_EQ(erasesSeen, 1);
    // The host window's procedure is DefWindowProcA, so its WM_COMMAND goes nowhere; the
    // button still arms and releases cleanly.
    EXPECT_TRUE(cqpClick(host_, 5, 5));
    DestroyWindow(button);
}

TEST_F(UserTest, WindowsBelongToTheirThreadButGdiWorksAnywhere) {
    HWND w = child(0, 0, 10, 10);
    cqpPumpMessages(nullptr);
    seen.clear();
    LRESULT sent = -1;
    BOOL posted = FALSE;
    BOOL destroyed = TRUE;
    BOOL drew = FALSE;
    std::thread other([&] {
        sent = SendMessageA(w, WM_USER, 0, 0);
        posted = PostMessageA(w, WM_USER + 3, 0, 0);
        destroyed = DestroyWindow(w);
        HDC dc = GetDC(w);
        drew = PatBlt(dc, 0, 0, 2, 2, WHITENESS);
        ReleaseDC(w, dc);
    });
    other.join();
    EXPECT_EQ(sent, 0);
    EXPECT_TRUE(posted);
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(drew);
    EXPECT_TRUE(seen.empty());
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, w, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
    DestroyWindow(w);
}

TEST_F(UserTest, GetMessageWaitsForAPostFromAnotherThreadAndEndsOnQuit) {
    HWND w = child(0, 0, 10, 10);
    cqpPumpMessages(nullptr);
    std::thread poster([&] { PostMessageA(w, WM_USER + 4, 0, 0); });
    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 4));
    poster.join();
    PostQuitMessage(3);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 3u);
    DestroyWindow(w);
}

TEST(Kernel, OleCountsAndModuleHandles) {
    const int outstanding = cqpOleInitCount();
    EXPECT_EQ(OleInitialize(nullptr), outstanding == 0 ? S_OK : S_FALSE);
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
    EXPECT_EQ(cqpOleInitCount(), outstanding + 2);
    OleUninitialize();
    OleUninitialize();
    OleUninitialize();  // one too many: ignored
    OleUninitialize();
    EXPECT_EQ(OleInitialize(nullptr), S_OK);
    OleUninitialize();
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA("no-such-module.so"), nullptr);
    // The system clock moves forward on its own.
    cqpSetManualClock(FALSE, 0);
    const DWORD start = GetTickCount();
    Sleep(20);
    EXPECT_GE(GetTickCount() - start, 15u);
}

}  // namespace

// A Linux host gives its editor an X11 window id as parent. Such a child is a surface of its
// own (drawn off screen when there is no display), remembers the foreign parent, and never
// takes another value for one of ours: our handles carry the top bit, X ids have 29 bits.
TEST_F(UserTest, ChildOfAForeignX11WindowIsItsOwnSurfaceAndKeepsItsParent) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display != nullptr ? display : "";
    unsetenv("DISPLAY");
    const auto xId = std::uintptr_t{0x04A00007};
    const HWND xParent = reinterpret_cast<HWND>(xId);
    EXPECT_FALSE(IsWindow(xParent));
    HWND w = child(0, 0, 30, 20, xParent, 1000);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetParent(w), xParent);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_HWNDPARENT), static_cast<LONG_PTR>(xId));
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_ID), 1000);
    EXPECT_EQ(cqpFindForeignChild(xId), w);
    EXPECT_EQ(cqpPresentedXWindow(w), 0u);

    // Its children draw into its surface, at their offset.
    HWND inner = child(5, 5, 10, 10, w);
    ASSERT_NE(inner, nullptr);
    cqpPumpMessages(nullptr);
    HDC dc = GetDC(inner);
    HBRUSH white = CreateSolidBrush(0xFFFFFF);
    HGDIOBJ previous = SelectObject(dc, white);
    EXPECT_TRUE(PatBlt(dc, 0, 0, 10, 10, PATCOPY));
    SelectObject(dc, previous);
    DeleteObject(white);
    ReleaseDC(inner, dc);
    const auto shown = pixels(w, 30, 20);
    EXPECT_EQ(shown[0], 0u);
    EXPECT_EQ(shown[5 * 30 + 5], 0xFFFFFFu);
    EXPECT_EQ(shown[14 * 30 + 14], 0xFFFFFFu);
    EXPECT_EQ(shown[15 * 30 + 15], 0u);

    // Our own handles stay ours: a stale one and a value beyond X's ids are refused as
    // parents, and a handle that went through a 32-bit LONG (sign extended) still works.
    HWND gone = cqpCreateHostWindow(4, 4);
    DestroyWindow(gone);
    EXPECT_EQ(child(0, 0, 1, 1, gone), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(child(0, 0, 1, 1, reinterpret_cast<HWND>(std::uintptr_t{0x7FFF0001})), nullptr);
    const auto narrowed = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(host_));
    EXPECT_TRUE(IsWindow(reinterpret_cast<HWND>(static_cast<std::intptr_t>(narrowed))));

    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(IsWindow(inner));
    EXPECT_EQ(cqpFindForeignChild(xId), nullptr);
    if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
}
