// What the user is told in one line when a run cannot go on: a mistake in what was asked,
// or a file, folder or program that fails them. lumhost exits with its code.
#pragma once

#include <stdexcept>
#include <string>

namespace lumhost {

class UserError : public std::runtime_error {
public:
    explicit UserError(const std::string& message, int exitCode = 2)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

private:
    int exitCode_;
};

}  // namespace lumhost
