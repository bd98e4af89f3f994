#include "isolated_validation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_command_line.h"
#include "child_report.h"
#include "write_all.h"

namespace lumhost {
namespace {

// A parent that stopped reading is gone.
void tellParent(int fd, const std::string& line) { writeAll(fd, line.data(), line.size()); }

// lumhost's own file, as the running kernel knows it.
const char* kOwnFile = "/proc/self/exe";

// Started as a new program, not forked: a fork of a process whose other threads validate
// beside it (--jobs) could inherit a lock one of them held, the allocator's among them, and
// wait on it for good.
pid_t startChild(const std::string& libraryPath, std::uint32_t moduleNumber, const ValidationOptions& options,
                 int reportEnd) {
    // Every descriptor of ours closes on exec, the pipes of the children beside this one
    // among them; the report's end is copied to a number of its own, which stays open.
    const int childEnd = reportEnd == 3 ? 4 : 3;
    std::vector<std::string> arguments = childArguments(libraryPath, moduleNumber, options, childEnd);
    arguments.insert(arguments.begin(), "lumhost");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, reportEnd, childEnd);
    pid_t child = 0;
    const int error = posix_spawn(&child, kOwnFile, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start a validating child: " + std::string(strerror(error)));
    return child;
}

std::string signalName(int signal) {
    const char* abbreviation = sigabbrev_np(signal);
    return (abbreviation != nullptr ? "SIG" + std::string(abbreviation) : "signal " + std::to_string(signal)) + " (" +
           strsignal(signal) + ")";
}

// Reads the child's report until it closes the pipe or the deadline passes, telling
// `checkStarted` of the check the child runs.
bool readUntil(int fd, std::chrono::steady_clock::time_point deadline, ChildReport& report,
               const std::function<void(CheckId)>& checkStarted) {
    char chunk[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        // Told again while a check runs on, so a progress line can appear after its quiet start.
        if (checkStarted && report.running()) checkStarted(*report.running());
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(std::min<long long>(left.count(), 250)));
        if (ready < 0 && errno != EINTR) return true;
        if (ready <= 0) continue;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        report.read(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace

ModuleVerdict validateInChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                              const ValidationOptions& options, double timeoutSeconds,
                              const std::function<void(CheckId)>& checkStarted) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe: " + std::string(strerror(errno)));
    pid_t child = 0;
    try {
        child = startChild(library.path(), moduleNumber, options, fds[1]);
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[1]);  // or the pipe would stay open after the child is gone
    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    ChildReport report;
    const bool ended = readUntil(fds[0], deadline, report, checkStarted);
    close(fds[0]);
    if (!ended) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    ChildReport::Ending ending;
    ending.timedOut = !ended;
    ending.timeoutSeconds = timeoutSeconds;
    if (ended && WIFSIGNALED(status)) ending.death = "killed by " + signalName(WTERMSIG(status));
    if (ended && WIFEXITED(status)) ending.exitStatus = WEXITSTATUS(status);
    return report.verdict(module, options, ending);
}

int validateAsChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                    ValidationOptions options, std::uintptr_t reportPipe) {
    const int fd = static_cast<int>(reportPipe);
    // A child never outlives lumhost. A parent gone before the request took effect has
    // closed the pipe's other end: the pipe then reports an error.
    pollfd pipe{fd, POLLOUT, 0};
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || poll(&pipe, 1, 0) < 0 || (pipe.revents & (POLLERR | POLLNVAL)) != 0) {
        return 1;
    }
    options.checkStarted = [fd](CheckId check, const ModuleVerdict& soFar) {
        tellParent(fd, runningLine(check, soFar));
    };
    tellParent(fd, endLine(validateModule(library, module, moduleNumber, options)));
    // The verdict is told. What the module leaves behind, and what the C library keeps of
    // the call sites it looked up, are nobody's leak: no exit handlers, no leak check.
    _exit(0);
}

}  // namespace lumhost
