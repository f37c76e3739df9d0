// SpectrumDisplay: the display window of one analyser, for any host interface. open makes a
// child window of the class "DrawWnd", of the display's size, in a native parent window, with
// a back buffer, a refresh timer and a "Hold" button that freezes and resumes the picture.
// It opens showing what a silent refresh draws (grid, labels, held notes, no bars). Every tick
// recomputes the spectrum (when the last audio block was loud enough, as DisplayModel says) and
// repaints the view from the back buffer. While the pointer rests over the display window,
// each picture also shows the pointer readout (pointer_readout.h), redrawn at once when the
// pointer moves or leaves; without the pointer the picture is the same as ever.
//
// It needs only the parent window, the module handle its class and windows belong to (the
// module this code is linked into, so that another module's class of the same name never
// takes our windows' procedure), and the source it draws from (the analyser core). A host
// loop lets it run with `run`: the VST editor's idle, a CLAP timer, an LV2 idle callback, a
// program's main loop. Where the host offers timers and descriptors (HostLoop), the display
// asks for them itself: a timer every kHostTimerPeriodMs while it lives, and its window's
// event descriptor while it is open; the shell forwards the host's calls of them.
//
// Threads: construction, destruction, open, close, run and every message of its windows run
// on the user-interface thread that owns the windows. It reads the audio thread's results
// only through its DisplaySource. Each display owns its drawing objects, so several may be
// open at once. The only process-wide state is the window class of each module, registered
// while any display of that module lives (guarded).
#pragma once

#include <cstdint>

#include "core/display_source.h"
#include "display/display_model.h"
#include "display/display_resources.h"
#include "display/host_loop.h"
#include "display/pointer_readout.h"
#include "platform/win32.h"

class SpectrumDisplay {
  public:
    static constexpr const char* kWindowClass = "DrawWnd";
    static constexpr const char* kWindowName = "drawwnd";
    static constexpr UINT_PTR kRefreshTimer = 1;
    static constexpr int kHoldButtonId = 1000;
    // The period of the host timer that runs the display, in milliseconds: half the refresh
    // period, so that each refresh is handled within half a period of falling due.
    static constexpr std::uint32_t kHostTimerPeriodMs = 50;
    // Whether the display's window timer refreshes it with no run call: true where the host's
    // own message loop dispatches the timer's messages to our window (Windows); false where
    // only `run` delivers them (Linux, where the display lives in our own window library).
#if defined(_WIN32)
    static constexpr bool kRefreshesItself = true;
#else
    static constexpr bool kRefreshesItself = false;
#endif

    // Registers the window class under `module` (checked again by open). With a `loop` (which
    // must outlive the display), asks it for the display's timer.
    // Throws std::bad_alloc when memory runs out.
    SpectrumDisplay(HINSTANCE module, DisplaySource& source, HostLoop* loop = nullptr);
    // Closes the display if it is open, and gives the loop's timer back.
    ~SpectrumDisplay();
    SpectrumDisplay(const SpectrumDisplay&) = delete;
    SpectrumDisplay& operator=(const SpectrumDisplay&) = delete;

    // Shows the display in `parent` (opening an open display first closes it) and has the
    // loop watch its event descriptor. Answers false, drawing nothing, when the window class
    // cannot be registered under the module or the window cannot be created.
    bool open(HWND parent);
    // Stops watching the event descriptor, stops the timer, releases the buffers and destroys
    // the display window and its button.
    void close();
    bool isOpen() const {
        return displayWindow != nullptr;
    }

    // Lets the display handle what is due: the refresh timer, paints and Hold clicks of its
    // own windows (a bounded number of messages, so a window that keeps posting to itself
    // cannot hold the caller's loop). Needed wherever nobody else runs a message loop for the
    // windows (every Linux host); harmless where someone does.
    void run();
    // The host says the watched descriptor `fd` is readable (or in `error`): runs the display,
    // which reads the events waiting there, and stops watching a descriptor that is broken or
    // no longer the display's. Calls for any other descriptor change nothing.
    void onHostDescriptor(int fd, bool error);
    // Whether the shell must call run from whatever else its host offers (CLAP's
    // on_main_thread after each processed block): true where neither a host timer nor the
    // host's own message loop refreshes the display.
    bool needsRunCalls() const {
        return !hostTimer && !kRefreshesItself;
    }
    // The file descriptor the display window's events arrive on (its X connection), or -1
    // where there is none (Windows, or no display on screen).
    int eventDescriptor() const;

    HWND window() const {
        return displayWindow;
    }
    HWND holdButton() const {
        return holdButton_;
    }
    bool holdActive() const {
        return model.held();
    }
    // Whether the picture as last drawn has bars, and how many refreshes have drawn it since
    // construction (a readout follows the display with these).
    bool barsShown() const {
        return model.barsShown();
    }
    unsigned long refreshCount() const {
        return refreshes;
    }
    const DisplayResources& resources() const {
        return resources_;
    }
    // The column the pointer rests over in the display window, or -1 when it is not there.
    int pointerColumn() const {
        return pointerColumn_;
    }

    static LRESULT CALLBACK displayWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam);
    static LRESULT CALLBACK holdButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    LRESULT handleDisplayMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void toggleHold(HWND window);
    void refresh(HWND window);
    // Draws the picture as the model says (bars from the magnitudes as they stand).
    void draw(HWND window);
    // Drops the Hold button's handle, and the display window's when displayToo is set, after
    // the window system destroyed them.
    void forgetWindows(bool displayToo);
    // WM_MOUSEMOVE at (x, y) of the display window, and WM_MOUSELEAVE.
    void pointerMoved(HWND window, int x, int y);
    void pointerLeft(HWND window);
    // Draws the pointer readout over the picture from the magnitudes as they stand.
    void drawReadout();
    void unwatchDescriptor();

    HINSTANCE module;
    HWND displayWindow = nullptr;
    HWND holdButton_ = nullptr;
    bool resourcesPending = true;  // until the first open has made pens, brush and fonts
    unsigned long refreshes = 0;
    DisplaySource& source;
    HostLoop* loop;              // null without a host loop
    bool hostTimer = false;      // the loop's timer runs the display
    int watchedDescriptor = -1;  // the event descriptor the loop watches, or -1
    cqscope::DisplayModel model;
    DisplayResources resources_;
    // The pointer over the display window, in its pixels (column -1: not over it), and
    // whether the window system will tell us when it leaves.
    int pointerColumn_ = -1;
    int pointerRow_ = 0;
    bool leaveTracked_ = false;
    TextCell readoutCell_;                // the label font's cell, measured on open
    cqscope::Magnitudes readoutInput_{};  // what the readout reads, copied at each drawing
};
