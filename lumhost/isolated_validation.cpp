#include "isolated_validation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "child_report.h"
#include "write_all.h"

namespace lumhost {
namespace {

// A parent that stopped reading is gone.
void tellParent(int fd, const std::string& line) { writeAll(fd, line.data(), line.size()); }

[[noreturn]] void runChild(int fd, const ModuleLibrary& library, const ModuleDescription& module,
                           std::uint32_t moduleNumber, ValidationOptions options) {
    options.checkStarted = [fd](CheckId check, const ModuleVerdict& soFar) {
        tellParent(fd, runningLine(check, soFar));
    };
    tellParent(fd, endLine(validateModule(library, module, moduleNumber, options)));
    // No exit handlers or destructors: they belong to the parent.
    _exit(0);
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
    std::fflush(nullptr);  // or the child would print the parent's buffered output again
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("cannot fork: " + std::string(strerror(errno)));
    if (child == 0) {
        // A child never outlives lumhost: a parent killed before the request took effect
        // has already handed the child to another process.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(1);
        close(fds[0]);
        runChild(fds[1], library, module, moduleNumber, options);
    }
    close(fds[1]);
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

}  // namespace lumhost
