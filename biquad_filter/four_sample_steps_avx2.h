// The four-sample steps with AVX2 and FMA: one register holds a step's four outputs, and
// every product is fused with its sum. Compiled for those instructions function by
// function (the target attribute), so the library still loads and runs on SSE2 alone; the
// module calls these only when the processor query says they run (biquad::useAvx2).
//
// Fused products round once where the SSE2 steps round twice, so the two instruction sets
// differ by rounding, within the same bounds of the serial recurrence. One to four
// sections: at four, the steps' throughput beats the pipelined chain with these
// instructions, where with SSE2 it does not.
//
// Only unaligned loads and stores, and no 32-byte value is passed through memory by
// reference: mingw-w64's x86-64 gcc cannot realign the stack for 32-byte spills (its SEH
// frames), which the Windows build's assembler option turns into unaligned moves.
#pragma once

#include <cstdlib>

#include "four_sample_steps.h"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(__EMSCRIPTEN__)
#define BIQUAD_HAS_AVX2 1
#include <immintrin.h>
#else
#define BIQUAD_HAS_AVX2 0
#endif

namespace biquad {

// The environment variable that makes the module take its SSE2 steps on a processor with
// AVX2 and FMA: set to anything but empty or "0". Read once, when the library loads.
inline constexpr char kForceSse2Variable[] = "LUM_FILTER_SSE2";

inline bool sse2Forced() {
    const char* value = std::getenv(kForceSse2Variable);
    return value != nullptr && value[0] != '\0' && !(value[0] == '0' && value[1] == '\0');
}

// Whether this processor, and the system's saving of its registers, run AVX2 and FMA.
inline bool processorHasAvx2Fma() {
#if BIQUAD_HAS_AVX2
    // gcc's query also checks that the system saves the 256-bit registers (XGETBV).
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

#if BIQUAD_HAS_AVX2

#define BIQUAD_AVX2 gnu::target("avx2,fma")

// Four samples through one section: `v` holds its inputs x0..x3 and becomes its outputs;
// `state` holds s1 in the low lane and s2 in the high one.
[[BIQUAD_AVX2, gnu::always_inline]] inline void stepFourSamplesAvx2(const WideFourSampleStep& m, __m128d& state,
                                                                    __m256d& v) {
    const __m256d x0 = _mm256_permute4x64_pd(v, 0x00), x1 = _mm256_permute4x64_pd(v, 0x55);
    const __m256d x2 = _mm256_permute4x64_pd(v, 0xAA), x3 = _mm256_permute4x64_pd(v, 0xFF);
    // The inputs' shares do not wait on the state; the state's come last.
    const __m256d inputToY = _mm256_add_pd(
        _mm256_fmadd_pd(_mm256_loadu_pd(m.yFromInput[1]), x1, _mm256_mul_pd(_mm256_loadu_pd(m.yFromInput[0]), x0)),
        _mm256_fmadd_pd(_mm256_loadu_pd(m.yFromInput[3]), x3, _mm256_mul_pd(_mm256_loadu_pd(m.yFromInput[2]), x2)));
    const __m128d inputToState =
        _mm_add_pd(_mm_fmadd_pd(_mm_loadu_pd(m.stateFromInput[1]), _mm256_castpd256_pd128(x1),
                                _mm_mul_pd(_mm_loadu_pd(m.stateFromInput[0]), _mm256_castpd256_pd128(x0))),
                   _mm_fmadd_pd(_mm_loadu_pd(m.stateFromInput[3]), _mm256_castpd256_pd128(x3),
                                _mm_mul_pd(_mm_loadu_pd(m.stateFromInput[2]), _mm256_castpd256_pd128(x2))));
    const __m256d wide = _mm256_castpd128_pd256(state);
    const __m256d s1 = _mm256_permute4x64_pd(wide, 0x00), s2 = _mm256_permute4x64_pd(wide, 0x55);
    v = _mm256_fmadd_pd(_mm256_loadu_pd(m.yFromState[0]), s1,
                        _mm256_fmadd_pd(_mm256_loadu_pd(m.yFromState[1]), s2, inputToY));
    state = _mm_fmadd_pd(_mm_loadu_pd(m.stateFromState[0]), _mm256_castpd256_pd128(s1),
                         _mm_fmadd_pd(_mm_loadu_pd(m.stateFromState[1]), _mm256_castpd256_pd128(s2), inputToState));
}

// A span through one to four sections of one set: four-sample steps, then the serial
// recurrence for the last samples. Returns the last output.
template <std::int32_t Sections>
[[BIQUAD_AVX2, gnu::always_inline]] inline double filterInFourSampleStepsAvx2(const WideFourSampleStep& step,
                                                                              const Coefficients& c, double* states,
                                                                              const float* in, float* out,
                                                                              std::int32_t sampleFrames) {
    static_assert(Sections >= 1 && Sections <= 4);
    __m128d first = _mm_loadu_pd(states);
    __m128d second = Sections >= 2 ? _mm_loadu_pd(states + 2) : _mm_setzero_pd();
    __m128d third = Sections >= 3 ? _mm_loadu_pd(states + 4) : _mm_setzero_pd();
    __m128d fourth = Sections >= 4 ? _mm_loadu_pd(states + 6) : _mm_setzero_pd();
    __m256d v = _mm256_setzero_pd();
    std::int32_t i = 0;
    for (; sampleFrames - i >= 4; i += 4) {
        v = _mm256_cvtps_pd(_mm_loadu_ps(in + i));
        stepFourSamplesAvx2(step, first, v);
        if constexpr (Sections >= 2) stepFourSamplesAvx2(step, second, v);
        if constexpr (Sections >= 3) stepFourSamplesAvx2(step, third, v);
        if constexpr (Sections >= 4) stepFourSamplesAvx2(step, fourth, v);
        _mm_storeu_ps(out + i, _mm256_cvtpd_ps(v));
    }
    _mm_storeu_pd(states, first);
    if constexpr (Sections >= 2) _mm_storeu_pd(states + 2, second);
    if constexpr (Sections >= 3) _mm_storeu_pd(states + 4, third);
    if constexpr (Sections >= 4) _mm_storeu_pd(states + 6, fourth);
    if (i == sampleFrames) {
        const __m128d high = _mm256_extractf128_pd(v, 1);
        return _mm_cvtsd_f64(_mm_unpackhi_pd(high, high));
    }
    SharedSet rest(c);
    return filterInSeries<Sections>(rest, states, in + i, out + i, sampleFrames - i);
}

#undef BIQUAD_AVX2

#endif

}  // namespace biquad
