// validate's checks of a CLAP plug-in: its life cycle at several rates, its audio at several
// rates and block sizes, and note and MIDI event lists (clap_checks.cpp).
#pragma once

#include "validate/checks.h"

namespace cqhost::validation {

const CheckSuite& clapCheckSuite();

}  // namespace cqhost::validation
