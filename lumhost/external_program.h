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

// Runs `command` (its first element found on PATH), writing `input` to its standard
// input and sending its standard output to `outputDescriptor`; a program still running
// after `timeLimitSeconds` is killed. Throws UserError when it cannot be started.
ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input, int outputDescriptor,
                         double timeLimitSeconds);

}  // namespace lumhost
