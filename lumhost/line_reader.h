// Lines typed at a prompt: libedit's line editing and history on a terminal where lumhost
// has it (not under Windows), plain lines otherwise, so a session can be scripted.
#pragma once

#include <string>

namespace lumhost {

class LineReader {
public:
    explicit LineReader(std::string prompt);
    // The next line without its line end; false at the end of input.
    bool next(std::string& line);
    bool onTerminal() const { return onTerminal_; }

private:
    std::string prompt_;
    bool onTerminal_;
};

}  // namespace lumhost
