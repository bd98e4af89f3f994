// The arguments with which lumhost starts itself as one module's validating child: the
// parent's choices for that module, and where to report. No user types them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/validator.h"

namespace lumhost {

// Everything after the program's name. `reportChannel` is the pipe the child writes its
// report to: a descriptor on POSIX, an inherited handle under Windows.
std::vector<std::string> childArguments(const std::string& libraryPath, std::uint32_t moduleNumber,
                                        const ValidationOptions& options, std::uintptr_t reportChannel);

}  // namespace lumhost
