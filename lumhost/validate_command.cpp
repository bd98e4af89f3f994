#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include "commands.h"
#include "host/allocation_counter.h"
#include "host/realtime_call_counter.h"
#include "host/user_error.h"
#include "host/validator.h"
#include "output_file.h"
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

void requireKnownCheck(const std::string& id) {
    if (!isValidationCheck(id)) throw UserError("no check '" + id + "' (--list-checks lists them)");
}

void requireStrictness(std::int32_t strictness) {
    if (strictness < 1 || strictness > 10) {
        throw UserError("strictness " + std::to_string(strictness) + " is outside 1 to 10");
    }
}

void requireTimeout(double seconds) {
    if (!(seconds > 0.0)) throw UserError("--timeout must be more than 0 seconds");
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

// Checked before any module runs, as every output file is.
std::unique_ptr<OutputFile> jsonReportFile(const ValidateSettings& settings) {
    if (settings.jsonPath.empty()) return nullptr;
    if (settings.jsonPath == "-") throw UserError("--json takes a file name: standard output has the text report");
    return std::make_unique<OutputFile>(settings.jsonPath, settings.replaceExisting,
                                        libraryFiles(settings.libraryPath));
}

void writeJsonReport(OutputFile& out, const nlohmann::json& report) {
    out.write(report.dump(2) + '\n');
    out.commit();
}

void listChecks() {
    for (const ValidationCheck& check : validationChecks()) std::printf("%-28s %s\n", check.id, check.description);
}

int validate(const ValidateSettings& settings) {
    if (settings.libraryPath.empty()) throw UserError("validate needs a library (or --list-checks)");
    for (const std::string& id : settings.only) {
        if (std::find(settings.skip.begin(), settings.skip.end(), id) != settings.skip.end()) {
            throw UserError("--only and --skip both name " + id);
        }
    }
    const LoadedLibrary loaded(settings.libraryPath);
    const std::unique_ptr<OutputFile> report = jsonReportFile(settings);
    ValidationOptions options;
    options.strictness = settings.strictness;
    options.seed = settings.seed;
    options.checks = {settings.only, settings.skip};
    if (allocationsVisible()) options.allocationCount = allocationCount;
    if (realtimeCallsVisible()) options.realtimeCallCount = realtimeCallCount;
    const std::vector<const ModuleDescription*> modules = chosenModules(loaded, settings.modules);
    if (std::none_of(modules.begin(), modules.end(),
                     [&](const ModuleDescription* module) { return options.checks.countFor(module->side) > 0; })) {
        throw UserError("the checks chosen apply to none of the modules chosen (--list-checks lists them)");
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
    if (report) writeJsonReport(*report, validationReport(loaded.description.library, settings, verdicts));
    return failed + crashed == 0 ? 0 : 1;
}

}  // namespace

void addValidateCommand(CLI::App& app) {
    auto settings = std::make_shared<ValidateSettings>();
    CLI::App* command = app.add_subcommand("validate", "exercise every module and check every host call");
    addLibraryArgument(*command, settings->libraryPath);
    numberOption<std::int32_t>(
        command->add_option("--strictness", settings->strictness,
                            "1 to 10: how long each module is exercised; from 6 on, with block sizes 1 to 4096 and "
                            "sample rates 8 to 384 kHz (default 5)"),
        requireStrictness);
    numberOption<std::uint32_t>(
        command->add_option("--seed", settings->seed, "seed of the random sessions (default 1)"));
    command->add_flag("--list-checks", settings->listChecks, "print every check's id and what it checks");
    command->add_option("--only", settings->only, "ID,...: run only these checks")
        ->delimiter(',')
        ->check(checkedBy<std::string>(requireKnownCheck));
    command->add_option("--skip", settings->skip, "ID,...: run every check but these")
        ->delimiter(',')
        ->check(checkedBy<std::string>(requireKnownCheck));
    command->add_option("--module", settings->modules, "IDENTIFIER,...: validate only these modules")->delimiter(',');
    CLI::Option* inProcess = command->add_flag("--in-process", settings->inProcess,
                                               "validate every module in lumhost's own process, not in a child each");
    numberOption<double>(command->add_option("--timeout", settings->timeoutSeconds,
                                             "seconds one module's child process may run (default 30)"),
                         requireTimeout)
        ->excludes(inProcess);
    command->add_option("--json", settings->jsonPath,
                        "also write every module's verdict and every check's status to this file");
    command->add_flag("-y,--force", settings->replaceExisting, "let --json replace an existing file");
    command->add_flag("-q,--quiet", settings->quiet, "no progress line (module and check, on a terminal)");
    command->callback([settings] {
        if (settings->listChecks) return listChecks();
        exitWith(validate(*settings));
    });
}

}  // namespace lumhost
