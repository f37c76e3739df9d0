// A CLAP plug-in's GUI embedded in a parent window, as render, watch and the Windows capture
// show it: created for an embedded API ("x11" or "win32", not floating) with its size read,
// then given its parent and shown; destroyed with the object. Main thread, with the plug-in
// alive for the object's whole life.
#pragma once

#include "formats/clap/clap_host.h"
#include "formats/hosted_plugin.h"

namespace cqhost {

class ClapGuiSession {
  public:
    // Creates the GUI for `api` and reads its size (a win32 GUI is told its scale, 1, first,
    // as Windows hosts do). Throws HostError when the plug-in has no GUI for an embedded
    // window of that API, cannot create it or reports no size.
    // Creates the GUI and tells it `scale` (1.0 = 100 %) before asking its size.
    ClapGuiSession(ClapPlugin& plugin, const std::string& pluginPath, WindowApi api,
                   double scale = 1.0);
    ~ClapGuiSession();
    ClapGuiSession(const ClapGuiSession&) = delete;
    ClapGuiSession& operator=(const ClapGuiSession&) = delete;

    EditorSize size() const { return size_; }
    // Embeds the GUI in `parent` (of the API it was created for) and shows it. Throws
    // HostError when the plug-in refuses the parent.
    void embed(EditorParent parent);

  private:
    const clap_plugin& plugin_;
    std::string path_;
    WindowApi api_;
    const clap_plugin_gui* gui_ = nullptr;
    EditorSize size_;
};

}  // namespace cqhost
