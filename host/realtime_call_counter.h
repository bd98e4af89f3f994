// Counts what a module does during a watched call that it must not do on the processing
// or user-interface path: allocate, lock or wait on another thread, make a call that may
// block, start or join a thread, as RealtimeSanitizer does in newer compilers. Only the
// thread that runs the module's call counts, and only while it runs, so the validator's own
// work and other threads never do. Whatever sees the calls reports each through
// noteRealtimeCall: on Linux this program's definitions of the C library's functions (the
// modules call them, then they pass on), on Windows hooks in the modules' import tables.
#pragma once

namespace lumhost {

enum class RealtimeCallKind { Allocation, Lock, BlockingCall, ThreadCall };
constexpr int kRealtimeCallKinds = 4;

// Counts one call of `function` on this thread if a module's call is being watched there.
void noteRealtimeCall(RealtimeCallKind kind, const char* function);

// Whether this program's interposers see the modules' locks, blocking calls and thread calls.
bool realtimeCallsVisible();

// The first call of a kind in a watched call: what was called, and the return addresses
// on the stack then, innermost first (none where the platform cannot walk the stack).
struct FirstRealtimeCall {
    static constexpr int kMaxFrames = 48;

    const char* function = nullptr;
    void* frames[kMaxFrames] = {};
    int frameCount = 0;
};

struct WatchedCalls {
    long count[kRealtimeCallKinds] = {};
    FirstRealtimeCall first[kRealtimeCallKinds];
};

// Starts counting this thread's calls afresh; with `stopAtFirst` the first call raises
// SIGTRAP while the module's frame is on the stack, for a debugger.
void startWatchingThisThread(bool stopAtFirst);
// Stops counting and gives what was counted since the start.
const WatchedCalls& stopWatchingThisThread();

}  // namespace lumhost
