// A validator for lum module libraries, in the way plug-in validators work for other
// formats: every module is created, queried, fed random but legal sessions, and every
// call it makes back to the host is checked.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library_loader.h"
#include "module_description.h"

namespace lumhost {

struct ValidationOptions {
    std::int32_t strictness = 5;  // 1 to 10: how long each module is exercised
    std::uint32_t seed = 1;
    // Counts allocations made while a module processes; null where they cannot be seen.
    std::function<long()> allocationCount;
};

struct ModuleVerdict {
    std::string id;
    Side side;
    std::int64_t checks = 0;
    std::vector<std::string> problems;    // empty: no check failed
    std::vector<std::string> notChecked;  // checks this platform cannot run

    bool passed() const { return problems.empty() && notChecked.empty(); }
    bool failed() const { return !problems.empty(); }
};

std::vector<ModuleVerdict> validateLibrary(const ModuleLibrary& library, const LibraryDescription& description,
                                           const ValidationOptions& options);

}  // namespace lumhost
