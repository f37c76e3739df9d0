#include "formats/clap/clap_gui_session.h"

#include <cstdint>

#include "common/host_error.h"

namespace cqhost {
namespace {

const char* apiId(WindowApi api) {
    return api == WindowApi::Win32 ? CLAP_WINDOW_API_WIN32 : CLAP_WINDOW_API_X11;
}

const char* apiName(WindowApi api) {
    return api == WindowApi::Win32 ? "win32" : "X11";
}

}  // namespace

ClapGuiSession::ClapGuiSession(ClapPlugin& plugin, const std::string& pluginPath, WindowApi api,
                               double scale)
    : plugin_(plugin.plugin()), path_(pluginPath), api_(api) {
    gui_ = static_cast<const clap_plugin_gui*>(plugin.extension(CLAP_EXT_GUI));
    if (gui_ == nullptr || gui_->is_api_supported == nullptr || gui_->create == nullptr ||
        gui_->destroy == nullptr || gui_->get_size == nullptr || gui_->set_parent == nullptr ||
        gui_->show == nullptr || !gui_->is_api_supported(&plugin_, apiId(api), false)) {
        throw HostError("plug-in " + path_ + " has no GUI for an embedded " + apiName(api) +
                        " window");
    }
    if (!gui_->create(&plugin_, apiId(api), false)) {
        throw HostError("plug-in " + path_ + " could not create its GUI");
    }
    // X11 and Win32 sizes are in physical pixels: a host tells the GUI its scale before asking
    // (a GUI that finds its own answers false, and its size says what it chose).
    if (gui_->set_scale != nullptr) (void)gui_->set_scale(&plugin_, scale);
    std::uint32_t width = 0, height = 0;
    if (!gui_->get_size(&plugin_, &width, &height) || width == 0 || height == 0) {
        gui_->destroy(&plugin_);
        throw HostError("plug-in " + path_ + " reports no GUI size");
    }
    size_ = {static_cast<int>(width), static_cast<int>(height)};
}

ClapGuiSession::~ClapGuiSession() {
    gui_->destroy(&plugin_);
}

void ClapGuiSession::embed(EditorParent parent) {
    clap_window window{};
    window.api = apiId(api_);
    if (api_ == WindowApi::Win32) {
        window.win32 = reinterpret_cast<void*>(parent.handle);
    } else {
        window.x11 = static_cast<unsigned long>(parent.handle);
    }
    if (!gui_->set_parent(&plugin_, &window)) {
        throw HostError("plug-in " + path_ + " refused the GUI's parent window");
    }
    gui_->show(&plugin_);
}

}  // namespace cqhost
