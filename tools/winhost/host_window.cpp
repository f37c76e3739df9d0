#include "host_window.h"

#include <string>

#include "common/host_error.h"

namespace winhost {
namespace {

using cqhost::HostError;

constexpr const char* kParentClass = "cqscopeHostParent";
// How often the loop calls idle while it waits, in ms.
constexpr DWORD kIdlePeriodMs = 20;

LRESULT CALLBACK parentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        // The editor covers the whole client area.
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

ParentWindow::ParentWindow(int width, int height) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = parentWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.lpszClassName = kParentClass;
    RegisterClassExA(&windowClass);  // already registered by an earlier window: fine
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window = CreateWindowExA(0, kParentClass, "cqscope-host", style, 0, 0, frame.right - frame.left,
                             frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                             nullptr);
    if (window == nullptr) throw HostError("cannot create the editor's parent window");
    // The pointer waits beside the window: the editor draws what it shows without a pointer
    // over it, wherever the pointer happened to be.
    RECT placed{};
    GetWindowRect(window, &placed);
    SetCursorPos(placed.right + 20, placed.bottom + 20);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
}

ParentWindow::~ParentWindow() {
    DestroyWindow(window);
}

void runMessageLoop(DWORD timeoutMs, const char* waitingFor, const std::function<void()>& idle,
                    const std::function<bool(const MSG&)>& until) {
    const DWORD started = GetTickCount();
    DWORD lastIdle = started - kIdlePeriodMs;
    for (;;) {
        MSG message;
        bool done = false;
        while (!done && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) throw HostError("the message loop was told to quit");
            TranslateMessage(&message);
            DispatchMessageA(&message);
            done = until(message);
        }
        if (done) return;
        const DWORD now = GetTickCount();
        if (now - lastIdle >= kIdlePeriodMs) {
            idle();
            lastIdle = now;
        }
        if (now - started > timeoutMs) {
            throw HostError(std::string("timed out waiting for ") + waitingFor);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kIdlePeriodMs, QS_ALLINPUT);
    }
}

}  // namespace winhost
