#include "cpu_features.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kelmath {
namespace {

bool cpuChecked = false;
bool hasSse = false;
bool hasSse2 = false;

}  // namespace

void checkCpuFeatures() {
    if (cpuChecked) return;
#if defined(_WIN32)
    // PF_XMMI_INSTRUCTIONS_AVAILABLE and PF_XMMI64_INSTRUCTIONS_AVAILABLE.
    hasSse = IsProcessorFeaturePresent(6) != 0;
    hasSse2 = IsProcessorFeaturePresent(10) != 0;
#elif defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    hasSse = __builtin_cpu_supports("sse") != 0;
    hasSse2 = __builtin_cpu_supports("sse2") != 0;
#endif
    cpuChecked = true;
}

bool cpuHasSse() { return hasSse; }
bool cpuHasSse2() { return hasSse2; }

}  // namespace kelmath
