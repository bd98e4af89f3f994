#include "verdict_recorder.h"

#include <algorithm>

namespace lumhost {
namespace {

// Kinds of finding kept per check; more would repeat what the first ones say.
constexpr std::size_t kMaxFindingsPerCheck = 8;

}  // namespace

VerdictRecorder::VerdictRecorder(ModuleVerdict& verdict, const ValidationOptions& options)
    : verdict_(verdict), options_(options) {}

void VerdictRecorder::check(CheckId id, bool ok, const std::string& problem,
                            const std::function<std::vector<std::string>()>& callSite) {
    CheckResult* result = verdict_.result(id);
    if (result == nullptr) return;
    ++result->runs;
    if (!ok) find(id, problem, false, callSite);
}

void VerdictRecorder::warn(CheckId id, const std::string& message) {
    if (verdict_.result(id) != nullptr) find(id, message, true);
}

void VerdictRecorder::find(CheckId id, const std::string& message, bool warning,
                           const std::function<std::vector<std::string>()>& callSite) {
    std::vector<Finding>& findings = verdict_.result(id)->findings;
    const auto same = std::find_if(findings.begin(), findings.end(), [&](const Finding& finding) {
        return finding.message == message && finding.warning == warning;
    });
    if (same != findings.end()) {
        ++same->count;
    } else if (findings.size() < kMaxFindingsPerCheck) {
        findings.push_back({message, 1, place_, warning, callSite ? callSite() : std::vector<std::string>{}});
    }
}

bool VerdictRecorder::starts(CheckId id, bool always) {
    if (!always && !options_.checks.runs(id)) return false;
    finish();
    if (options_.checkStarted) options_.checkStarted(id, verdict_);
    running_ = id;
    since_ = std::chrono::steady_clock::now();
    place_.clear();
    return true;
}

void VerdictRecorder::finish() {
    if (!running_) return;
    if (CheckResult* result = verdict_.result(*running_)) {
        result->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - since_).count();
    }
    running_.reset();
}

bool VerdictRecorder::failed(CheckId id) const {
    const CheckResult* result = verdict_.result(id);
    return result != nullptr && result->failed();
}

}  // namespace lumhost
