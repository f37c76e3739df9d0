// Which checks `validate` runs on a plug-in of each format (format_checks.cpp: one line per
// format that has checks). Main thread.
#pragma once

#include <string>

#include "formats/hosted_plugin.h"
#include "validate/checks.h"

namespace cqhost {

// The checks of `format`, or null when validate has none for it.
const validation::CheckSuite* checkSuiteOf(const PluginFormat& format);

// The format named `name` (PluginFormat::name) among those with checks, or null.
const PluginFormat* checkedFormatNamed(const std::string& name);

}  // namespace cqhost
