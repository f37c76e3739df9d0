// `probe` and `process` for CLAP plug-ins (files isClapPlugin recognises). Main thread only;
// they throw HostError for bad input as the VST 2.x commands do.
#pragma once

#include "commands.h"

namespace cqhost {

int runClapProbe(const ProbeOptions& options);
int runClapProcess(const ProcessOptions& options);

}  // namespace cqhost
