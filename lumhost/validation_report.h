// What validate tells beyond its text: the command that reproduces one module's check,
// and the whole run as JSON for scripts.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "commands.h"
#include "host/validator.h"

namespace lumhost {

// The command that runs exactly `check` on module `moduleId` as `settings` did.
std::string reproduction(const ValidateSettings& settings, const std::string& moduleId, const std::string& check);

// Every module's verdict and, for each check selected for its side, the check's status
// ("pass", "fail", "crashed", "not checked" on this platform, or "not run" when an
// earlier failure or crash ended the module's run), message and reproduction command.
nlohmann::json validationReport(const std::string& library, const ValidateSettings& settings,
                                const std::vector<ModuleVerdict>& verdicts);

}  // namespace lumhost
