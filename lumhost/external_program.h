// Runs another program the way a careful tool does: an argument vector, never a shell,
// so no file name or title is ever read as a command.
#pragma once

#include <string>
#include <vector>

namespace lumhost {

struct ProgramResult {
    bool succeeded;
    bool timedOut;              // killed at the time limit
    std::string lastErrorLine;  // the last line it wrote to standard error
};

// Where the program `name` is in the folders of PATH (under Windows `name`.exe first);
// empty when none has it.
std::string programOnPath(const std::string& name);

// Runs `command` (its first element found by programOnPath), writing `input` to its
// standard input and sending its standard output to `outputDescriptor`, a C runtime
// descriptor; a program still running after `timeLimitSeconds` is killed with whatever it
// started. Throws UserError when it cannot be started.
ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input, int outputDescriptor,
                         double timeLimitSeconds);

// The last line of `text` that is not blank: programs such as gnuplot echo the offending
// input first and say what is wrong last.
std::string lastLine(const std::string& text);

}  // namespace lumhost
