// Counts the locks and the system calls that may block (file and socket I/O, sleeps) made
// anywhere in the program, to show that modules make none while they process or handle a
// pin, as RealtimeSanitizer does in newer compilers. On Linux the module libraries call
// these functions through this program's definitions, which count and pass on; Windows
// DLLs call their system libraries directly, so there the counts are not available.
#pragma once

namespace lumhost {

struct RealtimeCalls {
    long locks = 0;
    long blockingCalls = 0;
};

enum class RealtimeCallKind { Allocation, Lock, BlockingCall };
// Counts one call of `function` on this thread if a module's call is being watched there.
void noteRealtimeCall(RealtimeCallKind kind, const char* function);

// Whether realtimeCallCount sees the modules' calls in this build.
bool realtimeCallsVisible();
RealtimeCalls realtimeCallCount();

}  // namespace lumhost
