// Whether a call a DSP module made to its host is well-formed: the validator and the
// fuzz targets hold every call to the same rules.
#pragma once

#include <cstdint>
#include <string>

#include "module_description.h"
#include "recording_host.h"

namespace lumhost {

// The value size a pin of `datatype` sends: 1 byte for bool, 4 for float and int.
inline std::int32_t valueSize(std::int32_t datatype) { return datatype == 4 ? 1 : 4; }

// What is wrong with `call`, made while the module processed a block with `positions`
// valid positions (for an empty block, the host's block size), or an empty string.
// Checks the pin (a described output of the right kind), the size (the pin's own), the
// streaming flag and the position.
std::string dspHostCallProblem(const ModuleDescription& module, const HostCall& call, std::int32_t positions);

}  // namespace lumhost
