#include "line_reader.h"

#include <iostream>

#include "terminal.h"

#if LUMHOST_LINE_EDITOR
#include <editline/readline.h>

#include <cstdlib>
#include <memory>
#endif

namespace lumhost {

LineReader::LineReader(std::string prompt) : prompt_(std::move(prompt)), onTerminal_(isTerminal(stdin)) {}

bool LineReader::next(std::string& line) {
#if LUMHOST_LINE_EDITOR
    if (onTerminal_) {
        const std::unique_ptr<char, decltype(&std::free)> typed(readline(prompt_.c_str()), &std::free);
        if (typed == nullptr) {
            std::cout << std::endl;  // Ctrl-D leaves the shell's prompt on a line of its own
            return false;
        }
        line = typed.get();
        if (!line.empty()) add_history(typed.get());
        return true;
    }
#else
    // No line editor for mingw: a terminal gets the prompt and plain lines.
    if (onTerminal_) std::cout << prompt_ << std::flush;
#endif
    return static_cast<bool>(std::getline(std::cin, line));
}

}  // namespace lumhost
