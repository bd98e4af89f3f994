// A validator for lum module libraries, in the way plug-in validators work for other
// formats: every module is created, queried, fed random but legal sessions, and every
// call it makes back to the host is checked.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "library_loader.h"
#include "module_description.h"
#include "realtime_call_counter.h"
#include "validation_checks.h"

namespace lumhost {

// What one check said, by its id.
struct CheckNote {
    std::string check;
    std::string message;
};

struct ModuleVerdict {
    std::string id;
    Side side = Side::Dsp;
    std::int64_t checks = 0;
    std::set<std::string> ran;          // ids of the checks that ran
    std::vector<CheckNote> problems;    // empty: no check failed
    std::vector<CheckNote> notChecked;  // checks this platform cannot run
    // How the module's run ended early ("crashed: ..." or "hung: ..."), and the check that
    // was running; empty when it ran to the end.
    std::string crash;
    std::string crashedCheck;

    bool crashed() const { return !crash.empty(); }
    // A module no selected check reached is no pass either: SKIP.
    bool skipped() const { return checks == 0 && problems.empty() && !crashed(); }
    bool passed() const { return problems.empty() && notChecked.empty() && !crashed() && !skipped(); }
    bool failed() const { return !problems.empty() && !crashed(); }
    // PART: nothing failed, but a check could not run here, so it is no pass.
    const char* status() const {
        return passed() ? "PASS" : failed() || crashed() ? "FAIL" : skipped() ? "SKIP" : "PART";
    }
};

struct ValidationOptions {
    std::int32_t strictness = 5;  // 1 to 10: how long each module is exercised
    std::uint32_t seed = 1;
    CheckSelection checks;
    // Counts allocations made while a module processes; null where they cannot be seen.
    std::function<long()> allocationCount;
    // Counts locks and calls that may block; null where they cannot be seen.
    std::function<RealtimeCalls()> realtimeCallCount;
    // Told the id of each check as it starts and the verdict so far, so a crash can be
    // blamed on that check and spare what came before.
    std::function<void(const std::string& check, const ModuleVerdict& soFar)> checkStarted;
};

// `moduleNumber` is the module's place in the description, which seeds its sessions:
// a module validated alone meets the sessions it meets in a whole library's run.
ModuleVerdict validateModule(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                             const ValidationOptions& options);

}  // namespace lumhost
