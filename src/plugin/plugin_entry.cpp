#include "plugin/plugin_entry.h"

#include "plugin/myvst.h"

AEffect* createCqscopeEffect(audioMasterCallback audioMaster) noexcept {
    // The host relies on a callback; without one there is nobody to answer the version query.
    if (audioMaster == nullptr) return nullptr;
    try {
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        // If construction throws, the language releases what was built in reverse order:
        // members, then the base (which deletes the editor), then the object's memory.
        auto* effect = new MyVST(audioMaster);
        return effect->getAeffect();
    } catch (...) {
        return nullptr;
    }
}
