// rival-class.dll: a test DLL that behaves as a careless plug-in does: it registers a window
// class named "DrawWnd" under the host's main module, with a procedure of its own that paints
// its windows solid red. A plug-in whose display windows took that class would show red, and
// would call into this DLL's code after it is unloaded.
#include <windows.h>

namespace {

LRESULT CALLBACK rivalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(dc, &paint.rcPaint, red);
        DeleteObject(red);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// Registers the class; answers its atom, or 0 with the system's error.
extern "C" __declspec(dllexport) ATOM rivalRegisterClass() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = rivalProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "DrawWnd";
    return RegisterClassExA(&windowClass);
}
