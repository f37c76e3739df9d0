#include "editor/vstgui.h"

#include "kit/own_module.h"

#if !defined(_WIN32)
#include "platform/cqscope_platform.h"
#endif

// The display's class and windows belong to this library's own module (code linked into a
// program: the main module).
VstGui::VstGui(AudioEffect* effect, DisplaySource& source)
    : AEffGUIEditor(effect), spectrum(cqscope::ownModule(), source) {
    rect.top = 0;
    rect.left = 0;
    rect.bottom = display::kHeight;
    rect.right = display::kWidth;
}

void VstGui::followScreenScale() {
#if !defined(_WIN32)
    spectrum.setScale(display::scaleOfDpi(cqpXftDpi()));
#endif
    rect.bottom = static_cast<std::int16_t>(spectrum.height());
    rect.right = static_cast<std::int16_t>(spectrum.width());
    scaleRead = true;
}

bool VstGui::getRect(ERect** rectPointer) {
    if (!spectrum.isOpen()) followScreenScale();
    return AEffGUIEditor::getRect(rectPointer);
}

bool VstGui::open(void* parent) {
    const bool told = scaleRead;
    close();
    if (!told) followScreenScale();
    scaleRead = true;
    if (!spectrum.open(static_cast<HWND>(parent))) return false;
    parentWindow = parent;
    return true;
}

void VstGui::close() {
    spectrum.close();
    scaleRead = false;
    parentWindow = nullptr;
}

#if !defined(_WIN32)
void VstGui::idle() {
    AEffGUIEditor::idle();
    if (inIdle) return;
    spectrum.run();
}
#endif
