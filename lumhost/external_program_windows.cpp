#include <io.h>
#include <windows.h>

#include <algorithm>
#include <thread>

#include "external_program.h"
#include "host/user_error.h"
#include "windows_process.h"
#include "windows_text.h"

namespace lumhost {
namespace {

[[noreturn]] void cannotRun(const std::string& program) {
    throw UserError("cannot run " + program + ": " + windowsErrorText(GetLastError()));
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input, int outputDescriptor,
                         double timeLimitSeconds) {
    const std::string program = programOnPath(command[0]);
    if (program.empty()) throw UserError("cannot run " + command[0] + ": it is not on the PATH");
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    WindowsHandle inputRead, inputWrite, errorRead, errorWrite, output;
    if (!CreatePipe(inputRead.put(), inputWrite.put(), &inheritable, 0) ||
        !CreatePipe(errorRead.put(), errorWrite.put(), &inheritable, 0) ||
        !SetHandleInformation(inputWrite.get(), HANDLE_FLAG_INHERIT, 0) ||
        !SetHandleInformation(errorRead.get(), HANDLE_FLAG_INHERIT, 0) ||
        !DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(_get_osfhandle(outputDescriptor)),
                         GetCurrentProcess(), output.put(), 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        cannotRun(command[0]);
    }
    // A job ends whatever the program started with it, at the time limit or with lumhost.
    const WindowsHandle job(killingJob());
    if (job.get() == nullptr) cannotRun(command[0]);
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
    const WindowsHandle process(started.hProcess), thread(started.hThread);
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
