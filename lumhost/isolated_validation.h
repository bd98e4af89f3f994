// Validation of one module in a child process, so that a module that crashes, aborts or
// hangs ends only its own run and gets a verdict like any other.
#pragma once

#include <cstdint>
#include <functional>

#include "host/validator.h"

namespace lumhost {

// The verdict of validateModule run in a child, lumhost started again. A child that dies,
// ends without its verdict or outlives `timeoutSeconds` (then killed) gives a crashed
// verdict naming the signal, exception or exit status and the check that was running;
// `checkStarted` hears of each check as the child starts it.
ModuleVerdict validateInChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                              const ValidationOptions& options, double timeoutSeconds,
                              const std::function<void(CheckId)>& checkStarted = {});

// The started child's side: validates `module` and reports to the pipe it inherited as
// `reportPipe` (under Windows with the library's imports counted). Returns the exit status
// (on POSIX the child ends at once, its verdict told).
int validateAsChild(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                    ValidationOptions options, std::uintptr_t reportPipe);

}  // namespace lumhost
