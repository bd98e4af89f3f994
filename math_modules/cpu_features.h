// What the processor offers for the four-wide sub-processes, asked once per library load.
#pragma once

namespace kelmath {

// Both are settled at load time, before the host can create a module, so modules only
// read them, from any thread.
// Four-wide single-precision arithmetic (SSE); false on other processors.
bool cpuHasSse();
// Four-wide float/integer conversion (SSE2).
bool cpuHasSse2();

}  // namespace kelmath
