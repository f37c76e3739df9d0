// A CLAP plug-in's GUI embedded in an X11 window, as render and watch show it: created for the
// "x11" API (not floating) with its size read, then given its parent and shown; destroyed with
// the object. Main thread, with the plug-in alive for the object's whole life.
#pragma once

#include "formats/clap/clap_host.h"
#include "formats/vst2/plugin_editor.h"

namespace cqhost {

class ClapGuiSession {
  public:
    // Creates the GUI and reads its size. Throws HostError when the plug-in has no GUI for an
    // embedded X11 window, cannot create it or reports no size.
    ClapGuiSession(ClapPlugin& plugin, const std::string& pluginPath);
    ~ClapGuiSession();
    ClapGuiSession(const ClapGuiSession&) = delete;
    ClapGuiSession& operator=(const ClapGuiSession&) = delete;

    EditorSize size() const { return size_; }
    // Embeds the GUI in the window with this X11 window ID (or a window of the plug-in's own
    // window library, which takes its handle there) and shows it. Throws HostError when the
    // plug-in refuses the parent.
    void embed(unsigned long x11Window);

  private:
    const clap_plugin& plugin_;
    std::string path_;
    const clap_plugin_gui* gui_ = nullptr;
    EditorSize size_;
};

}  // namespace cqhost
