#include "editor/aeffguieditor.h"

#include "editor/drawcontext.h"
#include "editor/view_frame.h"
#include "frame/audioeffect.h"
#include "frame/audioeffectx.h"
#include "platform/ticks.h"
#include "platform/win32.h"

std::atomic<VstInt32> AEffGUIEditor::knobMode{0};

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {
    nextIdleTime = GetTickCount();
    if (effect) {
        effect->getAeffect()->flags |= effFlagsHasEditor;
        effect->setEditor(this);
    }
    // A thread already in the multithreaded apartment answers RPC_E_CHANGED_MODE: then this
    // editor holds no reference of its own and must not give one back.
    const HRESULT ole = OleInitialize(nullptr);
    oleInitialized = ole == S_OK || ole == S_FALSE;
}

AEffGUIEditor::~AEffGUIEditor() {
    if (oleInitialized) OleUninitialize();
}

bool AEffGUIEditor::getRect(ERect** rectPointer) {
    if (rectPointer) *rectPointer = &rect;
    return true;
}

void AEffGUIEditor::idle() {
    if (!inIdle && frame) frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) {
    return frame ? frame->onKeyDown(keyCode) == 1 : false;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) {
    return frame ? frame->onKeyUp(keyCode) == 1 : false;
}

bool AEffGUIEditor::onWheel(float distance) {
    if (!frame) return false;
    // The context lives for this call only; its destructor restores the device context.
    VSTGUI::CDrawContext context(frame, nullptr, static_cast<HWND>(parentWindow));
    POINT cursor{};
    GetCursorPos(&cursor);
    const VSTGUI::CPoint origin = context.getWindowOrigin();
    const VSTGUI::CPoint where{static_cast<int>(cursor.x) - origin.h,
                               static_cast<int>(cursor.y) - origin.v};
    return frame->onWheel(&context, where, distance);
}

bool AEffGUIEditor::setKnobMode(VstInt32 mode) {
    knobMode.store(mode, std::memory_order_relaxed);
    return true;
}

void AEffGUIEditor::editorHook(VstInt32, VstInt32) {}

bool AEffGUIEditor::beginEdit(VstInt32 index) {
    auto* extended = dynamic_cast<AudioEffectX*>(effect);
    return extended ? static_cast<bool>(extended->beginEdit(index)) : false;
}

bool AEffGUIEditor::endEdit(VstInt32 index) {
    auto* extended = dynamic_cast<AudioEffectX*>(effect);
    return extended ? static_cast<bool>(extended->endEdit(index)) : false;
}

void AEffGUIEditor::throttledIdle() {
    // Unsigned 32-bit millisecond arithmetic throughout, wrapping like the tick count, and
    // compared so that the wrap never makes a call look early or late.
    std::uint32_t now = GetTickCount();
    if (!cqtick::reached(now, nextIdleTime)) {
        Sleep(4);
        now += 4;
        if (!cqtick::reached(now, nextIdleTime - 50)) return;
    }
    idle();
    MSG message{};
    if (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
    nextIdleTime = now + 100;
    inIdle = true;
    if (effect) effect->masterIdle();
    inIdle = false;
}
