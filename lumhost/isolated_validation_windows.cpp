#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "child_command_line.h"
#include "child_report.h"
#include "crash_report_windows.h"
#include "host/import_table_hooks.h"
#include "isolated_validation.h"
#include "windows_process.h"
#include "windows_text.h"

namespace lumhost {
namespace {

[[noreturn]] void failWith(const std::string& what) {
    throw std::runtime_error(what + ": error " + std::to_string(GetLastError()));
}

std::wstring ownPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) failWith("cannot find lumhost's own file");
        if (length < path.size()) return path.substr(0, length);
        path.resize(2 * path.size());
    }
}

std::wstring childCommandLine(const std::wstring& self, const std::string& libraryPath, std::uint32_t moduleNumber,
                              const ValidationOptions& options, HANDLE reportPipe) {
    std::wstring line = quotedArgument(self);
    for (const std::string& argument :
         childArguments(libraryPath, moduleNumber, options, reinterpret_cast<std::uintptr_t>(reportPipe))) {
        line += L" " + quotedArgument(widened(argument));
    }
    return line;
}

// Reads the child's report until the child has ended and said all it wrote, or the
// deadline passes; false then.
bool readUntil(HANDLE pipe, HANDLE process, std::chrono::steady_clock::time_point deadline, ChildReport& report,
               const std::function<void(CheckId)>& checkStarted) {
    char chunk[4096];
    for (bool exited = false;;) {
        DWORD available = 0;
        // A broken pipe: every process that could write has ended.
        const bool open = PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr);
        if (open && available > 0) {
            DWORD n = 0;
            if (!ReadFile(pipe, chunk, std::min<DWORD>(available, sizeof chunk), &n, nullptr)) return true;
            report.read(chunk, n);
            continue;
        }
        if (!open || exited) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        // Told again while a check runs on, so a progress line can appear after its quiet start.
        if (checkStarted && report.running()) checkStarted(*report.running());
        exited =
            WaitForSingleObject(process, static_cast<DWORD>(std::min<long long>(left.count(), 50))) == WAIT_OBJECT_0;
    }
}

// Exit codes from 0xC0000000 on are the exceptions that ended a process.
bool isException(DWORD exitCode) { return exitCode >= 0xC0000000u; }

}  // namespace

ModuleVerdict validateInChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                              const ValidationOptions& options, double timeoutSeconds,
                              const std::function<void(CheckId)>& checkStarted) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    WindowsHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0)) failWith("cannot make a pipe");
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    const WindowsHandle job(killingJob(JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION));
    if (job.get() == nullptr) failWith("cannot make a job object");

    const std::wstring self = ownPath();
    std::wstring commandLine = childCommandLine(self, library.path(), moduleNumber, options, writeEnd.get());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // Suspended until it is in the job, so nothing it starts escapes the job. A refusal can
    // be passing (wine's server, busy with the last child's end, answers an internal error
    // now and then): tried again before the run gives up.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                           &startup, &started)) {
            break;
        }
        if (attempt == 4) failWith("cannot start a validating child");
        Sleep(100 * attempt);
    }
    const WindowsHandle process(started.hProcess), thread(started.hThread);
    writeEnd.close();  // or the pipe would stay open after the child is gone
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        TerminateProcess(process.get(), 1);
        failWith("cannot put the validating child in a job object");
    }
    ResumeThread(thread.get());

    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    ChildReport report;
    const bool ended = readUntil(readEnd.get(), process.get(), deadline, report, checkStarted);
    if (!ended) TerminateJobObject(job.get(), 1);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);

    ChildReport::Ending ending;
    ending.timedOut = !ended;
    ending.timeoutSeconds = timeoutSeconds;
    if (isException(exitCode)) {
        ending.death = exceptionName(exitCode);
    } else {
        ending.exitStatus = exitCode;
    }
    return report.verdict(module, options, ending);
}

int validateAsChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                    ValidationOptions options, std::uintptr_t reportPipe) {
    const auto pipe = reinterpret_cast<HANDLE>(reportPipe);
    reportCrashesTo(pipe);
    const auto tellParent = [pipe](const std::string& line) {
        DWORD written = 0;
        WriteFile(pipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    };
    const ImportTableHooks hooks(library);
    options.checkStarted = [&](CheckId check, const ModuleVerdict& soFar) { tellParent(runningLine(check, soFar)); };
    tellParent(endLine(validateModule(library, module, moduleNumber, options)));
    return 0;
}

}  // namespace lumhost
