// A validator for lum module libraries, in the way plug-in validators work for other
// formats: every module is created, queried, fed random but legal sessions, and every
// call it makes back to the host is checked.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "library_loader.h"
#include "module_description.h"
#include "module_verdict.h"
#include "realtime_call_counter.h"
#include "validation_checks.h"

namespace lumhost {

struct ValidationOptions {
    std::int32_t strictness = 5;  // 1 to 10: how long each module is exercised
    std::uint32_t seed = 1;
    CheckSelection checks;
    // Whether this module also carries the library's own checks; validate gives them to
    // the first module it validates.
    bool libraryChecks = true;
    // The rates and block sizes to sweep (coverageMatrix); empty: the defaults where swept.
    std::vector<float> sampleRates;
    std::vector<std::int32_t> blockSizes;
    // The kinds of call this program sees a module make (noteRealtimeCall hears of them);
    // the checks of the others are not checked.
    std::vector<RealtimeCallKind> realtimeCallsSeen;
    // Raises SIGTRAP at a module's first forbidden call, with its frame on the stack, for a
    // debugger; the calls are then watched whichever checks are selected.
    bool abortOnViolation = false;
    // Told of each check as it starts and the verdict so far, so a crash can be blamed on
    // that check and spare what came before.
    std::function<void(CheckId check, const ModuleVerdict& soFar)> checkStarted;
};

// `moduleNumber` is the module's place in the description, which seeds its sessions:
// a module validated alone meets the sessions it meets in a whole library's run.
ModuleVerdict validateModule(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                             const ValidationOptions& options);

}  // namespace lumhost
