#include "validator.h"

#include <random>

#include "description_check.h"
#include "realtime_watch.h"
#include "validation_families.h"

namespace lumhost {

ModuleVerdict validateModule(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t moduleNumber,
                             const ValidationOptions& options) {
    ModuleVerdict result = emptyVerdict(module, options.checks, options.libraryChecks);
    RealtimeWatch::markUnseen(result, options);
    {
        VerdictRecorder verdict(result, options);
        std::mt19937 random(options.seed * 7919u + moduleNumber);
        // Every family runs whatever an earlier one found, so each check reports.
        if (verdict.starts(CheckId::DescriptionMatches)) {
            for (const std::string& problem : compareDescriptionWithModule(library, module)) {
                verdict.check(CheckId::DescriptionMatches, false, problem);
            }
            verdict.check(CheckId::DescriptionMatches, true, {});
        }
        checkFactory(library, module, options, verdict);
        if (options.libraryChecks) checkLibrary(library, module, options, verdict);
        // The sessions run when any check they feed is selected.
        const bool dsp = module.side == Side::Dsp;
        if (options.checks.runsAnyOf(dsp ? CheckSide::Dsp : CheckSide::Gui)) {
            verdict.starts(dsp ? CheckId::DspSessions : CheckId::GuiSessions, true);
            if (dsp) {
                checkDspSessions(library, module, random, options, verdict);
                // Seeded apart from the random sessions, which stay what they are whatever runs.
                checkDspContract(library, module, (options.seed * 7919u + moduleNumber) ^ 0x5EEDC0DEu, options,
                                 verdict);
                if (verdict.starts(CheckId::DspBlockSplit)) checkBlockSplit(library, module, random, options, verdict);
            } else {
                checkGuiSessions(library, module, random, options, verdict);
            }
        }
    }
    return result;
}

}  // namespace lumhost
