// VstGui: cqscope's VST 2 editor, a thin shell around the display (SpectrumDisplay). On open
// the display makes its child window of the class "DrawWnd", of the display's size, in the
// host's window, with a back buffer, a 100 ms refresh timer and a "Hold" button that freezes
// and resumes the picture.
//
// Threads: constructed and destroyed where the host creates and deletes the effect. open,
// close, idle and every message of the display window and the button run on the host's
// user-interface thread. The editor reads the audio thread's results only through the
// DisplaySource it hands to the display.
//
// Each editor owns its display, so several editors may be open at once. On Linux, where hosts
// run no Win32 message loop, idle lets the display run.
#pragma once

#include "core/display_source.h"
#include "display/spectrum_display.h"
#include "editor/aeffguieditor.h"
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
    static constexpr const char* kWindowClass = SpectrumDisplay::kWindowClass;
    static constexpr const char* kWindowName = SpectrumDisplay::kWindowName;
    static constexpr UINT_PTR kRefreshTimer = SpectrumDisplay::kRefreshTimer;
    static constexpr int kHoldButtonId = SpectrumDisplay::kHoldButtonId;

    // Registers the window class (under this library's own module handle, so that classes of
    // the same name from other modules never meet ours) and attaches itself to the effect.
    VstGui(AudioEffect* effect, DisplaySource& source);

    // The rectangle at the display's scale. VST 2 tells a plug-in no scale: on Linux the
    // editor follows the X server's Xft.dpi resource (display::scaleOfDpi; a host of ours
    // may state the resolution instead, cqpSetScreenDpi), read when the
    // host asks for the rectangle while the editor is closed (and at open, if it did not);
    // on Windows it stays at factor 1.
    bool getRect(ERect** rect) override;
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

    // The display window's and the Hold button's procedures.
    static LRESULT CALLBACK displayWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
        return SpectrumDisplay::displayWindowProc(window, message, wParam, lParam);
    }
    static LRESULT CALLBACK holdButtonProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
        return SpectrumDisplay::holdButtonProc(window, message, wParam, lParam);
    }

    HWND getDisplayWindow() const {
        return spectrum.window();
    }
    HWND getHoldButton() const {
        return spectrum.holdButton();
    }
    bool isHoldActive() const {
        return spectrum.holdActive();
    }
    const DisplayResources& getResources() const {
        return spectrum.resources();
    }

  private:
    // Takes the screen's scale into the display and the rectangle.
    void followScreenScale();

    SpectrumDisplay spectrum;
    bool scaleRead = false;  // since the last close: open keeps what the host was told
};
