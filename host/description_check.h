// Checks a library's module description against what its modules really register.
#pragma once

#include <string>
#include <vector>

#include "library_loader.h"
#include "module_description.h"

namespace lumhost {

// Creates every described module on its side and probes it through the interface:
// which pin indices are registered (setBuffer / setPin answer 0), which are outputs and
// of what size (graph start announces each), and that the other side is refused.
// Returns one line per disagreement; empty when description and library agree.
std::vector<std::string> compareDescriptionWithLibrary(const ModuleLibrary& library,
                                                       const LibraryDescription& description);
// The same for one module.
std::vector<std::string> compareDescriptionWithModule(const ModuleLibrary& library, const ModuleDescription& module);

}  // namespace lumhost
