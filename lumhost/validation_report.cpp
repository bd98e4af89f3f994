#include "validation_report.h"

#include <algorithm>
#include <cctype>
#include <sstream>

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

}  // namespace

std::string reproduction(const ValidateSettings& settings, const std::string& moduleId, std::optional<CheckId> check) {
    std::string command = "lumhost validate " + shellWord(settings.libraryPath) + " --module " + shellWord(moduleId) +
                          " --seed " + std::to_string(settings.seed) + " --strictness " +
                          std::to_string(settings.strictness);
    // A module stopped before its first check is run again whole, as the user chose.
    if (check) command += " --only " + std::string(checkName(*check));
    for (const std::string& id : check ? std::vector<std::string>{} : settings.only) command += " --only " + id;
    for (const std::string& id : check ? std::vector<std::string>{} : settings.skip) command += " --skip " + id;
    // The matrix the user chose, as written, or the failing session would not be met again.
    const auto joined = [](const std::vector<std::string>& entries) {
        std::string text;
        for (const std::string& entry : entries) text += (text.empty() ? "" : ",") + entry;
        return shellWord(text);
    };
    if (!settings.sampleRates.empty()) command += " --sample-rates " + joined(settings.sampleRates);
    if (!settings.blockSizes.empty()) command += " --block-sizes " + joined(settings.blockSizes);
    if (settings.abortOnViolation) command += " --abort-on-violation";
    if (settings.timeoutSeconds != ValidateSettings().timeoutSeconds) {
        std::ostringstream timeout;
        timeout << settings.timeoutSeconds;
        command += " --timeout " + timeout.str();
    }
    return command;
}

nlohmann::json validationReport(const std::string& library, const ValidateSettings& settings,
                                const std::vector<ModuleVerdict>& verdicts) {
    nlohmann::json modules = nlohmann::json::array();
    for (const ModuleVerdict& verdict : verdicts) {
        nlohmann::json module = verdict;
        for (nlohmann::json& check : module.at("checks")) {
            check["reproduce"] = reproduction(settings, verdict.id, check.at("id").get<CheckId>());
        }
        modules.push_back(std::move(module));
    }
    return {{"library", library},
            {"strictness", settings.strictness},
            {"seed", settings.seed},
            {"modules", std::move(modules)}};
}

}  // namespace lumhost
