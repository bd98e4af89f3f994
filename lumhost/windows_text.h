// Text across the Windows API: lumhost's names are in its code page (UTF-8 by its manifest),
// as the C runtime gives them in argv, and the wide calls take UTF-16; errors come back as
// numbers.
#pragma once

#include <windows.h>

#include <string>

namespace lumhost {

inline std::wstring widened(const std::string& text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// The system's words for `error` (a GetLastError value), on one line.
inline std::string windowsErrorText(DWORD error) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "Windows error " + std::to_string(error) : message;
}

}  // namespace lumhost
