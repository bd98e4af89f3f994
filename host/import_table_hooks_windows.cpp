#include <winsock2.h>
// After winsock2.h, which windows.h would otherwise replace with the old winsock.h.
#include <windows.h>
// _read and _write.
#include <io.h>
// _aligned_malloc and the rest.
#include <malloc.h>
// _beginthreadex.
#include <process.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "import_table_hooks.h"

namespace lumhost {
namespace {

struct HookedImport {
    const char* library;
    const char* function;
    RealtimeCallKind kind;
    void* replacement;
};

extern const HookedImport kHookedImports[];
// What each import held before it was hooked, by its place in kHookedImports.
extern void* originals[];

// A function that counts, then calls the import it replaces with its own calling convention.
template <std::size_t Index, class Result, class... Arguments>
Result WINAPI countedSystemCall(Arguments... arguments) {
    noteRealtimeCall(kHookedImports[Index].kind, kHookedImports[Index].function);
    return reinterpret_cast<Result(WINAPI*)(Arguments...)>(originals[Index])(arguments...);
}

template <std::size_t Index, class Result, class... Arguments>
void* counting(Result(WINAPI*)(Arguments...)) {
    return reinterpret_cast<void*>(&countedSystemCall<Index, Result, Arguments...>);
}

#if !defined(_WIN64)
// The C library's functions are cdecl where the system's are stdcall.
template <std::size_t Index, class Result, class... Arguments>
Result __cdecl countedLibraryCall(Arguments... arguments) {
    noteRealtimeCall(kHookedImports[Index].kind, kHookedImports[Index].function);
    return reinterpret_cast<Result(__cdecl*)(Arguments...)>(originals[Index])(arguments...);
}

template <std::size_t Index, class Result, class... Arguments>
void* counting(Result(__cdecl*)(Arguments...)) {
    return reinterpret_cast<void*>(&countedLibraryCall<Index, Result, Arguments...>);
}
constexpr const char* kOperatorNew = "_Znwj";
constexpr const char* kOperatorNewArray = "_Znaj";
#else
constexpr const char* kOperatorNew = "_Znwy";
constexpr const char* kOperatorNewArray = "_Znay";
#endif

// The C runtimes a library may import from: MinGW's and older Visual C++'s (msvcrt.dll,
// msvcr*.dll), and the Universal CRT as Visual C++ links it (its api-ms-win-crt-* sets) or
// as ucrtbase.dll. Each has its own entries: a library may import from both, and each slot
// must go on to its own runtime's function.
constexpr const char* kMsvcrt = "msvcrt";
constexpr const char* kUniversalCrt = "the Universal CRT";

bool startsWithIgnoringCase(const char* text, const char* prefix) {
    return _strnicmp(text, prefix, std::strlen(prefix)) == 0;
}

bool isFrom(const char* hookLibrary, const char* library) {
    if (hookLibrary == kMsvcrt) return startsWithIgnoringCase(library, "msvcr");
    if (hookLibrary == kUniversalCrt)
        return startsWithIgnoringCase(library, "ucrtbase.dll") || startsWithIgnoringCase(library, "api-ms-win-crt-");
    return _stricmp(hookLibrary, library) == 0;
}

// What the Universal CRT's printf family ends in (the formatting options, the stream, the
// format, a locale and the arguments).
template <class Char>
using UniversalPrinter = int (*)(std::uint64_t, FILE*, const Char*, void*, va_list);

// The type picks the calling convention and the arguments passed on; __COUNTER__ the
// entry's place in the table.
constexpr int kFirstHook = __COUNTER__ + 1;
#define LUM_HOOK_NAMED(library, name, pointer, kind) \
    { library, name, RealtimeCallKind::kind, counting<__COUNTER__ - kFirstHook>(static_cast<pointer>(nullptr)) }
#define LUM_HOOK(library, function, kind) LUM_HOOK_NAMED(library, #function, decltype(&::function), kind)
#define LUM_C_RUNTIME_HOOK_NAMED(name, pointer, kind) \
    LUM_HOOK_NAMED(kMsvcrt, name, pointer, kind), LUM_HOOK_NAMED(kUniversalCrt, name, pointer, kind)
#define LUM_C_RUNTIME_HOOK(function, kind) LUM_C_RUNTIME_HOOK_NAMED(#function, decltype(&::function), kind)

const HookedImport kHookedImports[] = {
    LUM_HOOK("KERNEL32.dll", HeapAlloc, Allocation),
    LUM_HOOK("KERNEL32.dll", HeapReAlloc, Allocation),
    LUM_HOOK("KERNEL32.dll", HeapFree, Allocation),
    LUM_C_RUNTIME_HOOK(malloc, Allocation),
    LUM_C_RUNTIME_HOOK(calloc, Allocation),
    LUM_C_RUNTIME_HOOK(realloc, Allocation),
    LUM_C_RUNTIME_HOOK(free, Allocation),
    LUM_C_RUNTIME_HOOK(_strdup, Allocation),
    LUM_C_RUNTIME_HOOK(_aligned_malloc, Allocation),
    LUM_C_RUNTIME_HOOK(_aligned_realloc, Allocation),
    LUM_C_RUNTIME_HOOK(_aligned_free, Allocation),
    LUM_HOOK_NAMED("libstdc++-6.dll", kOperatorNew, void* (*)(std::size_t), Allocation),
    LUM_HOOK_NAMED("libstdc++-6.dll", kOperatorNewArray, void* (*)(std::size_t), Allocation),
    LUM_HOOK("KERNEL32.dll", EnterCriticalSection, Lock),
    LUM_HOOK("KERNEL32.dll", AcquireSRWLockExclusive, Lock),
    LUM_HOOK("KERNEL32.dll", AcquireSRWLockShared, Lock),
    LUM_HOOK("KERNEL32.dll", TryEnterCriticalSection, Lock),
    LUM_HOOK("KERNEL32.dll", TryAcquireSRWLockExclusive, Lock),
    LUM_HOOK("KERNEL32.dll", TryAcquireSRWLockShared, Lock),
    LUM_HOOK("KERNEL32.dll", WaitForSingleObject, Lock),
    LUM_HOOK("KERNEL32.dll", WaitForSingleObjectEx, Lock),
    LUM_HOOK("KERNEL32.dll", WaitForMultipleObjects, Lock),
    LUM_HOOK("KERNEL32.dll", WaitForMultipleObjectsEx, Lock),
    LUM_HOOK("KERNEL32.dll", SleepConditionVariableCS, Lock),
    LUM_HOOK("KERNEL32.dll", SleepConditionVariableSRW, Lock),
    LUM_HOOK("KERNEL32.dll", Sleep, BlockingCall),
    LUM_HOOK("KERNEL32.dll", SleepEx, BlockingCall),
    LUM_HOOK("KERNEL32.dll", CreateFileA, BlockingCall),
    LUM_HOOK("KERNEL32.dll", CreateFileW, BlockingCall),
    LUM_HOOK("KERNEL32.dll", ReadFile, BlockingCall),
    LUM_HOOK("KERNEL32.dll", WriteFile, BlockingCall),
    LUM_HOOK("KERNEL32.dll", FlushFileBuffers, BlockingCall),
    LUM_C_RUNTIME_HOOK(fopen, BlockingCall),
    LUM_C_RUNTIME_HOOK(_wfopen, BlockingCall),
    LUM_C_RUNTIME_HOOK(fread, BlockingCall),
    LUM_C_RUNTIME_HOOK(fwrite, BlockingCall),
    LUM_C_RUNTIME_HOOK(fputc, BlockingCall),
    LUM_C_RUNTIME_HOOK(fputs, BlockingCall),
    LUM_C_RUNTIME_HOOK(puts, BlockingCall),
    LUM_C_RUNTIME_HOOK(vfprintf, BlockingCall),
    LUM_C_RUNTIME_HOOK_NAMED("__stdio_common_vfprintf", UniversalPrinter<char>, BlockingCall),
    LUM_C_RUNTIME_HOOK_NAMED("__stdio_common_vfwprintf", UniversalPrinter<wchar_t>, BlockingCall),
    LUM_C_RUNTIME_HOOK(fflush, BlockingCall),
    LUM_C_RUNTIME_HOOK(fclose, BlockingCall),
    LUM_C_RUNTIME_HOOK(_read, BlockingCall),
    LUM_C_RUNTIME_HOOK(_write, BlockingCall),
    LUM_HOOK("WS2_32.dll", connect, BlockingCall),
    LUM_HOOK("WS2_32.dll", accept, BlockingCall),
    LUM_HOOK("WS2_32.dll", send, BlockingCall),
    LUM_HOOK("WS2_32.dll", sendto, BlockingCall),
    LUM_HOOK("WS2_32.dll", recv, BlockingCall),
    LUM_HOOK("WS2_32.dll", recvfrom, BlockingCall),
    LUM_HOOK("WS2_32.dll", select, BlockingCall),
    LUM_HOOK("WS2_32.dll", WSASend, BlockingCall),
    LUM_HOOK("WS2_32.dll", WSARecv, BlockingCall),
    LUM_HOOK_NAMED("MSVCP140.dll", "_Mtx_lock", int (*)(void*), Lock),
    LUM_HOOK_NAMED("MSVCP140.dll", "_Mtx_trylock", int (*)(void*), Lock),
    LUM_HOOK_NAMED("MSVCP140.dll", "_Mtx_timedlock", int (*)(void*, const void*), Lock),
    LUM_HOOK_NAMED("MSVCP140.dll", "_Cnd_wait", int (*)(void*, void*), Lock),
    LUM_HOOK_NAMED("MSVCP140.dll", "_Cnd_timedwait", int (*)(void*, void*, const void*), Lock),
    LUM_HOOK_NAMED("MSVCP140.dll", "_Thrd_sleep", void (*)(const void*), BlockingCall),
    LUM_HOOK_NAMED("MSVCP140.dll", "_Thrd_sleep_for", void (*)(unsigned long), BlockingCall),
    LUM_HOOK_NAMED("MSVCP140.dll", "_Thrd_yield", void (*)(), BlockingCall),
    LUM_HOOK("KERNEL32.dll", CreateThread, ThreadCall),
    LUM_C_RUNTIME_HOOK(_beginthreadex, ThreadCall),
};

void* originals[std::size(kHookedImports)];

const HookedImport* hookFor(const char* library, const char* function) {
    for (const HookedImport& hook : kHookedImports) {
        if (isFrom(hook.library, library) && std::strcmp(hook.function, function) == 0) return &hook;
    }
    return nullptr;
}

void replace(void** slot, void* function) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    *slot = function;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}

}  // namespace

ImportTableHooks::ImportTableHooks(const ModuleLibrary& library) {
    auto* base = static_cast<BYTE*>(library.handle());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto* from = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); from->Name != 0;
         ++from) {
        // Without the names kept apart from the slots, the slots cannot say what they hold.
        if (from->OriginalFirstThunk == 0) continue;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + from->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + from->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const HookedImport* hook =
                hookFor(reinterpret_cast<const char*>(base + from->Name), reinterpret_cast<const char*>(byName->Name));
            if (hook == nullptr) continue;
            auto** slot = reinterpret_cast<void**>(&slots->u1.Function);
            originals[hook - kHookedImports] = *slot;
            replaced_.emplace_back(slot, *slot);
            replace(slot, hook->replacement);
        }
    }
}

ImportTableHooks::~ImportTableHooks() {
    for (const auto& [slot, original] : replaced_) replace(slot, original);
}

}  // namespace lumhost
