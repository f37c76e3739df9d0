#include "editor/vstgui.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "editor/spectrum_view.h"
#include "frame/module_instance.h"

static_assert(std::bit_cast<std::uint32_t>(VstGui::kRefreshThreshold) == 0x3BA3D70Au);

namespace {

constexpr DWORD kDisplayStyle = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;
// Bounds the messages one idle call dispatches, so a window that keeps posting to itself
// cannot hold the host's thread.
constexpr int kMaxMessagesPerIdle = 256;

// Which editor a display window or Hold button belongs to, and how many editors are alive
// (the window class stays registered while any is). User-interface thread in practice; the
// lock only makes editors on different threads safe.
struct EditorRegistry {
    std::mutex lock;
    std::vector<std::pair<HWND, VstGui*>> windows;
    int liveEditors = 0;
};

EditorRegistry& registry() {
    static EditorRegistry instance;
    return instance;
}

void registerWindow(HWND window, VstGui* editor) {
    std::lock_guard guard(registry().lock);
    // A handle value may come back for a new window once the old one is gone.
    std::erase_if(registry().windows,
                  [window](const auto& entry) { return entry.first == window; });
    registry().windows.emplace_back(window, editor);
}

void unregisterWindow(HWND window) {
    std::lock_guard guard(registry().lock);
    std::erase_if(registry().windows,
                  [window](const auto& entry) { return entry.first == window; });
    // Give the memory back when no display is open, so a closed editor holds nothing.
    if (registry().windows.empty()) registry().windows.shrink_to_fit();
}

VstGui* editorOf(HWND window) {
    std::lock_guard guard(registry().lock);
    for (const auto& [handle, editor] : registry().windows) {
        if (handle == window) return editor;
    }
    return nullptr;
}

// The module that the display's class and windows belong to: this library's own, recorded when
// it was loaded, so that another plug-in's class of the same name can never take our windows'
// procedure (and leave them calling freed code when it is unloaded). Code linked into a program
// instead of loaded as a library has no load notification and belongs to the main module.
HINSTANCE ownModule() {
    return moduleInstance != nullptr ? static_cast<HINSTANCE>(moduleInstance)
                                     : GetModuleHandleA(nullptr);
}

// Whether this module's "DrawWnd" class is the one with our procedure.
bool ownClassRegistered() {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(WNDCLASSEXA);
    return GetClassInfoExA(ownModule(), VstGui::kWindowClass, &existing) != 0 &&
           existing.lpfnWndProc == VstGui::displayWindowProc;
}

// Registers the display's class under this module. True when it is registered now or was
// already, by an editor of this library (its procedure is ours); false on any other failure,
// including the name taken under this module with another procedure.
bool registerWindowClass() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = 0;
    windowClass.lpfnWndProc = VstGui::displayWindowProc;
    windowClass.hInstance = ownModule();
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    // No background brush: the window is never erased, so the display does not flicker.
    windowClass.hbrBackground = nullptr;
    windowClass.lpszClassName = VstGui::kWindowClass;
    if (RegisterClassExA(&windowClass) != 0) return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS && ownClassRegistered();
}

}  // namespace

VstGui::VstGui(AudioEffect* effect, DisplaySource& source) : AEffGUIEditor(effect), source(source) {
    rect.top = 0;
    rect.left = 0;
    rect.bottom = display::kHeight;
    rect.right = display::kWidth;
    // Registration may run out of memory (and throw); count this editor only after it. Its
    // answer is checked by open, which registers again if need be.
    (void)registerWindowClass();
    std::lock_guard guard(registry().lock);
    ++registry().liveEditors;
}

VstGui::~VstGui() {
    // A host may delete the effect with its editor still open; the windows must not outlive
    // the editor that their procedures refer to.
    close();
    releaseDrawingTools(resources);
    bool lastEditor = false;
    {
        std::lock_guard guard(registry().lock);
        lastEditor = --registry().liveEditors == 0;
    }
    // The class is shared by every editor of the process: keep it while another one lives.
    // Never another module's class that happens to be found under our name.
    if (lastEditor && ownClassRegistered()) (void)UnregisterClassA(kWindowClass, ownModule());
}

bool VstGui::open(void* parent) {
    // Whatever an earlier open left (also after the host destroyed its window) goes first.
    close();
    // A class unregistered by an editor destroyed since this one was built is registered again.
    // Without our own class there is nothing safe to draw with: the editor stays closed.
    if (!registerWindowClass()) return false;
    parentWindow = parent;
    hostParent = static_cast<HWND>(parent);

    if (resourcesPending) {
        createDrawingTools(resources);
        resourcesPending = false;
    }

    HINSTANCE instance = ownModule();
    displayWindow =
        CreateWindowExA(0, kWindowClass, kWindowName, kDisplayStyle, 0, 0, display::kWidth,
                        display::kHeight, hostParent, nullptr, instance, nullptr);
    if (!displayWindow) {
        // Nothing to show in: tell the host rather than pretend the editor is open.
        parentWindow = nullptr;
        hostParent = nullptr;
        return false;
    }
    registerWindow(displayWindow, this);

    createBackBuffer(resources, displayWindow);
    // New bitmaps start black on every graphics layer we run on; clearing once more makes a
    // paint that comes before the first refresh show black whatever the layer does.
    clearBackBuffer(resources);
    SetTimer(displayWindow, kRefreshTimer, kRefreshPeriodMs, nullptr);

    holdButton = CreateWindowExA(
        0, "Button", "holdbtn", kButtonStyle, display::kHoldX, display::kHoldY, display::kHoldWidth,
        display::kHoldHeight, displayWindow,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHoldButtonId)), instance, nullptr);
    if (holdButton) {
        registerWindow(holdButton, this);
        resources.buttonDefaultProc =
            reinterpret_cast<WNDPROC>(GetWindowLongPtrA(holdButton, GWLP_WNDPROC));
        SetWindowLongPtrA(holdButton, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(holdButtonProc));
    }

    createHoldImages(resources, displayWindow);
    drawHoldImages(resources);
    resources.holdActive = false;
    return true;
}

