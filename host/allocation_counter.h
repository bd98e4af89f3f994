// Counts the program's allocations, to show that modules allocate nothing while they
// process. On Linux the module libraries share this program's allocation functions;
// a Windows DLL allocates from its own runtime, so there the count is not available.
#pragma once

namespace lumhost {

// Whether allocationCount sees the modules' allocations in this build.
bool allocationsVisible();
long allocationCount();

}  // namespace lumhost
