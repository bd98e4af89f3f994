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
#include <sstream>
#include <stdexcept>

#include "host/text.h"
#include "write_all.h"

namespace lumhost {
namespace {

// The child's report, one line each: as each check starts, the verdict so far ("reset",
// "checks N", "ran ID", "problem ID<TAB>TEXT", "notchecked ID<TAB>TEXT") and "running ID";
// at the end the whole verdict and "end". A parent that stopped reading is gone.
void tellParent(int fd, const std::string& text) { writeAll(fd, text.data(), text.size()); }

// The verdict so far, which replaces the last one the parent read.
std::string verdictLines(const ModuleVerdict& verdict) {
    std::string lines = "reset\nchecks " + std::to_string(verdict.checks) + "\n";
    for (const std::string& id : verdict.ran) lines += "ran " + id + "\n";
    for (const CheckNote& note : verdict.problems)
        lines += "problem " + note.check + "\t" + oneLine(note.message) + "\n";
    for (const CheckNote& note : verdict.notChecked) {
        lines += "notchecked " + note.check + "\t" + oneLine(note.message) + "\n";
    }
    return lines;
}

[[noreturn]] void runChild(int fd, const ModuleLibrary& library, const ModuleDescription& module,
                           std::uint32_t moduleNumber, ValidationOptions options) {
    options.checkStarted = [fd](const std::string& check, const ModuleVerdict& soFar) {
        tellParent(fd, verdictLines(soFar) + "running " + check + "\n");
    };
    tellParent(fd, verdictLines(validateModule(library, module, moduleNumber, options)) + "end\n");
    // No exit handlers or destructors: they belong to the parent.
    _exit(0);
}

// Fills `verdict` from the child's report; returns whether it reached "end".
bool readReport(const std::string& report, ModuleVerdict& verdict) {
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space), rest = space == std::string::npos ? "" : line.substr(space + 1);
        const std::size_t tab = rest.find('\t');
        const CheckNote note{rest.substr(0, tab), tab == std::string::npos ? "" : rest.substr(tab + 1)};
        if (key == "reset") {
            verdict.checks = 0;
            verdict.ran.clear();
            verdict.problems.clear();
            verdict.notChecked.clear();
        }
        if (key == "running") verdict.crashedCheck = rest;
        if (key == "checks") verdict.checks = std::stoll(rest);
        if (key == "ran") verdict.ran.insert(rest);
        if (key == "problem") verdict.problems.push_back(note);
        if (key == "notchecked") verdict.notChecked.push_back(note);
        if (key == "end") return true;
    }
    return false;
}

std::string signalName(int signal) {
    const char* abbreviation = sigabbrev_np(signal);
    return (abbreviation != nullptr ? "SIG" + std::string(abbreviation) : "signal " + std::to_string(signal)) + " (" +
           strsignal(signal) + ")";
}

// Reads the child's report until it closes the pipe or the deadline passes, telling
// `checkStarted` of each check the child starts.
bool readUntil(int fd, std::chrono::steady_clock::time_point deadline, std::string& report,
               const std::function<void(const std::string&)>& checkStarted) {
    char chunk[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        // Told again while a check runs on, so a progress line can appear after its quiet start.
        const std::size_t running = report.rfind("\nrunning ");
        const std::size_t end = running == std::string::npos ? running : report.find('\n', running + 1);
        if (checkStarted && end != std::string::npos) checkStarted(report.substr(running + 9, end - running - 9));
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(std::min<long long>(left.count(), 250)));
        if (ready < 0 && errno != EINTR) return true;
        if (ready <= 0) continue;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        report.append(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace

ModuleVerdict validateInChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                              const ValidationOptions& options, double timeoutSeconds,
                              const std::function<void(const std::string&)>& checkStarted) {
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
    std::string report;
    const bool ended = readUntil(fds[0], deadline, report, checkStarted);
    close(fds[0]);
    if (!ended) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    ModuleVerdict verdict;
    verdict.id = module.id;
    verdict.side = module.side;
    const bool complete = readReport(report, verdict);
    if (!ended) {
        std::ostringstream limit;
        limit << "hung: timed out after " << timeoutSeconds << " s";
        verdict.crash = limit.str();
    } else if (WIFSIGNALED(status)) {
        verdict.crash = "crashed: killed by " + signalName(WTERMSIG(status));
    } else if (!complete || WEXITSTATUS(status) != 0) {
        verdict.crash =
            "crashed: ended with exit status " + std::to_string(WEXITSTATUS(status)) + " before its verdict";
    }
    if (!verdict.crashed()) verdict.crashedCheck.clear();
    return verdict;
}

}  // namespace lumhost
