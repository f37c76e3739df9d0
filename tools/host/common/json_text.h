// Text for the JSON that `probe --json` prints. Any thread.
#pragma once

#include <cstdio>
#include <string>

namespace cqhost {

// `text` as a JSON string literal: quoted, with quotes, backslashes and control characters
// escaped.
inline std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

}  // namespace cqhost
