#include <cstdio>

#include "commands.h"
#include "host/allocation_counter.h"
#include "host/dsp_run.h"
#include "host/validator.h"

namespace lumhost {

int validateCommand(const std::string& libraryPath, std::int32_t strictness, std::uint32_t seed) {
    if (strictness < 1 || strictness > 10) {
        throw UsageError("strictness " + std::to_string(strictness) + " is outside 1 to 10");
    }
    const LoadedLibrary loaded(libraryPath);
    ValidationOptions options;
    options.strictness = strictness;
    options.seed = seed;
    if (allocationsVisible()) options.allocationCount = allocationCount;
    const auto verdicts = validateLibrary(loaded.library, loaded.description, options);
    std::size_t passed = 0, failed = 0;
    std::int64_t checks = 0;
    for (const ModuleVerdict& verdict : verdicts) {
        checks += verdict.checks;
        // PART: nothing failed, but a check could not run here, so it is no pass.
        const char* status = verdict.failed() ? "FAIL" : verdict.passed() ? "PASS" : "PART";
        std::printf("%s  %-28s %s  %lld checks\n", status, verdict.id.c_str(),
                    verdict.side == Side::Dsp ? "dsp" : "gui", static_cast<long long>(verdict.checks));
        for (const std::string& problem : verdict.problems) std::printf("      %s\n", problem.c_str());
        for (const std::string& check : verdict.notChecked) std::printf("      not checked: %s\n", check.c_str());
        passed += verdict.passed() ? 1 : 0;
        failed += verdict.failed() ? 1 : 0;
    }
    std::printf(
        "validate %s: %zu modules, %zu passed, %zu failed, %zu partly checked, %lld checks (strictness %d, seed "
        "%u%s)\n",
        loaded.description.library.c_str(), verdicts.size(), passed, failed, verdicts.size() - passed - failed,
        static_cast<long long>(checks), strictness, seed,
        allocationsVisible() ? "" : "; allocations not visible on this platform");
    return failed == 0 ? 0 : 1;
}

}  // namespace lumhost
