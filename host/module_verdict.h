// What validating one module found, check by check. Its JSON is both what a validating
// child reports to lumhost and what `validate --json` writes.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "validation_checks.h"

namespace lumhost {

// One kind of problem a check found, however often it was found.
struct Finding {
    std::string message;
    std::int64_t count = 1;
    std::string firstAt;   // where it was first found ("session 2, block 17"); may be empty
    bool warning = false;  // suspicious but legal: no failure
    // The module's frames, innermost first, where a forbidden call was first found; may be empty.
    std::vector<std::string> callSite;

    // "MESSAGE", "MESSAGE (at PLACE)" or "MESSAGE, N times: first at PLACE".
    std::string text() const;
};

enum class CheckStatus { NotRun, Pass, Warning, Fail, Crashed, NotChecked };
// "not run", "pass", "warning", "fail", "crashed", "not checked".
const char* statusName(CheckStatus status);

struct CheckResult {
    explicit CheckResult(CheckId check) : id(check) {}

    CheckId id;
    std::int64_t runs = 0;  // how many times it was checked
    std::vector<Finding> findings;
    double seconds = 0.0;       // time the module spent in the check
    std::string notCheckedWhy;  // set where this platform cannot see what it checks

    bool failed() const;
};

struct ModuleVerdict {
    std::string id;
    Side side = Side::Dsp;
    // Every selected check that applies to the module, in the table's order.
    std::vector<CheckResult> checks;
    // How the module's run ended early ("crashed: ..." or "hung: ..."), and the check that
    // was running; empty when it ran to the end.
    std::string crash;
    std::optional<CheckId> crashedCheck;

    CheckResult* result(CheckId check);
    const CheckResult* result(CheckId check) const;
    CheckStatus status(const CheckResult& check) const;
    std::int64_t checkCount() const;

    bool crashed() const { return !crash.empty(); }
    bool failed() const;
    // A module no selected check reached is no pass either: SKIP.
    bool skipped() const { return checkCount() == 0 && !failed() && !crashed(); }
    // PART: nothing failed, but a check could not run here, so it is no pass.
    bool partlyChecked() const;
    bool passed() const { return !failed() && !crashed() && !skipped() && !partlyChecked(); }
    const char* verdictName() const {
        return passed() ? "PASS" : failed() || crashed() ? "FAIL" : skipped() ? "SKIP" : "PART";
    }
};

// A new verdict for `module` with a result for every check `selection` runs on it, the
// library's own checks only when it `carriesLibraryChecks`.
ModuleVerdict emptyVerdict(const ModuleDescription& module, const CheckSelection& selection, bool carriesLibraryChecks);

void to_json(nlohmann::json& json, const ModuleVerdict& verdict);
void from_json(const nlohmann::json& json, ModuleVerdict& verdict);

}  // namespace lumhost
