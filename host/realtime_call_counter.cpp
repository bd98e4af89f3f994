#include "realtime_call_counter.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#endif

namespace lumhost {
namespace {

// Plain data, constant-initialised: the allocator's interposers read it on every call, on
// any thread and before main, where dynamic initialisation of a thread_local (which may
// allocate) would call back in here.
struct ThreadWatch {
    bool watching;
    bool stopAtFirst;
    WatchedCalls calls;
};

thread_local ThreadWatch thisThread{};

void recordStack(FirstRealtimeCall& first) {
#if !defined(_WIN32)
    first.frameCount = backtrace(first.frames, FirstRealtimeCall::kMaxFrames);
#else
    first.frameCount = CaptureStackBackTrace(0, FirstRealtimeCall::kMaxFrames, first.frames, nullptr);
#endif
}

// Says why first: without a debugger the signal ends the program.
void stop(const char* function) {
#if defined(_WIN32)
    (void)function;
    DebugBreak();
#else
    const char* const parts[] = {"lumhost: stopped at a module's call of ", function, " (--abort-on-violation)\n"};
    for (const char* part : parts) {
        if (write(STDERR_FILENO, part, strlen(part)) < 0) break;
    }
    raise(SIGTRAP);
#endif
}

}  // namespace

// lumhost links the interposers wherever there are some.
bool realtimeCallsVisible() {
#if defined(_WIN32)
    return false;
#else
    return true;
#endif
}

// Not instrumented: the allocator's interposers call this while AddressSanitizer starts,
// before its shadow memory is there.
__attribute__((no_sanitize("address"))) void noteRealtimeCall(RealtimeCallKind kind, const char* function) {
    ThreadWatch& watch = thisThread;
    if (!watch.watching) return;
    const auto index = static_cast<int>(kind);
    if (watch.calls.count[index]++ == 0) {
        // What walking the stack calls is not the module's.
        watch.watching = false;
        FirstRealtimeCall& first = watch.calls.first[index];
        first.function = function;
        recordStack(first);
        if (watch.stopAtFirst) stop(function);
        watch.watching = true;
    }
}

void startWatchingThisThread(bool stopAtFirst) {
#if !defined(_WIN32)
    // backtrace loads the unwinder on its first call, which allocates.
    static const bool primed = [] {
        void* frame = nullptr;
        return backtrace(&frame, 1) >= 0;
    }();
    (void)primed;
#endif
    ThreadWatch& watch = thisThread;
    watch.calls = WatchedCalls{};
    watch.stopAtFirst = stopAtFirst;
    watch.watching = true;
}

const WatchedCalls& stopWatchingThisThread() {
    thisThread.watching = false;
    return thisThread.calls;
}

}  // namespace lumhost
