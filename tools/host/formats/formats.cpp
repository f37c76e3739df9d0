#include "formats/formats.h"

#include "formats/clap/clap_format.h"
#include "formats/vst2/vst2_format.h"
#include "formats/vst3/vst3_format.h"

namespace cqhost {

const PluginFormat& pluginFormatOf(const std::string& path) {
    // In the order they are asked: a format that recognises its own files first; VST 2.x,
    // which takes any library, last.
    for (const PluginFormat* format : {&vst3Format(), &clapFormat(), &vst2Format()}) {
        if (format->holds(path)) return *format;
    }
    return vst2Format();
}

std::unique_ptr<HostedPlugin> openPlugin(const std::string& path, const PluginLoad& load) {
    return pluginFormatOf(path).open(path, load);
}

}  // namespace cqhost
