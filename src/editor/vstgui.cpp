#include "editor/vstgui.h"

#include "frame/module_instance.h"

namespace {

// The module that the display's class and windows belong to: this library's own, recorded when
// it was loaded, so that another plug-in's class of the same name can never take our windows'
// procedure (and leave them calling freed code when it is unloaded). Code linked into a program
// instead of loaded as a library has no load notification and belongs to the main module.
HINSTANCE ownModule() {
    return moduleInstance != nullptr ? static_cast<HINSTANCE>(moduleInstance)
                                     : GetModuleHandleA(nullptr);
}

}  // namespace

VstGui::VstGui(AudioEffect* effect, DisplaySource& source)
    : AEffGUIEditor(effect), spectrum(ownModule(), source) {
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
