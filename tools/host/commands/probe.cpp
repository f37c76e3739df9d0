// `probe`: loads a plug-in and prints what a host learns about it, in the words of its format.
// Portable: the Windows host prints the same.
#include <cstdio>

#include "common/commands.h"
#include "formats/formats.h"

namespace cqhost {

int runProbe(const ProbeOptions& options) {
    const std::string text = pluginFormatOf(options.plugin).probe(options.plugin, options.json);
    std::fputs(text.c_str(), stdout);
    return 0;
}

}  // namespace cqhost
