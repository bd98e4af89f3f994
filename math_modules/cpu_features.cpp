#include "cpu_features.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kelmath {
namespace {

struct CpuFeatures {
    bool sse = false;
    bool sse2 = false;
};

CpuFeatures askProcessor() {
    CpuFeatures features;
#if defined(_WIN32)
    // PF_XMMI_INSTRUCTIONS_AVAILABLE and PF_XMMI64_INSTRUCTIONS_AVAILABLE.
    features.sse = IsProcessorFeaturePresent(6) != 0;
    features.sse2 = IsProcessorFeaturePresent(10) != 0;
#elif defined(__EMSCRIPTEN__)
    // The build maps SSE and SSE2 onto WebAssembly's vector instructions.
    features.sse = true;
    features.sse2 = true;
#elif defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    features.sse = __builtin_cpu_supports("sse") != 0;
    features.sse2 = __builtin_cpu_supports("sse2") != 0;
#endif
    return features;
}

// Asked during static initialisation, where registration already runs on one thread:
// instances created later on any thread never write it, so they never race on it.
const CpuFeatures cpuFeatures = askProcessor();

}  // namespace

bool cpuHasSse() { return cpuFeatures.sse; }
bool cpuHasSse2() { return cpuFeatures.sse2; }

}  // namespace kelmath
