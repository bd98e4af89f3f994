#include "child_report.h"

#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace lumhost {

std::string runningLine(CheckId check, const ModuleVerdict& soFar) {
    return nlohmann::json{{"running", check}, {"verdict", soFar}}.dump() + "\n";
}

std::string endLine(const ModuleVerdict& verdict) {
    return nlohmann::json{{"end", true}, {"verdict", verdict}}.dump() + "\n";
}

std::string crashLine(const std::string& how) { return nlohmann::json{{"crash", how}}.dump() + "\n"; }

void ChildReport::read(const char* bytes, std::size_t size) {
    unread_.append(bytes, size);
    for (std::size_t end; (end = unread_.find('\n')) != std::string::npos; unread_.erase(0, end + 1)) {
        const auto message = nlohmann::json::parse(unread_.substr(0, end), nullptr, false);
        // A line the child did not finish, or did not write as a report, is no report.
        if (!message.is_object()) continue;
        try {
            if (message.contains("crash")) crash_ = message.at("crash").get<std::string>();
            if (!message.contains("verdict")) continue;
            ModuleVerdict verdict = message.at("verdict").get<ModuleVerdict>();
            if (message.contains("running")) running_ = message.at("running").get<CheckId>();
            verdict_ = std::move(verdict);
            ended_ = message.contains("end");
        } catch (const nlohmann::json::exception&) {
        } catch (const std::invalid_argument&) {
        }
    }
}

ModuleVerdict ChildReport::verdict(const ModuleDescription& module, const ValidationOptions& options,
                                   const Ending& ending) const {
    ModuleVerdict verdict = verdict_ ? *verdict_ : emptyVerdict(module, options.checks, options.libraryChecks);
    verdict.crashedCheck = running_;
    if (ending.timedOut) {
        std::ostringstream limit;
        limit << "hung: timed out after " << ending.timeoutSeconds << " s";
        verdict.crash = limit.str();
    } else if (!crash_.empty() || !ending.death.empty()) {
        // The child's own words know the faulting module; the platform's only how it ended.
        verdict.crash = "crashed: " + (crash_.empty() ? ending.death : crash_);
    } else if (!ended_ || ending.exitStatus != 0) {
        verdict.crash = "crashed: ended with exit status " + std::to_string(ending.exitStatus) + " before its verdict";
    }
    if (!verdict.crashed()) verdict.crashedCheck.reset();
    return verdict;
}

}  // namespace lumhost
