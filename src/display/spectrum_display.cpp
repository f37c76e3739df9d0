#include "display/spectrum_display.h"

#include <bit>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "display/spectrum_view.h"

#if !defined(_WIN32)
#include "platform/cqscope_platform.h"
#endif

static_assert(std::bit_cast<std::uint32_t>(cqscope::DisplayModel::kSilenceThreshold) ==
              0x3BA3D70Au);

namespace {

constexpr DWORD kDisplayStyle = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;
// Bounds the messages one run call dispatches.
constexpr int kMaxMessagesPerRun = 256;

// How many displays of each module are alive: a module's window class stays registered while
// any is. The window system's class table is process-wide, so this count is too; the lock
// makes displays on different threads safe.
struct ClassUsers {
    std::mutex lock;
    std::vector<std::pair<HINSTANCE, int>> counts;
};

ClassUsers& classUsers() {
    static ClassUsers instance;
    return instance;
}

// Adds `change` to the module's count and answers the new count.
int countDisplay(HINSTANCE module, int change) {
    std::lock_guard guard(classUsers().lock);
    auto& counts = classUsers().counts;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (it->first != module) continue;
        it->second += change;
        const int now = it->second;
        if (now == 0) counts.erase(it);
        return now;
    }
    counts.emplace_back(module, change);
    return change;
}

// The display a window belongs to, kept in the window's user data while it is open.
SpectrumDisplay* displayOf(HWND window) {
    return reinterpret_cast<SpectrumDisplay*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void attach(HWND window, SpectrumDisplay* display) {
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(display));
}

// Whether the module's "DrawWnd" class is the one with our procedure.
bool ownClassRegistered(HINSTANCE module) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(WNDCLASSEXA);
    return GetClassInfoExA(module, SpectrumDisplay::kWindowClass, &existing) != 0 &&
           existing.lpfnWndProc == SpectrumDisplay::displayWindowProc;
}

// Registers the display's class under the module. True when it is registered now or was
// already, by a display of this code (its procedure is ours); false on any other failure,
// including the name taken under the module with another procedure.
bool registerWindowClass(HINSTANCE module) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = 0;
    windowClass.lpfnWndProc = SpectrumDisplay::displayWindowProc;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    // No background brush: the window is never erased, so the display does not flicker.
    windowClass.hbrBackground = nullptr;
    windowClass.lpszClassName = SpectrumDisplay::kWindowClass;
    if (RegisterClassExA(&windowClass) != 0) return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS && ownClassRegistered(module);
}

}  // namespace

SpectrumDisplay::SpectrumDisplay(HINSTANCE module, DisplaySource& source, HostLoop* loop)
    : module(module), source(source), loop(loop) {
    // Registration may run out of memory (and throw); count this display only after it. Its
    // answer is checked by open, which registers again if need be.
    (void)registerWindowClass(module);
    countDisplay(module, +1);
    if (loop != nullptr) hostTimer = loop->startTimer(kHostTimerPeriodMs);
}

SpectrumDisplay::~SpectrumDisplay() {
    // The windows must not outlive the display that their procedures refer to.
    close();
    if (hostTimer) loop->stopTimer();
    releaseDrawingTools(resources_);
    // The class is shared by every display of the module: keep it while another one lives.
    // Never another module's class that happens to be found under our name.
    if (countDisplay(module, -1) == 0 && ownClassRegistered(module)) {
        (void)UnregisterClassA(kWindowClass, module);
    }
}

