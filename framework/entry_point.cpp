// The library's only export, and the Windows entry point.
#include "factory.h"

#if defined(_WIN32)
#include <windows.h>

namespace {
HINSTANCE moduleHandle = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
    moduleHandle = instance;
    return TRUE;
}
#endif

LUM_EXPORT std::int32_t LUM_CALL MP_GetFactory(void** out) {
    if (out == nullptr) return lum::kFailed;
    return lum::getFactory().queryInterface(&lum::kIidMpUnknown, out);
}
