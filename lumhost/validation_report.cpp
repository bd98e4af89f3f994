#include "validation_report.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "host/text.h"

namespace lumhost {
namespace {

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

nlohmann::json checkResult(const ModuleVerdict& verdict, const std::string& check) {
    const auto noteOf = [&](const std::vector<CheckNote>& notes) {
        return std::find_if(notes.begin(), notes.end(), [&](const CheckNote& note) { return note.check == check; });
    };
    std::string status = "not run", message;
    if (verdict.crashed() && verdict.crashedCheck == check) {
        status = "crashed";
        message = verdict.crash;
    } else if (const auto problem = noteOf(verdict.problems); problem != verdict.problems.end()) {
        status = "fail";
        message = problem->message;
    } else if (const auto note = noteOf(verdict.notChecked); note != verdict.notChecked.end()) {
        status = "not checked";
        message = note->message;
    } else if (verdict.ran.count(check) != 0) {
        status = "pass";
    }
    return {{"id", check}, {"status", status}, {"message", message}};
}

}  // namespace

std::string reproduction(const ValidateSettings& settings, const std::string& moduleId, const std::string& check) {
    std::string command = "lumhost validate " + shellWord(settings.libraryPath) + " --module " + shellWord(moduleId) +
                          " --seed " + std::to_string(settings.seed) + " --strictness " +
                          std::to_string(settings.strictness);
    // A module stopped before its first check is run again whole, as the user chose.
    if (!check.empty()) command += " --only " + check;
    for (const std::string& id : check.empty() ? settings.only : std::vector<std::string>{}) command += " --only " + id;
    for (const std::string& id : check.empty() ? settings.skip : std::vector<std::string>{}) command += " --skip " + id;
    if (settings.timeoutSeconds != ValidateSettings().timeoutSeconds) {
        std::ostringstream timeout;
        timeout << settings.timeoutSeconds;
        command += " --timeout " + timeout.str();
    }
    return command;
}

nlohmann::json validationReport(const std::string& library, const ValidateSettings& settings,
                                const std::vector<ModuleVerdict>& verdicts) {
    const CheckSelection selection{settings.only, settings.skip};
    nlohmann::json modules = nlohmann::json::array();
    for (const ModuleVerdict& verdict : verdicts) {
        nlohmann::json checks = nlohmann::json::array();
        for (const ValidationCheck& check : validationChecks()) {
            if (!selection.runs(check.id) || !checkAppliesTo(check.id, verdict.side)) continue;
            nlohmann::json result = checkResult(verdict, check.id);
            result["reproduce"] = reproduction(settings, verdict.id, check.id);
            checks.push_back(std::move(result));
        }
        modules.push_back({{"id", verdict.id},
                           {"side", sideName(verdict.side)},
                           {"verdict", verdict.status()},
                           {"checks", std::move(checks)}});
    }
    return {{"library", library},
            {"strictness", settings.strictness},
            {"seed", settings.seed},
            {"modules", std::move(modules)}};
}

}  // namespace lumhost
