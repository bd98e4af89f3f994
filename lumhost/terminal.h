// Whether a standard stream is a terminal: progress lines, prompts and the refusal to
// write audio or pictures there depend on it.
#pragma once

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace lumhost {

inline bool isTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace lumhost
