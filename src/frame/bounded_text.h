// Writing text into a host's buffer of maxLen + 1 bytes: the text is cut to maxLen
// characters, a zero follows it, and a zero always stands at position maxLen.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "frame/host_interface.h"

// Requires: `text` holds maxLen + 1 bytes. A null `text` or a negative maxLen writes nothing.
inline void writeBoundedText(char* text, VstInt32 maxLen, std::string_view source) {
    if (text == nullptr || maxLen < 0) return;
    const std::size_t bound = static_cast<std::size_t>(maxLen);
    const std::size_t length = source.size() < bound ? source.size() : bound;
    std::memcpy(text, source.data(), length);
    text[length] = '\0';
    text[bound] = '\0';
}
