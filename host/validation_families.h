// The families of checks validateModule runs on one module, a file each.
#pragma once

#include <random>

#include "verdict_recorder.h"

namespace lumhost {

// The library's own: its entry point, loading it again and again, what it exports.
void checkLibrary(const ModuleLibrary& library, const ModuleDescription& module, const ValidationOptions& options,
                  VerdictRecorder& verdict);
// Interfaces, the lifecycle of instances, and identifiers and arguments createInstance refuses.
void checkFactory(const ModuleLibrary& library, const ModuleDescription& module, const ValidationOptions& options,
                  VerdictRecorder& verdict);
// Sessions fixed by `seed`, each played in two legal ways that must give the same, and on
// several threads at once.
void checkDspContract(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t seed,
                      const ValidationOptions& options, VerdictRecorder& verdict);
// Random legal sessions on the processing side, two instances in step.
void checkDspSessions(const ModuleLibrary& library, const ModuleDescription& module, std::mt19937& random,
                      const ValidationOptions& options, VerdictRecorder& verdict);
// Random pin values on the user-interface side, two instances in step.
void checkGuiSessions(const ModuleLibrary& library, const ModuleDescription& module, std::mt19937& random,
                      const ValidationOptions& options, VerdictRecorder& verdict);

// One recorded session in steady blocks and again split at every event, compared.
void checkBlockSplit(const ModuleLibrary& library, const ModuleDescription& module, std::mt19937& random,
                     const ValidationOptions& options, VerdictRecorder& verdict);

}  // namespace lumhost
