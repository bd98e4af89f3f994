#include "external_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "host/user_error.h"
#include "ignored_broken_pipe.h"

extern char** environ;

namespace lumhost {
namespace {

std::string contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char chunk[4096];
    while (std::size_t read = std::fread(chunk, 1, sizeof chunk, file)) text.append(chunk, read);
    return text;
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input, int outputDescriptor,
                         double timeLimitSeconds) {
    const std::string program = programOnPath(command[0]);
    if (program.empty()) throw UserError("cannot run " + command[0] + ": it is not on the PATH");
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(timeLimitSeconds));
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
    // A group of its own, so a time-out stops whatever the program started too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int spawned = posix_spawn(&child, program.c_str(), &actions, &attributes, arguments.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(toProgram[0]);
    if (spawned != 0) {
        close(toProgram[1]);
        if (errors != nullptr) std::fclose(errors);
        throw UserError("cannot run " + command[0] + ": " + std::strerror(spawned));
    }
    // The input is written without blocking, so a program that stops reading cannot hold
    // lumhost past the deadline.
    fcntl(toProgram[1], F_SETFL, O_NONBLOCK);
    bool timedOut = false;
    {
        const IgnoredBrokenPipe ignored;
        std::size_t written = 0;
        while (written < input.size() && !timedOut) {
            const ssize_t n = write(toProgram[1], input.data() + written, input.size() - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;  // a program that stops reading says why in its exit status
            } else {
                pollfd ready{toProgram[1], POLLOUT, 0};
                poll(&ready, 1, 10);
                timedOut = std::chrono::steady_clock::now() > deadline;
            }
        }
    }
    close(toProgram[1]);
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR)) break;
        if (timedOut || std::chrono::steady_clock::now() > deadline) {
            timedOut = true;
            kill(-child, SIGKILL);
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ProgramResult result{!timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0, timedOut, {}};
    if (errors != nullptr) {
        result.lastErrorLine = lastLine(contents(errors));
        std::fclose(errors);
    }
    return result;
}

}  // namespace lumhost