bool SpectrumDisplay::open(HWND parent) {
    // Whatever an earlier open left (also after the host destroyed its window) goes first.
    close();
    // A class unregistered by a display destroyed since this one was built is registered
    // again. Without our own class there is nothing safe to draw with: the display stays
    // closed.
    if (!registerWindowClass(module)) return false;

    if (resourcesPending) {
        createDrawingTools(resources_);
        resourcesPending = false;
    }

    displayWindow =
        CreateWindowExA(0, kWindowClass, kWindowName, kDisplayStyle, 0, 0, display::kWidth,
                        display::kHeight, parent, nullptr, module, nullptr);
    if (!displayWindow) return false;
    attach(displayWindow, this);

    createBackBuffer(resources_, displayWindow);
    SIZE cell{};
    if (GetTextExtentPoint32A(resources_.backDc, "0", 1, &cell) && cell.cx > 0 && cell.cy > 0)
        readoutCell_ = TextCell{static_cast<int>(cell.cx), static_cast<int>(cell.cy)};
    pointerColumn_ = -1;
    leaveTracked_ = false;
    SetTimer(displayWindow, kRefreshTimer, cqscope::DisplayModel::kRefreshPeriodMs, nullptr);

    holdButton_ = CreateWindowExA(
        0, "Button", "holdbtn", kButtonStyle, display::kHoldX, display::kHoldY, display::kHoldWidth,
        display::kHoldHeight, displayWindow,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHoldButtonId)), module, nullptr);
    if (holdButton_) {
        attach(holdButton_, this);
        resources_.buttonDefaultProc =
            reinterpret_cast<WNDPROC>(GetWindowLongPtrA(holdButton_, GWLP_WNDPROC));
        SetWindowLongPtrA(holdButton_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(holdButtonProc));
    }

    createHoldImages(resources_, displayWindow);
    drawHoldImages(resources_);
    model.reset();
    // What the refreshes will need starts being built now.
    source.prepareAnalysis();
    // The picture a paint before the first refresh shows: grid, labels and held notes, no
    // bars (the model was just reset), as any later silent refresh draws it; shown now rather
    // than when the host next lets the display run its messages.
    draw(displayWindow);
    UpdateWindow(displayWindow);
    if (holdButton_) UpdateWindow(holdButton_);
    // Events (clicks, exposures) are then handled as they arrive, not at the next refresh.
    const int descriptor = eventDescriptor();
    if (loop != nullptr && descriptor >= 0 && loop->watchDescriptor(descriptor))
        watchedDescriptor = descriptor;
    return true;
}

void SpectrumDisplay::close() {
    // The host stops polling the connection before it closes with the window.
    unwatchDescriptor();
    pointerColumn_ = -1;
    leaveTracked_ = false;
    if (displayWindow) KillTimer(displayWindow, kRefreshTimer);
    releaseBuffers(resources_);
    if (holdButton_) {
        // Give the button its own procedure back before it goes.
        if (resources_.buttonDefaultProc) {
            SetWindowLongPtrA(holdButton_, GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(resources_.buttonDefaultProc));
        }
        attach(holdButton_, nullptr);
        holdButton_ = nullptr;
    }
    resources_.buttonDefaultProc = nullptr;
    if (displayWindow) {
        attach(displayWindow, nullptr);
        // Destroys the Hold button with it.
        DestroyWindow(displayWindow);
        displayWindow = nullptr;
    }
}

