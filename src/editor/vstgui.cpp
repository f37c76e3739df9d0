#include "editor/vstgui.h"

#include "kit/own_module.h"

// The display's class and windows belong to this library's own module (code linked into a
// program: the main module).
VstGui::VstGui(AudioEffect* effect, DisplaySource& source)
    : AEffGUIEditor(effect), spectrum(cqscope::ownModule(), source) {
    rect.top = 0;
    rect.left = 0;
    rect.bottom = display::kHeight;
    rect.right = display::kWidth;
}

bool VstGui::open(void* parent) {
    close();
    if (!spectrum.open(static_cast<HWND>(parent))) return false;
    parentWindow = parent;
    return true;
}

void VstGui::close() {
    spectrum.close();
    parentWindow = nullptr;
}

#if !defined(_WIN32)
void VstGui::idle() {
    AEffGUIEditor::idle();
    if (inIdle) return;
    spectrum.run();
}
#endif
