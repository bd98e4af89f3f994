#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#include "commands.h"
#include "host/allocation_counter.h"
#include "host/dsp_run.h"
#include "host/output_file.h"
#include "host/realtime_call_counter.h"
#include "host/validator.h"
#include "progress_line.h"
#include "validation_report.h"
#if LUM_HOST_ISOLATION
#include "isolated_validation.h"
#endif

namespace lumhost {
namespace {

#if LUM_HOST_ISOLATION
constexpr bool kIsolation = true;
#else
constexpr bool kIsolation = false;  // the Windows builds validate in their own process
#endif

void requireKnownChecks(const std::vector<std::string>& ids) {
    for (const std::string& id : ids) {
        if (!isValidationCheck(id)) throw UsageError("no check '" + id + "' (--list-checks lists them)");
    }
}

std::vector<const ModuleDescription*> chosenModules(const LoadedLibrary& loaded,
                                                    const std::vector<std::string>& identifiers) {
    std::vector<const ModuleDescription*> chosen;
    for (const std::string& id : identifiers) chosen.push_back(&loaded.module(id));
    if (identifiers.empty()) {
        for (const ModuleDescription& module : loaded.description.modules) chosen.push_back(&module);
    }
    return chosen;
}

// `checkStarted` hears of each check as it starts.
ModuleVerdict validateOne(const LoadedLibrary& loaded, const ModuleDescription& module, std::uint32_t moduleNumber,
                          ValidationOptions options, const ValidateSettings& settings,
                          const std::function<void(const std::string&)>& checkStarted) {
#if LUM_HOST_ISOLATION
    if (!settings.inProcess) {
        return validateInChild(loaded.library, module, moduleNumber, options, settings.timeoutSeconds, checkStarted);
    }
#else
    (void)settings;
#endif
    options.checkStarted = [&](const std::string& check, const ModuleVerdict&) { checkStarted(check); };
    return validateModule(loaded.library, module, moduleNumber, options);
}

void printVerdict(const ModuleVerdict& verdict, const ValidateSettings& settings) {
    std::printf("%s  %-28s %s  %lld checks\n", verdict.status(), verdict.id.c_str(), sideName(verdict.side),
                static_cast<long long>(verdict.checks));
    if (verdict.crashed()) {
        const std::string& check = verdict.crashedCheck;
        std::printf("      %s: %s\n", check.empty() ? "before the first check" : check.c_str(), verdict.crash.c_str());
    }
    for (const CheckNote& problem : verdict.problems) {
        std::printf("      %s: %s\n", problem.check.c_str(), problem.message.c_str());
    }
    for (const CheckNote& note : verdict.notChecked) {
        std::printf("      not checked: %s: %s\n", note.check.c_str(), note.message.c_str());
    }
    if (verdict.crashed() || verdict.failed()) {
        const std::string& check = verdict.crashed() ? verdict.crashedCheck : verdict.problems.front().check;
        std::printf("      reproduce: %s\n", reproduction(settings, verdict.id, check).c_str());
    }
}

#if LUM_HOST_OUTPUT_FILES
// Checked before any module runs, as every output file is.
std::unique_ptr<OutputFile> jsonReportFile(const ValidateSettings& settings) {
    if (settings.jsonPath.empty()) return nullptr;
    if (settings.jsonPath == "-") throw UsageError("--json takes a file name: standard output has the text report");
    return std::make_unique<OutputFile>(settings.jsonPath, settings.replaceExisting,
                                        libraryFiles(settings.libraryPath));
}

void writeJsonReport(OutputFile& out, const nlohmann::json& report) {
    std::ofstream(out.temporaryPath(), std::ios::trunc) << report.dump(2) << '\n';
    out.commit();
}
#endif

}  // namespace

int listChecksCommand() {
    for (const ValidationCheck& check : validationChecks()) std::printf("%-28s %s\n", check.id, check.description);
    return 0;
}

int validateCommand(const ValidateSettings& settings) {
    if (settings.libraryPath.empty()) throw UsageError("validate needs a library (or --list-checks)");
    if (settings.strictness < 1 || settings.strictness > 10) {
        throw UsageError("strictness " + std::to_string(settings.strictness) + " is outside 1 to 10");
    }
    requireKnownChecks(settings.only);
    requireKnownChecks(settings.skip);
    for (const std::string& id : settings.only) {
        if (std::find(settings.skip.begin(), settings.skip.end(), id) != settings.skip.end()) {
            throw UsageError("--only and --skip both name " + id);
        }
    }
    if (!(settings.timeoutSeconds > 0.0)) throw UsageError("--timeout must be more than 0 seconds");
    const LoadedLibrary loaded(settings.libraryPath);
#if LUM_HOST_OUTPUT_FILES
    const std::unique_ptr<OutputFile> report = jsonReportFile(settings);
#else
    if (!settings.jsonPath.empty()) throw UsageError("--json is not in the Windows builds");
#endif
    ValidationOptions options;
    options.strictness = settings.strictness;
    options.seed = settings.seed;
    options.checks = {settings.only, settings.skip};
    if (allocationsVisible()) options.allocationCount = allocationCount;
    if (realtimeCallsVisible()) options.realtimeCallCount = realtimeCallCount;
    const std::vector<const ModuleDescription*> modules = chosenModules(loaded, settings.modules);
    if (std::none_of(modules.begin(), modules.end(),
                     [&](const ModuleDescription* module) { return options.checks.countFor(module->side) > 0; })) {
        throw UsageError("the checks chosen apply to none of the modules chosen (--list-checks lists them)");
    }
    const auto& all = loaded.description.modules;
    std::size_t passed = 0, failed = 0, crashed = 0, skipped = 0;
    std::int64_t checks = 0;
    std::vector<ModuleVerdict> verdicts;
    ProgressLine progressLine("validate", settings.quiet);
    for (const ModuleDescription* module : modules) {
        const auto moduleNumber = static_cast<std::uint32_t>(module - all.data());
        const std::string where =
            std::to_string(verdicts.size() + 1) + "/" + std::to_string(modules.size()) + " " + module->id;
        const ModuleVerdict verdict =
            validateOne(loaded, *module, moduleNumber, options, settings,
                        [&](const std::string& check) { progressLine.update(where + ": " + check); });
        progressLine.clear();
        printVerdict(verdict, settings);
        checks += verdict.checks;
        passed += verdict.passed() ? 1 : 0;
        failed += verdict.failed() ? 1 : 0;
        crashed += verdict.crashed() ? 1 : 0;
        skipped += verdict.skipped() ? 1 : 0;
        verdicts.push_back(verdict);
    }
    std::printf(
        "validate %s: %zu modules, %zu passed, %zu failed, %zu crashed, %zu skipped, %zu partly checked, %lld checks "
        "(strictness %d, seed %u%s%s)\n",
        loaded.description.library.c_str(), verdicts.size(), passed, failed, crashed, skipped,
        verdicts.size() - passed - failed - crashed - skipped, static_cast<long long>(checks), settings.strictness,
        settings.seed,
        allocationsVisible() ? "" : "; allocations, locks and blocking calls not visible on this platform",
        settings.inProcess || !kIsolation ? "; in lumhost's own process" : "");
#if LUM_HOST_OUTPUT_FILES
    if (report) writeJsonReport(*report, validationReport(loaded.description.library, settings, verdicts));
#endif
    return failed + crashed == 0 ? 0 : 1;
}

}  // namespace lumhost
