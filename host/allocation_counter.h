// Replaces the program's allocation functions, every operator new and delete, to count the
// allocations and to tell noteRealtimeCall of each. On Linux the module libraries share this
// program's allocation functions; a Windows DLL allocates from its own runtime, so there the
// count is not available.
#pragma once

namespace lumhost {

// Whether allocationCount sees the modules' allocations in this build.
bool allocationsVisible();
// Every operator new so far, on any thread.
long allocationCount();

}  // namespace lumhost
