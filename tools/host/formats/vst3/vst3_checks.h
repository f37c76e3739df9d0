// validate's checks of a VST 3 plug-in: its life cycle at several rates, its audio at several
// rates and block sizes, and note events (vst3_checks.cpp).
#pragma once

#include "validate/checks.h"

namespace cqhost::validation {

const CheckSuite& vst3CheckSuite();

}  // namespace cqhost::validation
