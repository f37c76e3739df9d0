// AEffEditor: the interface through which the effect's dispatchers reach its editor on the
// host's editor opcodes (get rectangle, open, close, idle, keys, knob mode). Every operation
// has a do-nothing default; a concrete editor replaces what it needs. It stands with the
// frame that calls it; the editors of src/editor derive from it.
//
// Threads: every operation runs on the host's user-interface thread (the editor opcodes
// arrive there). The effect owns its editor and deletes it through the virtual destructor.
#pragma once

#include "frame/host_interface.h"

class AudioEffect;

class AEffEditor {
  public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    virtual ~AEffEditor() {}

    virtual AudioEffect* getEffect() { return effect; }

    // Stores a null rectangle pointer and answers false: the base has no rectangle.
    // A null `rect` is tolerated (nothing is written).
    virtual bool getRect(ERect** rect) {
        if (rect != nullptr) *rect = nullptr;
        return false;
    }

    // `parent` is the host's native window (HWND on Windows, an X11 window id on Linux).
    virtual bool open(void* parent) {
        parentWindow = parent;
        return false;
    }

    virtual void close() { parentWindow = nullptr; }

    virtual bool isOpen() { return parentWindow != nullptr; }

    virtual void idle() {}

    // Key and wheel answers say whether the editor used the event.
    virtual bool onKeyDown(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onKeyUp(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onWheel(float /*distance*/) { return false; }

    virtual bool setKnobMode(VstInt32 /*mode*/) { return false; }

  protected:
    AudioEffect* effect = nullptr;  // the owning effect; not owned here
    void* parentWindow = nullptr;   // the host's parent window while open, else null
};
