// The families of checks validateModule runs on one module, a file each.
#pragma once

#include <random>

#include "verdict_recorder.h"

namespace lumhost {

// Interfaces and the lifecycle of instances.
void checkFactory(const ModuleLibrary& library, const ModuleDescription& module, const ValidationOptions& options,
                  VerdictRecorder& verdict);
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
