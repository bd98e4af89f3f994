// The validator's checks by stable id, so a user or a script can list, choose and match
// them; a check's id never changes once released, its description may.
#pragma once

#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "module_description.h"

namespace lumhost {

// Every check, in the order a module meets them; validationChecks() holds one row each.
enum class CheckId {
    DescriptionMatches,
    FactoryInterfaces,
    FactoryLifecycle,
    FactoryUnknownIds,
    FactoryBadArguments,
    LibraryEntryPoint,
    LibraryReload,
    LibraryExports,
    DspSessions,
    DspGuards,
    DspHostCalls,
    DspTwoInstances,
    DspNotStreamingConstant,
    DspWakes,
    DspNoAllocation,
    DspNoLocks,
    DspNoBlockingCalls,
    DspNoThreadCalls,
    DspPointedValues,
    DspMovedBuffers,
    DspEventEdges,
    DspThreads,
    DspHostThread,
    GuiSessions,
    GuiHostCalls,
    GuiTwoInstances,
    GuiUnknownPin,
    GuiNoAllocation,
    GuiNoLocks,
    GuiNoBlockingCalls,
    GuiNoThreadCalls,
    DspOutputsWritten,
    DspOutputsFinite,
    DspNoSubnormalOutputs,
    DspValuesFinite,
    DspSilenceTail,
    DspSleepsWhenQuiet,
    DspBlockSplit,
    GuiValuesFinite,
};

// Which modules meet a check: every module, those of one side, or the one that carries the
// library's own checks (validate gives them to the first module it validates).
enum class CheckSide { Any, Dsp, Gui, Library };

struct ValidationCheck {
    CheckId id;
    const char* name;  // "family.name": description., factory., library., dsp. or gui.
    CheckSide side;
    const char* description;
};

// Every check, in CheckId's order.
const std::vector<ValidationCheck>& validationChecks();
const ValidationCheck& validationCheck(CheckId id);
inline const char* checkName(CheckId id) { return validationCheck(id).name; }
std::optional<CheckId> findCheck(const std::string& name);
// Whether check `id` is one a module of `side` meets: its own side's, the shared ones and
// the library's.
bool checkAppliesTo(CheckId id, Side side);

// A check as its name; from_json throws std::invalid_argument for a name no check has.
void to_json(nlohmann::json& json, CheckId id);
void from_json(const nlohmann::json& json, CheckId& id);

// Which checks run: all of `only` (every check when empty) but none of `skip`.
struct CheckSelection {
    std::vector<CheckId> only;
    std::vector<CheckId> skip;

    bool runs(CheckId id) const;
    // Whether some selected check is one a module of `side` meets only on its side.
    bool runsAnyOf(CheckSide side) const;
    // How many selected checks a module of `side` meets.
    std::size_t countFor(Side side) const;
};

}  // namespace lumhost
