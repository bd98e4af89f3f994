// validate's verdicts as JUnit XML, which CI systems show as test results: a test suite
// per module, a test case per check.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "commands.h"
#include "host/module_verdict.h"

namespace lumhost {

void writeJUnitReport(std::ostream& out, const std::string& library, const ValidateSettings& settings,
                      const std::vector<ModuleVerdict>& verdicts);

}  // namespace lumhost
