// The plug-in formats cqscope-host hosts (each a PluginFormat, hosted_plugin.h), and the one
// place that decides which format a file holds (formats.cpp: one line per format). Portable;
// main thread only.
#pragma once

#include <memory>
#include <string>

#include "formats/hosted_plugin.h"

namespace cqhost {

// The format of the file at `path`: the first that holds it, in the registry's order.
const PluginFormat& pluginFormatOf(const std::string& path);

// Opens the plug-in at `path` through its format.
std::unique_ptr<HostedPlugin> openPlugin(const std::string& path, const PluginLoad& load = {});

}  // namespace cqhost
