// What validate tells beyond its text: the command that reproduces one module's check,
// and the whole run as JSON for scripts.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "host/validator.h"

namespace lumhost {

// The command that runs exactly `check` (every selected check when none) on module
// `moduleId` as `settings` did.
std::string reproduction(const ValidateSettings& settings, const std::string& moduleId, std::optional<CheckId> check);

// Every module's verdict as the validating child reports it, each check with the command
// that reproduces it.
nlohmann::json validationReport(const std::string& library, const ValidateSettings& settings,
                                const std::vector<ModuleVerdict>& verdicts);

}  // namespace lumhost
