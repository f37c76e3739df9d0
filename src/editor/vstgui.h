// VstGui: cqscope's editor. On open it makes a child window of the class "DrawWnd", of the
// display's size, in the host's window, a back buffer, a 100 ms refresh timer and a "Hold" button
// that freezes and resumes the picture. Every tick recomputes the spectrum (when the last audio
// block was loud enough) and repaints the view from the back buffer.
//
// Threads: constructed and destroyed where the host creates and deletes the effect. open,
// close, idle and every message of the display window and the button run on the host's
// user-interface thread. The editor reads the audio thread's results only through its
// DisplaySource.
//
// Each editor owns its drawing objects, so several editors may be open at once. On Linux,
// where hosts run no Win32 message loop, idle dispatches the display's pending messages.
#pragma once

#include "core/display_source.h"
#include "editor/aeffguieditor.h"
#include "editor/display_resources.h"
#include "platform/win32.h"

// The listener side of a control: neither operation is called by this editor.
class CControlListener {
  public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(VstInt32 context, VstInt32 control) = 0;
    virtual VstInt32 controlModifierClicked(VstInt32, VstInt32, VstInt32) { return 0; }
};

class VstGui : public AEffGUIEditor, public CControlListener {
  public:
    static constexpr const char* kWindowClass = "DrawWnd";
    static constexpr const char* kWindowName = "drawwnd";
    static constexpr UINT_PTR kRefreshTimer = 1;
    static constexpr UINT kRefreshPeriodMs = 100;
    static constexpr int kHoldButtonId = 1000;
    // The last block's span must reach this (single precision) for a recomputation.
    static constexpr float kRefreshThreshold = 0.005f;

    // Registers the window class (under this library's own module handle, so that classes of
    // the same name from other modules never meet ours) and attaches itself to the effect.
    VstGui(AudioEffect* effect, DisplaySource& source);
    ~VstGui() override;

    // parent: the host's window. Opening an open editor first closes it. Answers true, or
    // false (drawing nothing) when the window class cannot be registered under this library's
    // module or the display window cannot be created.
    bool open(void* parent) override;
    // Stops the timer, releases the buffers and destroys the display window and its button.
    void close() override;
#if !defined(_WIN32)
    void idle() override;
#endif

    void valueChanged(VstInt32, VstInt32) override {}

    static LRESULT CALLBACK displayWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam);
    static LRESULT CALLBACK holdButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND getDisplayWindow() const {
        return displayWindow;
    }
    HWND getHoldButton() const {
        return holdButton;
    }
    bool isHoldActive() const {
        return resources.holdActive;
    }
    const DisplayResources& getResources() const {
        return resources;
    }

  private:
    LRESULT handleDisplayMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void toggleHold(HWND window);
    void refresh(HWND window);
    // Drops the Hold button's handle, and the display window's when displayToo is set, after
    // the window system destroyed them.
    void forgetWindows(bool displayToo);

    HWND hostParent = nullptr;
    HWND displayWindow = nullptr;
    HWND holdButton = nullptr;
    bool resourcesPending = true;  // until the first open has made pens, brush and fonts
    DisplaySource& source;
    DisplayResources resources;
};
