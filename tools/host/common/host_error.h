// The one error type of cqscope-host: a complete, user-facing sentence that main() prints as
// a single line on stderr before exiting non-zero. Every check on user input throws it.
#pragma once

#include <stdexcept>
#include <string>

namespace cqhost {

class HostError : public std::runtime_error {
  public:
    explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace cqhost