void VstGui::close() {
    if (displayWindow) KillTimer(displayWindow, kRefreshTimer);
    releaseBuffers(resources);
    if (holdButton) {
        // Give the button its own procedure back before it goes.
        if (resources.buttonDefaultProc) {
            SetWindowLongPtrA(holdButton, GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(resources.buttonDefaultProc));
        }
        unregisterWindow(holdButton);
        holdButton = nullptr;
    }
    resources.buttonDefaultProc = nullptr;
    if (displayWindow) {
        unregisterWindow(displayWindow);
        // Destroys the Hold button with it.
        DestroyWindow(displayWindow);
        displayWindow = nullptr;
    }
    hostParent = nullptr;
    parentWindow = nullptr;
}

#if !defined(_WIN32)
void VstGui::idle() {
    AEffGUIEditor::idle();
    if (inIdle) return;
    MSG message{};
    for (int handled = 0; handled < kMaxMessagesPerIdle; ++handled) {
        // The display first, then its button in case the queue filters children apart.
        if (displayWindow && PeekMessageA(&message, displayWindow, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        } else if (holdButton && PeekMessageA(&message, holdButton, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        } else {
            break;
        }
    }
}
#endif

LRESULT CALLBACK VstGui::displayWindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    VstGui* editor = editorOf(window);
    if (!editor) return DefWindowProcA(window, message, wParam, lParam);
    try {
        return editor->handleDisplayMessage(window, message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the window system or the host; the next tick tries again.
        return 0;
    }
}

LRESULT CALLBACK VstGui::holdButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The button's background is never erased: it shows the Hold image the display draws.
    if (message == WM_ERASEBKGND) return 1;
    VstGui* editor = editorOf(window);
    WNDPROC previous = editor ? editor->resources.buttonDefaultProc : nullptr;
    const LRESULT result = previous ? CallWindowProcA(previous, window, message, wParam, lParam)
                                    : DefWindowProcA(window, message, wParam, lParam);
    // Destroyed from outside (with the host's window): forget the handle.
    if (message == WM_NCDESTROY && editor) editor->forgetWindows(false);
    return result;
}

LRESULT VstGui::handleDisplayMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(window, &paint);
            if (dc && resources.backDc) {
                BitBlt(dc, 0, 0, display::kWidth, display::kHeight, resources.backDc, 0, 0,
                       SRCCOPY);
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kHoldButtonId) {
                toggleHold(window);
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_TIMER:
            refresh(window);
            return 0;
        case WM_NCDESTROY:
            // The host destroyed its window, and this one with it, before closing the editor:
            // stop the timer and forget the handles, which may soon name other windows.
            forgetWindows(true);
            return DefWindowProcA(window, message, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void VstGui::forgetWindows(bool displayToo) {
    if (holdButton) unregisterWindow(holdButton);
    holdButton = nullptr;
    if (displayToo && displayWindow) {
        KillTimer(displayWindow, kRefreshTimer);
        unregisterWindow(displayWindow);
        displayWindow = nullptr;
    }
}

void VstGui::toggleHold(HWND window) {
    if (!resources.backDc) return;
    if (resources.holdActive) {
        SetTimer(window, kRefreshTimer, kRefreshPeriodMs, nullptr);
    } else {
        KillTimer(window, kRefreshTimer);
    }
    resources.holdActive = !resources.holdActive;
    // Redraw at once from the magnitudes as they stand; no recomputation.
    clearBackBuffer(resources);
    drawSpectrumBars(resources, source);
    drawNoteStripes(resources, source);
    drawGridAndLabels(resources);
    InvalidateRect(window, nullptr, FALSE);
}

void VstGui::refresh(HWND window) {
    if (!resources.backDc) return;
    source.prepareAnalysis();
    // A NaN span compares false: no recomputation and no bars.
    if (source.signalSpan() >= kRefreshThreshold) {
        // The bars are whole pixels: the magnitudes need only be close enough for those.
        source.transformShown(sameBar);
        clearBackBuffer(resources);
        drawSpectrumBars(resources, source);
    } else {
        clearBackBuffer(resources);
    }
    drawNoteStripes(resources, source);
    drawGridAndLabels(resources);
    InvalidateRect(window, nullptr, FALSE);
}
