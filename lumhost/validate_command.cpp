#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "commands.h"
#include "host/allocation_counter.h"
#include "host/coverage_matrix.h"
#include "host/dsp_run.h"
#include "host/realtime_call_counter.h"
#include "host/user_error.h"
#include "host/validator.h"
#include "isolated_validation.h"
#include "junit_report.h"
#include "output_file.h"
#include "progress_line.h"
#include "validation_report.h"
#if defined(_WIN32)
#include "host/import_table_hooks.h"
#endif

namespace lumhost {
namespace {

void requireKnownCheck(const std::string& id) {
    if (!findCheck(id)) throw UserError("no check '" + id + "' (--list-checks lists them)");
}

// The checks as the user named them, known by the time the command runs.
std::vector<CheckId> checksNamed(const std::vector<std::string>& names) {
    std::vector<CheckId> ids;
    for (const std::string& name : names) ids.push_back(*findCheck(name));
    return ids;
}

void requireStrictness(std::int32_t strictness) {
    if (strictness < 1 || strictness > 10) {
        throw UserError("strictness " + std::to_string(strictness) + " is outside 1 to 10");
    }
}

void requireJobs(std::int32_t jobs) {
    if (jobs < 1 || jobs > 64) throw UserError("--jobs " + std::to_string(jobs) + " is outside 1 to 64");
}

float matrixSampleRate(const std::string& text) {
    const double rate = parseDouble(text, "--sample-rates");
    if (!(rate >= RunLimits::kMinSampleRate && rate <= RunLimits::kMaxSampleRate)) {
        throw UserError("--sample-rates: " + text + " is outside " + std::to_string(RunLimits::kMinSampleRate) +
                        " to " + std::to_string(RunLimits::kMaxSampleRate));
    }
    return static_cast<float>(rate);
}

std::int32_t matrixBlockSize(const std::string& text) {
    const std::int32_t size = parseInt(text, "--block-sizes");
    requireBlockSize(size);
    return size;
}

// "8000, 22050, ..." for the help text.
template <class T>
std::string listed(const std::vector<T>& values) {
    std::string text;
    for (const T& value : values) {
        std::ostringstream number;
        number << value;
        text += (text.empty() ? "" : ",") + number.str();
    }
    return text;
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
                          const std::function<void(CheckId)>& checkStarted) {
    if (!settings.inProcess) {
        return validateInChild(loaded.library, module, moduleNumber, options, settings.timeoutSeconds, checkStarted);
    }
    options.checkStarted = [&](CheckId check, const ModuleVerdict&) { checkStarted(check); };
    return validateModule(loaded.library, module, moduleNumber, options);
}

void printVerdict(const ModuleVerdict& verdict, const ValidateSettings& settings) {
    std::printf("%s  %-28s %s  %lld checks\n", verdict.verdictName(), verdict.id.c_str(), sideName(verdict.side),
                static_cast<long long>(verdict.checkCount()));
    if (verdict.crashed()) {
        const char* check = verdict.crashedCheck ? checkName(*verdict.crashedCheck) : "before the first check";
        std::printf("      %s: %s\n", check, verdict.crash.c_str());
    }
    std::optional<CheckId> firstFailed;
    for (const CheckResult& check : verdict.checks) {
        for (const Finding& finding : check.findings) {
            std::printf("      %s%s: %s\n", finding.warning ? "WARNING " : "", checkName(check.id),
                        finding.text().c_str());
            for (const std::string& frame : finding.callSite) std::printf("          at %s\n", frame.c_str());
        }
        if (check.failed() && !firstFailed) firstFailed = check.id;
    }
    for (const CheckResult& check : verdict.checks) {
        if (!check.notCheckedWhy.empty()) {
            std::printf("      not checked: %s: %s\n", checkName(check.id), check.notCheckedWhy.c_str());
        }
    }
    if (verdict.crashed() || verdict.failed()) {
        const std::optional<CheckId> check = verdict.crashed() ? verdict.crashedCheck : firstFailed;
        std::printf("      reproduce: %s\n", reproduction(settings, verdict.id, check).c_str());
    }
}

// Checked before any module runs, as every output file is.
std::unique_ptr<OutputFile> reportFile(const std::string& path, const char* option, const ValidateSettings& settings) {
    if (path.empty()) return nullptr;
    if (path == "-") throw UserError(std::string(option) + " takes a file name: standard output has the text report");
    return std::make_unique<OutputFile>(path, settings.replaceExisting, libraryFiles(settings.libraryPath));
}

void listChecks() {
    for (const ValidationCheck& check : validationChecks()) std::printf("%-28s %s\n", check.name, check.description);
}

// Validates `modules`, up to settings.jobs at once, and hands each verdict to `done` in the
// modules' order, as soon as it and those before it are in.
void validateModules(const LoadedLibrary& loaded, const std::vector<const ModuleDescription*>& modules,
                     const ValidationOptions& options, const ValidateSettings& settings,
                     const std::function<void(const ModuleVerdict&)>& done) {
    const auto& all = loaded.description.modules;
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::optional<ModuleVerdict>> verdicts(modules.size());
    std::size_t next = 0;
    ProgressLine progressLine("validate", settings.quiet);
    const auto validateNext = [&] {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            if (next == modules.size()) return;
            const std::size_t i = next++;
            lock.unlock();
            const ModuleDescription& module = *modules[i];
            const std::string where = std::to_string(i + 1) + "/" + std::to_string(modules.size()) + " " + module.id;
            ValidationOptions moduleOptions = options;
            // The library's own checks come with its first module.
            moduleOptions.libraryChecks = i == 0;
            ModuleVerdict verdict = validateOne(loaded, module, static_cast<std::uint32_t>(&module - all.data()),
                                                moduleOptions, settings, [&](CheckId check) {
                                                    const std::lock_guard<std::mutex> guard(mutex);
                                                    progressLine.update(where + ": " + checkName(check));
                                                });
            lock.lock();
            verdicts[i] = std::move(verdict);
            arrived.notify_all();
            if (settings.jobs == 1) return;
        }
    };
    std::vector<std::thread> workers;
    for (std::int32_t job = 0; job < settings.jobs && settings.jobs > 1; ++job) workers.emplace_back(validateNext);
    for (std::size_t i = 0; i < modules.size(); ++i) {
        // One job: this thread validates each module in turn, in lumhost's own process too.
        if (settings.jobs == 1) validateNext();
        std::unique_lock<std::mutex> lock(mutex);
        arrived.wait(lock, [&] { return verdicts[i].has_value(); });
        progressLine.clear();
        done(*verdicts[i]);
    }
    for (std::thread& worker : workers) worker.join();
}

int validate(const ValidateSettings& settings) {
    if (settings.libraryPath.empty()) throw UserError("validate needs a library (or --list-checks)");
    for (const std::string& id : settings.only) {
        if (std::find(settings.skip.begin(), settings.skip.end(), id) != settings.skip.end()) {
            throw UserError("--only and --skip both name " + id);
        }
    }
    if (settings.jobs > 1 && settings.inProcess) {
        throw UserError("--jobs validates in child processes: not with --in-process");
    }
    const LoadedLibrary loaded(settings.libraryPath);
    const std::unique_ptr<OutputFile> json = reportFile(settings.jsonPath, "--json", settings);
    const std::unique_ptr<OutputFile> junit = reportFile(settings.junitPath, "--junit", settings);
    if (json && junit) refuseSharedTargets({json.get(), junit.get()});
    ValidationOptions options;
    options.strictness = settings.strictness;
    options.seed = settings.seed;
    options.checks = {checksNamed(settings.only), checksNamed(settings.skip)};
    for (const std::string& rate : settings.sampleRates) options.sampleRates.push_back(matrixSampleRate(rate));
    for (const std::string& size : settings.blockSizes) options.blockSizes.push_back(matrixBlockSize(size));
    options.abortOnViolation = settings.abortOnViolation;
#if defined(_WIN32)
    // Seen through the library's import table, hooked where its modules run.
    options.realtimeCallsSeen = {RealtimeCallKind::Allocation, RealtimeCallKind::Lock, RealtimeCallKind::BlockingCall,
                                 RealtimeCallKind::ThreadCall};
#else
    if (allocationsVisible()) options.realtimeCallsSeen.push_back(RealtimeCallKind::Allocation);
    if (realtimeCallsVisible()) {
        for (const RealtimeCallKind kind :
             {RealtimeCallKind::Lock, RealtimeCallKind::BlockingCall, RealtimeCallKind::ThreadCall}) {
            options.realtimeCallsSeen.push_back(kind);
        }
    }
#endif
    if (settings.childReport != 0) {
        options.libraryChecks = settings.childLibraryChecks;
        return validateAsChild(loaded.library, loaded.description.modules.at(settings.childModule),
                               settings.childModule, options, settings.childReport);
    }
#if defined(_WIN32)
    std::optional<ImportTableHooks> hooks;
    if (settings.inProcess) hooks.emplace(loaded.library);
#endif
    const std::vector<const ModuleDescription*> modules = chosenModules(loaded, settings.modules);
    if (std::none_of(modules.begin(), modules.end(),
                     [&](const ModuleDescription* module) { return options.checks.countFor(module->side) > 0; })) {
        throw UserError("the checks chosen apply to none of the modules chosen (--list-checks lists them)");
    }
    std::size_t passed = 0, failed = 0, crashed = 0, skipped = 0;
    std::int64_t checks = 0;
    std::vector<ModuleVerdict> verdicts;
    validateModules(loaded, modules, options, settings, [&](const ModuleVerdict& verdict) {
        if (!settings.onlyFailed || verdict.failed() || verdict.crashed()) printVerdict(verdict, settings);
        checks += verdict.checkCount();
        passed += verdict.passed() ? 1 : 0;
        crashed += verdict.crashed() ? 1 : 0;
        failed += verdict.failed() && !verdict.crashed() ? 1 : 0;
        skipped += verdict.skipped() ? 1 : 0;
        verdicts.push_back(verdict);
    });
    std::printf(
        "validate %s: %zu modules, %zu passed, %zu failed, %zu crashed, %zu skipped, %zu partly checked, %lld checks "
        "(strictness %d, seed %u%s%s)\n",
        loaded.description.library.c_str(), verdicts.size(), passed, failed, crashed, skipped,
        verdicts.size() - passed - failed - crashed - skipped, static_cast<long long>(checks), settings.strictness,
        settings.seed,
        options.realtimeCallsSeen.empty()
            ? "; allocations, locks, blocking and thread calls not visible on this platform"
            : "",
        settings.inProcess ? "; in lumhost's own process" : "");
    const std::string& library = loaded.description.library;
    if (json) {
        json->write(validationReport(library, settings, verdicts).dump(2) + '\n');
        json->commit();
    }
    if (junit) {
        std::ostringstream xml;
        writeJUnitReport(xml, library, settings, verdicts);
        junit->write(xml.str());
        junit->commit();
    }
    return failed + crashed == 0 ? 0 : 1;
}

}  // namespace

