#include "line_reader.h"

#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>

namespace lumhost {

LineReader::LineReader(std::string prompt) : prompt_(std::move(prompt)), onTerminal_(isatty(STDIN_FILENO) != 0) {}

bool LineReader::next(std::string& line) {
    if (!onTerminal_) return static_cast<bool>(std::getline(std::cin, line));
    const std::unique_ptr<char, decltype(&std::free)> typed(readline(prompt_.c_str()), &std::free);
    if (typed == nullptr) {
        std::cout << std::endl;  // Ctrl-D leaves the shell's prompt on a line of its own
        return false;
    }
    line = typed.get();
    if (!line.empty()) add_history(typed.get());
    return true;
}

}  // namespace lumhost
