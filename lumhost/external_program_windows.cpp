#include <io.h>
#include <windows.h>

#include <algorithm>
#include <thread>

#include "external_program.h"
#include "host/user_error.h"
#include "windows_text.h"

namespace lumhost {
namespace {

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE value) : value_(value) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return value_; }
    HANDLE* put() { return &value_; }
    void close() {
        if (value_ != nullptr && value_ != INVALID_HANDLE_VALUE) CloseHandle(value_);
        value_ = nullptr;
    }

private:
    HANDLE value_ = nullptr;
};

// One argument as the C runtime splits a command line back: quoted when it holds blanks or
// quotes, with the backslashes before a quote doubled.
std::wstring quotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

[[noreturn]] void cannotRun(const std::string& program) {
    throw UserError("cannot run " + program + ": " + windowsErrorText(GetLastError()));
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input, int outputDescriptor,
                         double timeLimitSeconds) {
    const std::string program = programOnPath(command[0]);
    if (program.empty()) throw UserError("cannot run " + command[0] + ": it is not on the PATH");
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle inputRead, inputWrite, errorRead, errorWrite, output;
    if (!CreatePipe(inputRead.put(), inputWrite.put(), &inheritable, 0) ||
        !CreatePipe(errorRead.put(), errorWrite.put(), &inheritable, 0) ||
        !SetHandleInformation(inputWrite.get(), HANDLE_FLAG_INHERIT, 0) ||
        !SetHandleInformation(errorRead.get(), HANDLE_FLAG_INHERIT, 0) ||
        !DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(_get_osfhandle(outputDescriptor)),
                         GetCurrentProcess(), output.put(), 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        cannotRun(command[0]);
    }
    // A job ends whatever the program started with it, at the time limit or with lumhost.
    Handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job.get() == nullptr ||
        !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        cannotRun(command[0]);
    }
    std::wstring commandLine = quotedArgument(widened(program));
    for (std::size_t i = 1; i < command.size(); ++i) commandLine += L" " + quotedArgument(widened(command[i]));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead.get();
    startup.hStdOutput = output.get();
    startup.hStdError = errorWrite.get();
    PROCESS_INFORMATION started{};
    // Suspended until it is in the job, so nothing it starts escapes.
    if (!CreateProcessW(widened(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
        cannotRun(command[0]);
    }
    const Handle process(started.hProcess), thread(started.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        TerminateProcess(process.get(), 1);
        cannotRun(command[0]);
    }
    ResumeThread(thread.get());
    // The program has its own copies: the pipes end when it does.
    inputRead.close();
    errorWrite.close();
    output.close();

    // Input and errors pass on threads of their own, so a program that stops reading or
    // writes much cannot hold lumhost past the time limit.
    std::thread writer([&] {
        for (std::size_t done = 0; done < input.size();) {
            DWORD written = 0;
            const auto size = static_cast<DWORD>(std::min<std::size_t>(input.size() - done, 65536));
            if (!WriteFile(inputWrite.get(), input.data() + done, size, &written, nullptr)) break;
            done += written;
        }
        inputWrite.close();
    });
    std::string errors;
    std::thread reader([&] {
        char chunk[4096];
        DWORD read = 0;
        while (ReadFile(errorRead.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) errors.append(chunk, read);
    });
    const auto milliseconds = static_cast<DWORD>(std::clamp(timeLimitSeconds * 1000.0, 0.0, 4294967294.0));
    const bool timedOut = WaitForSingleObject(process.get(), milliseconds) != WAIT_OBJECT_0;
    // Whatever is left of it goes too, so the pipes' other ends close.
    TerminateJobObject(job.get(), 1);
    WaitForSingleObject(process.get(), INFINITE);
    writer.join();
    reader.join();
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    return {!timedOut && exitCode == 0, timedOut, lastLine(errors)};
}

}  // namespace lumhost
