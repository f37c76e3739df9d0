// What a host that shows an effect's editor while playing audio through it (render, the
// Windows capture) asks of the effect first. Portable; main thread only.
#pragma once

#include <string>

#include "formats/hosted_plugin.h"
#include "formats/vst2/plugin_host.h"

namespace cqhost {

// Throws HostError unless the effect has an editor and a processReplacing entry; `task` says
// what the editor is for ("render", "capture").
void checkEditorEffect(PluginHost& host, const std::string& task);

// The editor's size as the started effect reports it. Throws HostError when it reports none.
EditorSize editorSize(PluginHost& host);

}  // namespace cqhost
