// cqscope's own checks, beyond what any effect must pass: validate recognises the analyser by
// its unique ID (or is told with --analyser) and then expects what analyser_checks.cpp lists.
#pragma once

#include "formats/vst2/checks/vst2_checks.h"

namespace cqhost::validation {

// Whether the loaded effect is the analyser, by its unique ID.
bool isAnalyser(const AEffect& effect);

// The analyser's expectations: bit-exact pass-through, its record and answers, the event lists
// it takes beyond what hosts promise, and its display's Hold control.
const Expectations& analyserExpectations();

}  // namespace cqhost::validation
