// Whether a call a DSP module made to its host is well-formed: the validator and the
// fuzz targets hold every call to the same rules.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "module_description.h"
#include "recording_host.h"

namespace lumhost {

// What is wrong with `call`, made while the module processed a block of `blockCount`
// samples with the host's block size `hostBlockSize`, or an empty string. Checks the pin
// (a described output of the right kind), the size (the pin's own), the streaming flag
// and the position. An empty block has no positions of its own: a module may then stamp
// any position of the host's block (the filter's idle step wraps to the last one).
std::string dspHostCallProblem(const ModuleDescription& module, const HostCall& call, std::int32_t blockCount,
                               std::int32_t hostBlockSize);

// What is wrong with `call` when the host called the module on `moduleThread`, or an empty
// string: a host that runs a module on one thread may not be thread-safe.
std::string dspHostThreadProblem(const HostCall& call, std::thread::id moduleThread);

}  // namespace lumhost
