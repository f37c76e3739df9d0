// The plug-in formats cqscope-host hosts, and the one place that decides which format a file
// holds (formats.cpp: one line per format). Portable; main thread only.
#pragma once

#include <memory>
#include <string>

#include "formats/hosted_plugin.h"

namespace cqhost {

struct PluginFormat {
    // The format's name, as messages give it ("VST 2.x", "CLAP").
    const char* name;
    // Whether the file at `path` is of this format. Never throws; a file that cannot be read
    // is not (the last format, which takes any file, then says why it cannot be loaded).
    bool (*holds)(const std::string& path);
    // Loads the module and makes its (first) plug-in, not yet started. Throws HostError with a
    // one-line reason.
    std::unique_ptr<HostedPlugin> (*open)(const std::string& path, const PluginLoad& load);
    // What a host learns about every plug-in of the module: `probe`'s text, or its JSON.
    // Throws HostError as `open` does.
    std::string (*probe)(const std::string& path, bool json);
};

// The format of the file at `path`: the first that holds it, in the registry's order.
const PluginFormat& pluginFormatOf(const std::string& path);

// Opens the plug-in at `path` through its format.
std::unique_ptr<HostedPlugin> openPlugin(const std::string& path, const PluginLoad& load = {});

}  // namespace cqhost
