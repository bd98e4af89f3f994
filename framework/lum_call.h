// Calling convention and export of the lum plug-in API.
#pragma once

// Every interface operation, host callback and the library entry point use the
// platform's COM convention: stdcall on 32-bit Windows, the default elsewhere (64-bit
// Windows has one convention only, so the macro is empty there).
#if defined(_WIN32) && defined(__i386__)
#define LUM_CALL __stdcall
#else
#define LUM_CALL
#endif

// The one exported symbol of a module library. On Linux everything else is hidden by
// -fvisibility=hidden and a version script; on Windows the export is undecorated.
#if defined(_WIN32)
#define LUM_EXPORT extern "C" __declspec(dllexport)
#else
#define LUM_EXPORT extern "C" __attribute__((visibility("default")))
#endif
