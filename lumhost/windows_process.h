// What lumhost needs to start another program under Windows: handles that close
// themselves, a command line the C runtime splits back, and a job that takes the program
// and everything it starts down with it. [Windows only]
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace lumhost {

class WindowsHandle {
public:
    WindowsHandle() = default;
    explicit WindowsHandle(HANDLE value) : value_(value) {}
    ~WindowsHandle() { close(); }
    WindowsHandle(const WindowsHandle&) = delete;
    WindowsHandle& operator=(const WindowsHandle&) = delete;

    HANDLE get() const { return value_; }
    HANDLE* put() { return &value_; }
    HANDLE release() { return std::exchange(value_, nullptr); }
    void close() {
        if (value_ != nullptr && value_ != INVALID_HANDLE_VALUE) CloseHandle(value_);
        value_ = nullptr;
    }

private:
    HANDLE value_ = nullptr;
};

// One argument as the C runtime splits a command line back: quoted when it holds blanks or
// quotes, with the backslashes before a quote doubled.
inline std::wstring quotedArgument(const std::wstring& argument) {
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

// A job that ends what it holds when it is closed or lumhost ends, and `limits` besides;
// null if the system refuses one.
inline HANDLE killingJob(DWORD limits = 0) {
    WindowsHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION information{};
    information.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | limits;
    if (job.get() == nullptr ||
        !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &information, sizeof information)) {
        return nullptr;
    }
    return job.release();
}

}  // namespace lumhost
