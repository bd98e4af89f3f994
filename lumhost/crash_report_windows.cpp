#include "crash_report_windows.h"

#include <windows.h>

#include <cstdio>

#include "child_report.h"

namespace lumhost {
namespace {

struct NamedException {
    DWORD code;
    const char* name;
};

#define LUM_EXCEPTION(code) \
    { code, #code }
const NamedException kNamedExceptions[] = {
    LUM_EXCEPTION(EXCEPTION_ACCESS_VIOLATION),
    LUM_EXCEPTION(EXCEPTION_STACK_OVERFLOW),
    LUM_EXCEPTION(EXCEPTION_INT_DIVIDE_BY_ZERO),
    LUM_EXCEPTION(EXCEPTION_INT_OVERFLOW),
    LUM_EXCEPTION(EXCEPTION_ILLEGAL_INSTRUCTION),
    LUM_EXCEPTION(EXCEPTION_PRIV_INSTRUCTION),
    LUM_EXCEPTION(EXCEPTION_IN_PAGE_ERROR),
    LUM_EXCEPTION(EXCEPTION_DATATYPE_MISALIGNMENT),
    LUM_EXCEPTION(EXCEPTION_ARRAY_BOUNDS_EXCEEDED),
    LUM_EXCEPTION(EXCEPTION_BREAKPOINT),
    LUM_EXCEPTION(EXCEPTION_SINGLE_STEP),
    LUM_EXCEPTION(EXCEPTION_FLT_DENORMAL_OPERAND),
    LUM_EXCEPTION(EXCEPTION_FLT_DIVIDE_BY_ZERO),
    LUM_EXCEPTION(EXCEPTION_FLT_INEXACT_RESULT),
    LUM_EXCEPTION(EXCEPTION_FLT_INVALID_OPERATION),
    LUM_EXCEPTION(EXCEPTION_FLT_OVERFLOW),
    LUM_EXCEPTION(EXCEPTION_FLT_STACK_CHECK),
    LUM_EXCEPTION(EXCEPTION_FLT_UNDERFLOW),
    LUM_EXCEPTION(EXCEPTION_NONCONTINUABLE_EXCEPTION),
    LUM_EXCEPTION(EXCEPTION_INVALID_DISPOSITION),
    LUM_EXCEPTION(EXCEPTION_GUARD_PAGE),
    LUM_EXCEPTION(EXCEPTION_INVALID_HANDLE),
    LUM_EXCEPTION(STATUS_STACK_BUFFER_OVERRUN),
    LUM_EXCEPTION(STATUS_HEAP_CORRUPTION),
};

HANDLE reportPipe = nullptr;

// " in LUM_BROKEN.lum+0x1a2b", or nothing where no loaded module holds `address`.
std::string placeOf(void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
        return "";
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    const wchar_t* name = path;
    for (DWORD i = 0; i < length; ++i) {
        if (path[i] == L'\\' || path[i] == L'/') name = path + i + 1;
    }
    char utf8[4 * MAX_PATH] = {};
    WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
    char offset[32];
    std::snprintf(offset, sizeof offset, "+0x%llx",
                  static_cast<unsigned long long>(static_cast<char*>(address) - reinterpret_cast<char*>(module)));
    return " in " + std::string(utf8) + offset;
}

[[noreturn]] void dieOf(const EXCEPTION_RECORD& exception) {
    const std::string line = crashLine(exceptionName(exception.ExceptionCode) + placeOf(exception.ExceptionAddress));
    DWORD written = 0;
    WriteFile(reportPipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), exception.ExceptionCode);
    ExitProcess(exception.ExceptionCode);  // not reached: TerminateProcess does not return to itself
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* exception) { dieOf(*exception->ExceptionRecord); }

// A stack overflow may leave too little stack to reach the unhandled-exception filter.
LONG WINAPI onStackOverflow(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) dieOf(*exception->ExceptionRecord);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

std::string exceptionName(unsigned long code) {
    for (const NamedException& named : kNamedExceptions) {
        if (named.code == code) return named.name;
    }
    char unnamed[32];
    std::snprintf(unnamed, sizeof unnamed, "exception 0x%08lx", code);
    return unnamed;
}

void reportCrashesTo(void* pipe) {
    reportPipe = pipe;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // Room for the crash line's words once the stack has overflowed.
    ULONG reserve = 64 * 1024;
    SetThreadStackGuarantee(&reserve);
    SetUnhandledExceptionFilter(onUnhandledException);
    AddVectoredExceptionHandler(1, onStackOverflow);
}

}  // namespace lumhost
