#include "child_command_line.h"

#include <sstream>

namespace lumhost {

std::vector<std::string> childArguments(const std::string& libraryPath, std::uint32_t moduleNumber,
                                        const ValidationOptions& options, std::uintptr_t reportChannel) {
    std::vector<std::string> arguments = {"validate",       libraryPath,
                                          "--child-report", std::to_string(reportChannel),
                                          "--child-module", std::to_string(moduleNumber),
                                          "--seed",         std::to_string(options.seed),
                                          "--strictness",   std::to_string(options.strictness)};
    const auto add = [&](const char* option, const std::string& value) {
        arguments.push_back(option);
        arguments.push_back(value);
    };
    for (CheckId check : options.checks.only) add("--only", checkName(check));
    for (CheckId check : options.checks.skip) add("--skip", checkName(check));
    // Nine digits give back every rate and size the parent parsed.
    const auto listed = [](const auto& values) {
        std::ostringstream text;
        text.precision(9);
        for (std::size_t i = 0; i < values.size(); ++i) text << (i == 0 ? "" : ",") << values[i];
        return text.str();
    };
    if (!options.sampleRates.empty()) add("--sample-rates", listed(options.sampleRates));
    if (!options.blockSizes.empty()) add("--block-sizes", listed(options.blockSizes));
    if (options.abortOnViolation) arguments.push_back("--abort-on-violation");
    if (options.libraryChecks) arguments.push_back("--child-library-checks");
    return arguments;
}

}  // namespace lumhost
