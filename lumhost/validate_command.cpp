#include <algorithm>
#include <cctype>
#include <cstdio>

#include "commands.h"
#include "host/allocation_counter.h"
#include "host/dsp_run.h"
#include "host/validator.h"

namespace lumhost {
namespace {

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

// `text` as one shell word.
std::string shellWord(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::string("/._-+=:,").find(c) != std::string::npos;
    });
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The command that runs exactly `check` on one module as this run did.
std::string reproduction(const ValidateSettings& settings, const std::string& moduleId, const std::string& check) {
    return "lumhost validate " + shellWord(settings.libraryPath) + " --module " + shellWord(moduleId) + " --seed " +
           std::to_string(settings.seed) + " --strictness " + std::to_string(settings.strictness) + " --only " + check;
}

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
    const LoadedLibrary loaded(settings.libraryPath);
    ValidationOptions options;
    options.strictness = settings.strictness;
    options.seed = settings.seed;
    options.checks = {settings.only, settings.skip};
    if (allocationsVisible()) options.allocationCount = allocationCount;
    const auto& all = loaded.description.modules;
    std::size_t passed = 0, failed = 0, modules = 0;
    std::int64_t checks = 0;
    for (const ModuleDescription* module : chosenModules(loaded, settings.modules)) {
        const auto moduleNumber = static_cast<std::uint32_t>(module - all.data());
        const ModuleVerdict verdict = validateModule(loaded.library, *module, moduleNumber, options);
        ++modules;
        checks += verdict.checks;
        // PART: nothing failed, but a check could not run here, so it is no pass.
        const char* status = verdict.failed() ? "FAIL" : verdict.passed() ? "PASS" : "PART";
        std::printf("%s  %-28s %s  %lld checks\n", status, verdict.id.c_str(),
                    verdict.side == Side::Dsp ? "dsp" : "gui", static_cast<long long>(verdict.checks));
        for (const CheckNote& problem : verdict.problems) {
            std::printf("      %s: %s\n", problem.check.c_str(), problem.message.c_str());
        }
        for (const CheckNote& note : verdict.notChecked) {
            std::printf("      not checked: %s: %s\n", note.check.c_str(), note.message.c_str());
        }
        if (verdict.failed()) {
            std::printf("      reproduce: %s\n",
                        reproduction(settings, verdict.id, verdict.problems.front().check).c_str());
        }
        passed += verdict.passed() ? 1 : 0;
        failed += verdict.failed() ? 1 : 0;
    }
    std::printf(
        "validate %s: %zu modules, %zu passed, %zu failed, %zu partly checked, %lld checks (strictness %d, seed "
        "%u%s)\n",
        loaded.description.library.c_str(), modules, passed, failed, modules - passed - failed,
        static_cast<long long>(checks), settings.strictness, settings.seed,
        allocationsVisible() ? "" : "; allocations not visible on this platform");
    return failed == 0 ? 0 : 1;
}

}  // namespace lumhost
