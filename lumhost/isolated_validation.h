// Validation of one module in a child process, so that a module that crashes, aborts or
// hangs ends only its own run and gets a verdict like any other.
#pragma once

#include <cstdint>
#include <functional>

#include "host/validator.h"

namespace lumhost {

// The verdict of validateModule run in a child: forked on POSIX, lumhost started again
// on Windows. A child that dies, ends without its verdict or outlives `timeoutSeconds`
// (then killed) gives a crashed verdict naming the signal, exception or exit status and
// the check that was running; `checkStarted` hears of each check as the child starts it.
ModuleVerdict validateInChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                              const ValidationOptions& options, double timeoutSeconds,
                              const std::function<void(CheckId)>& checkStarted = {});

#if defined(_WIN32)
// The started child's side: validates `module` with the library's imports counted and
// reports to the pipe whose handle it inherited as `reportPipe`. Returns the exit status.
int validateAsChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                    ValidationOptions options, std::uintptr_t reportPipe);
#endif

}  // namespace lumhost