void addValidateCommand(CLI::App& app) {
    auto settings = std::make_shared<ValidateSettings>();
    CLI::App* command = app.add_subcommand("validate", "exercise every module and check every host call");
    addLibraryArgument(*command, settings->libraryPath);
    numberOption<std::int32_t>(
        command->add_option("--strictness", settings->strictness,
                            "1 to 10: how long each module is exercised; from 6 on, every sample rate against every "
                            "block size and hostile input (default 5)"),
        requireStrictness);
    numberOption<std::uint32_t>(
        command->add_option("--seed", settings->seed, "seed of the random sessions (default 1)"));
    command
        ->add_option("--sample-rates", settings->sampleRates,
                     "RATE,...: sweep these sample rates at any strictness (default from strictness 6: " +
                         listed(defaultSampleRates()) + ")")
        ->delimiter(',')
        ->check(checkedBy<std::string>([](const std::string& text) { matrixSampleRate(text); }));
    command
        ->add_option("--block-sizes", settings->blockSizes,
                     "SIZE,...: sweep these block sizes at any strictness (default from strictness 6: " +
                         listed(defaultBlockSizes()) + ")")
        ->delimiter(',')
        ->check(checkedBy<std::string>([](const std::string& text) { matrixBlockSize(text); }));
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
    command->add_option("--junit", settings->junitPath,
                        "also write JUnit XML: a test suite per module, a test case per check, for CI");
    command->add_flag("-y,--force", settings->replaceExisting, "let --json and --junit replace an existing file");
    command->add_flag("--only-failed", settings->onlyFailed, "print only the modules that failed or crashed");
    numberOption<std::int32_t>(
        command->add_option("--jobs", settings->jobs, "validate this many modules at once, a child each (default 1)"),
        requireJobs)
        ->excludes(inProcess);
    command->add_flag("-q,--quiet", settings->quiet, "no progress line (module and check, on a terminal)");
    command->add_flag("--abort-on-violation", settings->abortOnViolation,
                      "for a debugger: raise SIGTRAP at a module's first allocation, lock, blocking or thread "
                      "call in process, setPin or notifyPin, with the module on the stack (with --in-process, "
                      "under gdb --args lumhost validate ...)");
    // How lumhost starts itself as a module's validating child: no user's options.
    command->add_option("--child-report", settings->childReport)->group("");
    command->add_option("--child-module", settings->childModule)->group("");
    command->add_flag("--child-library-checks", settings->childLibraryChecks)->group("");
    command->callback([settings] {
        if (settings->listChecks) return listChecks();
        exitWith(validate(*settings));
    });
}

}  // namespace lumhost
