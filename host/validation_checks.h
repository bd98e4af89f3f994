// The validator's checks by stable id, so a user or a script can list, choose and match
// them; a check's id never changes once released, its description may.
#pragma once

#include <string>
#include <vector>

#include "module_description.h"

namespace lumhost {

struct ValidationCheck {
    const char* id;  // "side.name": description., factory. and the dsp. or gui. checks
    const char* description;
};

// Every check, in the order a module meets them.
const std::vector<ValidationCheck>& validationChecks();
bool isValidationCheck(const std::string& id);

// Which checks run: all of `only` (every check when empty) but none of `skip`.
struct CheckSelection {
    std::vector<std::string> only;
    std::vector<std::string> skip;

    bool runs(const std::string& id) const;
    // Whether some selected check starts with `prefix`, such as "dsp.".
    bool runsAnyOf(const std::string& prefix) const;
    // How many selected checks a module of `side` meets.
    std::size_t countFor(Side side) const;
};

// Whether check `id` is one a module of `side` meets: its own side's and the shared ones.
bool checkAppliesTo(const std::string& id, Side side);

}  // namespace lumhost
