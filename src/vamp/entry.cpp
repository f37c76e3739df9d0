// The Vamp library's one entry: hosts ask it for the descriptor of each plug-in it holds (one,
// cqscope), built by the Vamp SDK's adapter around VampPlugin. Any thread, as the host calls
// it.
#include <vamp-sdk/PluginAdapter.h>
#include <vamp/vamp.h>

#include "vamp/vamp_plugin.h"

extern "C" __attribute__((visibility("default"))) const VampPluginDescriptor*
vampGetPluginDescriptor(unsigned int version, unsigned int index) {
    // Hosts of the first API version cannot take this library's descriptors.
    if (version < 1 || index != 0) return nullptr;
    static Vamp::PluginAdapter<cqscope::VampPlugin> adapter;
    return adapter.getDescriptor();
}
