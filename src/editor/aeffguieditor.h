// AEffGUIEditor: the editor base that adds the editor rectangle, the idle throttle with its
// paint-message pump, the process-wide knob mode, forwarding of keys and the wheel to a view
// frame, and forwarding of edit gestures to the effect.
//
// Threads: constructed and destroyed where the host creates and deletes the effect; every
// other operation runs on the host's user-interface thread. knobMode is shared by every editor
// of the process, whichever thread each runs on, so it is a relaxed atomic.
//
// Each editor calls OleInitialize once when constructed and, only if that succeeded (S_OK or
// S_FALSE), OleUninitialize once when destroyed, so the host thread's COM state is left as the
// host set it.
#pragma once

#include <atomic>
#include <cstdint>

#include "frame/aeffeditor.h"
#include "frame/host_interface.h"

namespace VSTGUI {
class CFrame;
}

class AEffGUIEditor : public AEffEditor {
  public:
    // Attaches itself to the effect: sets the record's has-editor flag and the effect's editor.
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    // Points *rect at this editor's rectangle (valid for the editor's life); answers true.
    bool getRect(ERect** rect) override;
    // Runs the frame's idle when there is a frame and no idle is already in progress.
    void idle() override;
    // Without a frame the editor never uses keys or the wheel (answers false).
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    bool onWheel(float distance) override;
    // Stores the mode for every editor of the process; answers true.
    bool setKnobMode(VstInt32 mode) override;

    virtual void editorHook(VstInt32 first, VstInt32 second);
    // Forward a parameter gesture's start and end to the effect (and so to the host).
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    // Idle for editors whose host calls it often: runs idle, dispatches one pending paint
    // message and calls the host's idle, at most about every 100 ms; calls in between sleep
    // 4 ms and return.
    virtual void throttledIdle();

    static VstInt32 getKnobMode() { return knobMode.load(std::memory_order_relaxed); }

  protected:
    ERect rect{};                     // pixels; the derived editor fills it in
    std::uint32_t nextIdleTime;       // tick count (ms) before which throttledIdle does not run
    bool inIdle = false;              // true while throttledIdle is inside the host's idle
    bool oleInitialized = false;      // OleInitialize succeeded; owed one OleUninitialize
    VSTGUI::CFrame* frame = nullptr;  // the view frame, if a derived editor has one

    static std::atomic<VstInt32> knobMode;
};
