#include "module_verdict.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace lumhost {

std::string Finding::text() const {
    if (firstAt.empty()) return count == 1 ? message : message + ", " + std::to_string(count) + " times";
    if (count == 1) return message + " (at " + firstAt + ")";
    return message + ", " + std::to_string(count) + " times: first at " + firstAt;
}

const char* statusName(CheckStatus status) {
    switch (status) {
        case CheckStatus::NotRun: return "not run";
        case CheckStatus::Pass: return "pass";
        case CheckStatus::Warning: return "warning";
        case CheckStatus::Fail: return "fail";
        case CheckStatus::Crashed: return "crashed";
        case CheckStatus::NotChecked: return "not checked";
    }
    return "not run";
}

bool CheckResult::failed() const {
    return std::any_of(findings.begin(), findings.end(), [](const Finding& finding) { return !finding.warning; });
}

CheckResult* ModuleVerdict::result(CheckId check) {
    const auto found = std::find_if(checks.begin(), checks.end(), [&](const CheckResult& r) { return r.id == check; });
    return found == checks.end() ? nullptr : &*found;
}

const CheckResult* ModuleVerdict::result(CheckId check) const {
    return const_cast<ModuleVerdict*>(this)->result(check);
}

CheckStatus ModuleVerdict::status(const CheckResult& check) const {
    if (crashed() && crashedCheck == check.id) return CheckStatus::Crashed;
    if (check.failed()) return CheckStatus::Fail;
    if (!check.notCheckedWhy.empty()) return CheckStatus::NotChecked;
    if (!check.findings.empty()) return CheckStatus::Warning;
    return check.runs > 0 ? CheckStatus::Pass : CheckStatus::NotRun;
}

std::int64_t ModuleVerdict::checkCount() const {
    std::int64_t count = 0;
    for (const CheckResult& check : checks) count += check.runs;
    return count;
}

bool ModuleVerdict::failed() const {
    return std::any_of(checks.begin(), checks.end(), [](const CheckResult& check) { return check.failed(); });
}

bool ModuleVerdict::partlyChecked() const {
    return std::any_of(checks.begin(), checks.end(),
                       [](const CheckResult& check) { return !check.notCheckedWhy.empty(); });
}

ModuleVerdict emptyVerdict(const ModuleDescription& module, const CheckSelection& selection,
                           bool carriesLibraryChecks) {
    ModuleVerdict verdict;
    verdict.id = module.id;
    verdict.side = module.side;
    for (const ValidationCheck& check : validationChecks()) {
        if (selection.runs(check.id) && checkAppliesTo(check.id, module.side) &&
            (carriesLibraryChecks || check.side != CheckSide::Library)) {
            verdict.checks.emplace_back(check.id);
        }
    }
    return verdict;
}

void to_json(nlohmann::json& json, const ModuleVerdict& verdict) {
    nlohmann::json checks = nlohmann::json::array();
    for (const CheckResult& check : verdict.checks) {
        const CheckStatus status = verdict.status(check);
        nlohmann::json findings = nlohmann::json::array();
        for (const Finding& finding : check.findings) {
            findings.push_back({{"message", finding.message},
                                {"count", finding.count},
                                {"firstAt", finding.firstAt},
                                {"warning", finding.warning},
                                {"callSite", finding.callSite}});
        }
        // The message a reader wants first: the crash, the first failure or why not checked.
        std::string message = status == CheckStatus::Crashed      ? verdict.crash
                              : status == CheckStatus::NotChecked ? check.notCheckedWhy
                                                                  : std::string();
        if (message.empty() && !check.findings.empty()) message = check.findings.front().text();
        checks.push_back({{"id", check.id},
                          {"status", statusName(status)},
                          {"message", message},
                          {"runs", check.runs},
                          {"seconds", check.seconds},
                          {"findings", std::move(findings)},
                          {"notChecked", check.notCheckedWhy}});
    }
    json = {{"id", verdict.id},
            {"side", sideName(verdict.side)},
            {"verdict", verdict.verdictName()},
            {"crash", verdict.crash},
            {"crashedCheck", verdict.crashedCheck ? nlohmann::json(*verdict.crashedCheck) : nlohmann::json()},
            {"checks", std::move(checks)}};
}

void from_json(const nlohmann::json& json, ModuleVerdict& verdict) {
    verdict.id = json.at("id").get<std::string>();
    verdict.side = json.at("side").get<std::string>() == "gui" ? Side::Gui : Side::Dsp;
    verdict.crash = json.at("crash").get<std::string>();
    verdict.crashedCheck.reset();
    if (!json.at("crashedCheck").is_null()) verdict.crashedCheck = json.at("crashedCheck").get<CheckId>();
    verdict.checks.clear();
    for (const nlohmann::json& entry : json.at("checks")) {
        CheckResult check(entry.at("id").get<CheckId>());
        check.runs = entry.at("runs").get<std::int64_t>();
        check.seconds = entry.at("seconds").get<double>();
        check.notCheckedWhy = entry.at("notChecked").get<std::string>();
        for (const nlohmann::json& finding : entry.at("findings")) {
            check.findings.push_back({finding.at("message").get<std::string>(), finding.at("count").get<std::int64_t>(),
                                      finding.at("firstAt").get<std::string>(), finding.at("warning").get<bool>(),
                                      finding.at("callSite").get<std::vector<std::string>>()});
        }
        verdict.checks.push_back(std::move(check));
    }
}

}  // namespace lumhost
