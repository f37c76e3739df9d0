#include "formats/vst2/plugin_editor.h"

#include "common/host_error.h"

namespace cqhost {

void checkEditorEffect(PluginHost& host, const std::string& task) {
    const AEffect& effect = host.effect();
    if (!(effect.flags & effFlagsHasEditor)) {
        throw HostError("plug-in " + host.path() + " has no editor, so there is nothing to " +
                        task);
    }
    if (effect.processReplacing == nullptr) {
        throw HostError("plug-in " + host.path() + " has no processReplacing entry");
    }
}

EditorSize editorSize(PluginHost& host) {
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) {
        throw HostError("plug-in " + host.path() + " reports no editor size");
    }
    return {rect->right - rect->left, rect->bottom - rect->top};
}

}  // namespace cqhost
