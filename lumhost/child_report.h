// What a validating child tells lumhost, one line of JSON at a time, and the verdict lumhost
// gives from it once the child has ended, whichever way the platform runs the child.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "host/validator.h"

namespace lumhost {

// A line as each check starts, with the check's id and the verdict so far.
std::string runningLine(CheckId check, const ModuleVerdict& soFar);
// The line with the whole verdict, the child's last.
std::string endLine(const ModuleVerdict& verdict);
// A line naming how the child is dying ("EXCEPTION_ACCESS_VIOLATION in X.lum+0x1a2b"),
// where the child can still say so.
std::string crashLine(const std::string& how);

// What the parent knows from the child's report so far.
class ChildReport {
public:
    // Takes the next bytes of the report, in pieces of any size.
    void read(const char* bytes, std::size_t size);

    const std::optional<CheckId>& running() const { return running_; }

    // How the child's run ended, as the platform saw it: `timedOut` when lumhost killed it
    // after `timeoutSeconds`; else `death` names how it died, empty when it exited with
    // `exitStatus`.
    struct Ending {
        bool timedOut = false;
        double timeoutSeconds = 0.0;
        std::string death;
        long long exitStatus = 0;
    };
    // The child's verdict, crashed or hung when it did not end with it, blamed on the check
    // that was running.
    ModuleVerdict verdict(const ModuleDescription& module, const ValidationOptions& options,
                          const Ending& ending) const;

private:
    std::string unread_;  // a line not yet whole
    std::optional<ModuleVerdict> verdict_;
    std::optional<CheckId> running_;
    std::string crash_;
    bool ended_ = false;
};

}  // namespace lumhost
