// The editor checks' rig: the platform library inside the plug-in and an editor opened in it.
#include "formats/vst2/checks/editor_rig.h"

namespace cqhost::validation {

const PlatformApi& platform(const PluginHost& host) {
    std::string problem;
    const PlatformApi* api = findPlatformApi(host.library(), host.path(), &problem);
    if (api == nullptr) throw CheckSkipped{problem};
    return *api;
}

void requireEditor(const Subject& subject) {
    if (!subject.platformEditor) {
        throw CheckSkipped{
            "no editor on the platform library (a native editor needs a real "
            "window system parent)"};
    }
}

EditorSize editorSize(PluginHost& host) {
    ERect* rect = nullptr;
    const VstIntPtr answer = host.dispatch(effEditGetRect, 0, 0, &rect);
    if (answer != 1 || rect == nullptr) fail("the editor-rectangle opcode gives no rectangle");
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        fail("the editor rectangle " + std::to_string(width) + " x " + std::to_string(height) +
             " is not a window size");
    }
    return {width, height};
}

OpenEditor::OpenEditor(PluginHost& host) : host_(host), api_(platform(host)) {
    size_ = editorSize(host);
    window_ = api_.createHostWindow(size_.width, size_.height);
    if (window_ == nullptr) fail("cannot create a parent window for the editor");
    if (host_.dispatch(effEditOpen, 0, 0, window_) != 1) {
        api_.destroyWindow(window_);
        fail("the editor-open opcode does not answer 1");
    }
}

OpenEditor::~OpenEditor() {
    host_.dispatch(effEditClose);
    api_.destroyWindow(window_);
}

void OpenEditor::idle(int times) {
    for (int i = 0; i < times; ++i) {
        host_.dispatch(effEditIdle);
        api_.pumpMessages(window_);
    }
}

std::vector<std::uint32_t> OpenEditor::pixels() {
    std::vector<std::uint32_t> picture(static_cast<size_t>(size_.width) * size_.height);
    if (!api_.readWindowPixels(window_, picture.data(), size_.width, size_.height)) {
        fail("cannot read the editor's pixels");
    }
    return picture;
}

std::vector<std::uint32_t> OpenEditor::pixelsIn(int x, int y, int width, int height) {
    const auto picture = pixels();
    std::vector<std::uint32_t> area;
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            area.push_back(picture[static_cast<size_t>(row) * size_.width + column]);
        }
    }
    return area;
}

}  // namespace cqhost::validation
