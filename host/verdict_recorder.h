// Where a validating family of checks puts what it finds: each check's runs and findings,
// a repeated finding counted once with the place it was first seen.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "validator.h"

namespace lumhost {

class VerdictRecorder {
public:
    VerdictRecorder(ModuleVerdict& verdict, const ValidationOptions& options);
    ~VerdictRecorder() { finish(); }
    VerdictRecorder(const VerdictRecorder&) = delete;
    VerdictRecorder& operator=(const VerdictRecorder&) = delete;

    // Records one run of check `id`; a failed one keeps `problem`, and the first of its kind
    // the call site `callSite` gives, asked then only.
    void check(CheckId id, bool ok, const std::string& problem,
               const std::function<std::vector<std::string>()>& callSite = {});
    // Something suspicious but legal.
    void warn(CheckId id, const std::string& message);
    // Whether check `id` is selected (or `always` runs), telling the caller's observer that
    // it starts; the time until the next start is the check's.
    bool starts(CheckId id, bool always = false);
    // Where the findings from now on are ("session 2, block 17").
    void at(std::string place) { place_ = std::move(place); }
    bool runs(CheckId id) const { return options_.checks.runs(id); }
    bool failed(CheckId id) const;
    // Ends the running check's time.
    void finish();

private:
    void find(CheckId id, const std::string& message, bool warning,
              const std::function<std::vector<std::string>()>& callSite = {});

    ModuleVerdict& verdict_;
    const ValidationOptions& options_;
    std::string place_;
    std::optional<CheckId> running_;
    std::chrono::steady_clock::time_point since_;
};

}  // namespace lumhost
