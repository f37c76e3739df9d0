// SpectrumDisplay: the display window of one analyser, for any host interface. open makes a
// child window of the class "DrawWnd", of the display's size, in a native parent window, with
// a back buffer, a refresh timer and a "Hold" button that freezes and resumes the picture.
// It opens showing what a silent refresh draws (grid, labels, held notes, no bars). Every tick
// recomputes the spectrum (when the last audio block was loud enough, as DisplayModel says) and
// repaints the view from the back buffer.
//
// It needs only the parent window, the module handle its class and windows belong to (the
// module this code is linked into, so that another module's class of the same name never
// takes our windows' procedure), and the source it draws from (the analyser core). A host
// loop lets it run with `run`: the VST editor's idle, a CLAP timer, an LV2 idle callback, a
// program's main loop.
//
// Threads: construction, destruction, open, close, run and every message of its windows run
// on the user-interface thread that owns the windows. It reads the audio thread's results
// only through its DisplaySource. Each display owns its drawing objects, so several may be
// open at once. The only process-wide state is the window class of each module, registered
// while any display of that module lives (guarded).
#pragma once

#include "core/display_source.h"
#include "display/display_model.h"
#include "display/display_resources.h"
#include "platform/win32.h"

class SpectrumDisplay {
  public:
    static constexpr const char* kWindowClass = "DrawWnd";
    static constexpr const char* kWindowName = "drawwnd";
    static constexpr UINT_PTR kRefreshTimer = 1;
    static constexpr int kHoldButtonId = 1000;

    // Registers the window class under `module` (checked again by open).
    // Throws std::bad_alloc when memory runs out.
    SpectrumDisplay(HINSTANCE module, DisplaySource& source);
    // Closes the display if it is open.
    ~SpectrumDisplay();
    SpectrumDisplay(const SpectrumDisplay&) = delete;
    SpectrumDisplay& operator=(const SpectrumDisplay&) = delete;

    // Shows the display in `parent` (opening an open display first closes it). Answers false,
    // drawing nothing, when the window class cannot be registered under the module or the
    // window cannot be created.
    bool open(HWND parent);
    // Stops the timer, releases the buffers and destroys the display window and its button.
    void close();
    bool isOpen() const { return displayWindow != nullptr; }

    // Lets the display handle what is due: the refresh timer, paints and Hold clicks of its
    // own windows (a bounded number of messages, so a window that keeps posting to itself
    // cannot hold the caller's loop). Needed wherever nobody else runs a message loop for the
    // windows (every Linux host); harmless where someone does.
    void run();

    HWND window() const { return displayWindow; }
    HWND holdButton() const { return holdButton_; }
    bool holdActive() const { return model.held(); }
    // Whether the picture as last drawn has bars, and how many refreshes have drawn it since
    // construction (a readout follows the display with these).
    bool barsShown() const { return model.barsShown(); }
    unsigned long refreshCount() const { return refreshes; }
    const DisplayResources& resources() const { return resources_; }

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

    HINSTANCE module;
    HWND displayWindow = nullptr;
    HWND holdButton_ = nullptr;
    bool resourcesPending = true;  // until the first open has made pens, brush and fonts
    unsigned long refreshes = 0;
    DisplaySource& source;
    cqscope::DisplayModel model;
    DisplayResources resources_;
};
