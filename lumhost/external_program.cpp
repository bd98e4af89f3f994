#include "external_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/user_error.h"
#include "ignored_broken_pipe.h"
#include "write_all.h"

extern char** environ;

namespace lumhost {
namespace {

// Programs such as gnuplot echo the offending input first and say what is wrong last.
std::string lastLine(std::FILE* file) {
    std::rewind(file);
    std::string last;
    char line[512];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        std::string text = line;
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
        if (!text.empty()) last = text;
    }
    return last;
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input, int outputDescriptor) {
    int toProgram[2];
    if (pipe2(toProgram, O_CLOEXEC) != 0) throw UserError("cannot run " + command[0] + ": " + std::strerror(errno));
    // Unnamed, so nothing is left behind whatever happens.
    std::FILE* errors = std::tmpfile();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toProgram[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputDescriptor, STDOUT_FILENO);
    if (errors != nullptr) posix_spawn_file_actions_adddup2(&actions, fileno(errors), STDERR_FILENO);
    std::vector<char*> arguments;
    for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, command[0].c_str(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toProgram[0]);
    if (spawned != 0) {
        close(toProgram[1]);
        if (errors != nullptr) std::fclose(errors);
        throw UserError("cannot run " + command[0] + ": " + std::strerror(spawned));
    }
    {
        const IgnoredBrokenPipe ignored;
        // A program that stops reading says why in its exit status.
        writeAll(toProgram[1], input.data(), input.size());
    }
    close(toProgram[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ProgramResult result{WIFEXITED(status) && WEXITSTATUS(status) == 0, {}};
    if (errors != nullptr) {
        result.lastErrorLine = lastLine(errors);
        std::fclose(errors);
    }
    return result;
}

}  // namespace lumhost
