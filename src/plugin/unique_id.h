// cqscope's VST 2 unique ID, 'dq93', stated once: the effect reports it in its record, and
// cqscope-host's validator recognises cqscope by it (and then adds the analyser's own checks).
#pragma once

#include <cstdint>

inline constexpr std::int32_t kCqscopeUniqueId = 0x64713933;  // 'dq93'