void SpectrumDisplay::run() {
    MSG message{};
    for (int handled = 0; handled < kMaxMessagesPerRun; ++handled) {
        // The display first, then its button in case the queue filters children apart.
        if (displayWindow && PeekMessageA(&message, displayWindow, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        } else if (holdButton_ && PeekMessageA(&message, holdButton_, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        } else {
            break;
        }
    }
}

void SpectrumDisplay::onHostDescriptor(int fd, bool error) {
    if (fd < 0 || fd != watchedDescriptor) return;
    // The display's messages, and with them the X events now readable.
    run();
    // A broken connection stays readable (or in error) for ever: the host stops polling it,
    // and the display goes on, off screen, with its timer.
    if (error || eventDescriptor() != fd) unwatchDescriptor();
}

int SpectrumDisplay::eventDescriptor() const {
#if defined(_WIN32)
    // No descriptors to poll: the host's message loop delivers the display's messages.
    return -1;
#else
    return displayWindow != nullptr ? cqpPresentedXConnection(displayWindow) : -1;
#endif
}

void SpectrumDisplay::unwatchDescriptor() {
    if (watchedDescriptor < 0) return;
    loop->unwatchDescriptor(watchedDescriptor);
    watchedDescriptor = -1;
}

LRESULT CALLBACK SpectrumDisplay::displayWindowProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    SpectrumDisplay* display = displayOf(window);
    if (!display) return DefWindowProcA(window, message, wParam, lParam);
    try {
        return display->handleDisplayMessage(window, message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the window system or the host; the next tick tries again.
        return 0;
    }
}

LRESULT CALLBACK SpectrumDisplay::holdButtonProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    // The button's background is never erased: it shows the Hold image the display draws.
    if (message == WM_ERASEBKGND) return 1;
    SpectrumDisplay* display = displayOf(window);
    WNDPROC previous = display ? display->resources_.buttonDefaultProc : nullptr;
    const LRESULT result = previous ? CallWindowProcA(previous, window, message, wParam, lParam)
                                    : DefWindowProcA(window, message, wParam, lParam);
    // Destroyed from outside (with the host's window): forget the handle.
    if (message == WM_NCDESTROY && display) display->forgetWindows(false);
    return result;
}

LRESULT SpectrumDisplay::handleDisplayMessage(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(window, &paint);
            if (dc && resources_.backDc) {
                BitBlt(dc, 0, 0, display::kWidth, display::kHeight, resources_.backDc, 0, 0,
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
        case WM_MOUSEMOVE:
            // Signed client coordinates (the low and high words).
            pointerMoved(window, static_cast<short>(LOWORD(lParam)),
                         static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_MOUSELEAVE:
            pointerLeft(window);
            return 0;
        case WM_NCDESTROY:
            // The host destroyed its window, and this one with it, before closing the display:
            // stop the timer and forget the handles, which may soon name other windows.
            forgetWindows(true);
            return DefWindowProcA(window, message, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void SpectrumDisplay::forgetWindows(bool displayToo) {
    if (holdButton_) attach(holdButton_, nullptr);
    holdButton_ = nullptr;
    if (displayToo && displayWindow) {
        KillTimer(displayWindow, kRefreshTimer);
        attach(displayWindow, nullptr);
        displayWindow = nullptr;
    }
}

void SpectrumDisplay::toggleHold(HWND window) {
    if (!resources_.backDc) return;
    if (model.held()) {
        SetTimer(window, kRefreshTimer, cqscope::DisplayModel::kRefreshPeriodMs, nullptr);
    } else {
        KillTimer(window, kRefreshTimer);
    }
    // Redraw at once from the magnitudes as they stand; no recomputation.
    model.toggleHold();
    draw(window);
}

void SpectrumDisplay::refresh(HWND window) {
    if (!resources_.backDc) return;
    source.prepareAnalysis();
    // The bars are whole pixels: the magnitudes need only be close enough for those. The
    // pointer readout reads them too: single-precision kernels put them within a few parts
    // per million, far below its tenths of a dB and whole cents.
    if (model.refresh(source.signalSpan())) source.transformShown(sameBar);
    ++refreshes;
    draw(window);
}

void SpectrumDisplay::draw(HWND window) {
    resources_.holdActive = model.held();
    clearBackBuffer(resources_);
    if (model.barsShown()) drawSpectrumBars(resources_, source);
    drawNoteStripes(resources_, source);
    drawGridAndLabels(resources_);
    if (pointerColumn_ >= 0) drawReadout();
    InvalidateRect(window, nullptr, FALSE);
}

void SpectrumDisplay::pointerMoved(HWND window, int x, int y) {
    if (!leaveTracked_) {
        // Without word of its leave the readout could stay for ever: show none then.
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = window;
        leaveTracked_ = TrackMouseEvent(&track) != FALSE;
        if (!leaveTracked_) return;
    }
    const int column = x < 0 ? 0 : (x >= display::kWidth ? display::kWidth - 1 : x);
    if (column == pointerColumn_ && y == pointerRow_) return;
    pointerColumn_ = column;
    pointerRow_ = y;
    if (resources_.backDc) draw(window);
}

void SpectrumDisplay::pointerLeft(HWND window) {
    leaveTracked_ = false;
    if (pointerColumn_ < 0) return;
    pointerColumn_ = -1;
    if (resources_.backDc) draw(window);
}

void SpectrumDisplay::drawReadout() {
    for (int octave = 0; octave < cqscope::kOctaves; ++octave) {
        for (int bin = 0; bin < cqscope::kBinsPerOctave; ++bin)
            readoutInput_[octave][bin] = source.magnitude(octave, bin);
    }
    drawPointerReadout(resources_, layoutPointerReadout(readoutInput_, model.barsShown(),
                                                        pointerColumn_, pointerRow_, readoutCell_));
}
