// What the processor offers for the four-wide sub-processes, asked once per library load.
#pragma once

namespace kelmath {

// Fills the flags the first time; later calls keep them. Two first calls at once write
// the same values. [load time, any thread]
void checkCpuFeatures();
// Four-wide single-precision arithmetic (SSE); false until checked and on other processors.
bool cpuHasSse();
// Four-wide float/integer conversion (SSE2).
bool cpuHasSse2();

}  // namespace kelmath
