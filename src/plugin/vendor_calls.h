// cqscope's own vendor-specific call (opcode 50), stated once for the effect and our hosts.
// A host that must not race the kernels being built beside (a capture that has to start from
// the same bank every time) sends, on a non-audio thread after switching the effect on:
//   dispatcher(effect, 50, kVendorCallCode, kVendorCallWait, nullptr, timeoutMs)
// with the timeout in milliseconds as the float argument. The answer is 1 once no build is
// pending (the kernels of the last switch-on are in use, or the rate was refused), 0 when the
// timeout passed first. Every other vendor-specific call is answered 0.
#pragma once

#include <cstdint>

inline constexpr std::int32_t kVendorCallCode = 0x63717363;  // 'cqsc'
inline constexpr std::int64_t kVendorCallWait = 0x77616974;  // 'wait'
