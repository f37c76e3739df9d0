// Comparing tick counts (GetTickCount's unsigned 32-bit milliseconds), which wrap to zero
// every 49.7 days. Used by the editor's idle throttle on every platform and by the Linux
// library's timers; depends on nothing.
#pragma once

#include <cstdint>

namespace cqtick {

// True when `now` is at or after `when`: their difference read as signed is not negative,
// which is right across the wrap as long as the two are less than 24.8 days apart.
constexpr bool reached(std::uint32_t now, std::uint32_t when) {
    return static_cast<std::int32_t>(now - when) >= 0;
}

}  // namespace cqtick
