#include "formats/clap/clap_gui_session.h"

#include <cstdint>

#include "common/host_error.h"

namespace cqhost {

ClapGuiSession::ClapGuiSession(ClapPlugin& plugin, const std::string& pluginPath)
    : plugin_(plugin.plugin()), path_(pluginPath) {
    gui_ = static_cast<const clap_plugin_gui*>(plugin.extension(CLAP_EXT_GUI));
    if (gui_ == nullptr || gui_->is_api_supported == nullptr || gui_->create == nullptr ||
        gui_->destroy == nullptr || gui_->get_size == nullptr || gui_->set_parent == nullptr ||
        gui_->show == nullptr || !gui_->is_api_supported(&plugin_, CLAP_WINDOW_API_X11, false)) {
        throw HostError("plug-in " + path_ + " has no GUI for an embedded X11 window");
    }
    if (!gui_->create(&plugin_, CLAP_WINDOW_API_X11, false)) {
        throw HostError("plug-in " + path_ + " could not create its GUI");
    }
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

void ClapGuiSession::embed(unsigned long x11Window) {
    clap_window window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = x11Window;
    if (!gui_->set_parent(&plugin_, &window)) {
        throw HostError("plug-in " + path_ + " refused the GUI's parent window");
    }
    gui_->show(&plugin_);
}

}  // namespace cqhost
