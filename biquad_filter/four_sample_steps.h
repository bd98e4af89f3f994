// One to three sections with a fixed coefficient set, stepped four samples at a time in
// state-space form. The serial recurrence waits on each section's feedback (add,
// multiply, subtract, add) once per sample; here the state waits on it once per four
// samples, and the inputs' share of every output is worked out beside it:
//   y[0..3] = C s + D x[0..3],   s' = A^4 s + B x[0..3]
// with s the section's two states and the matrices derived from the set once per design.
// The rounding differs from the serial recurrence's: the states stay within 1e-9 of
// their RMS of the serial ones, poles close to z = 1 included, and few float outputs
// round the other way.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <new>

#include "biquad_design.h"
#include "cascade.h"
#include "double_pair.h"

namespace biquad {

// Two doubles for the two lanes of a register, the earlier sample's first. Kept between
// spans as plain doubles: a module object on 32-bit Windows' heap is only 8-byte aligned.
struct LanePair {
    double low;
    double high;
};

// The matrices of one section's four-sample step, by lane pairs: what each of the state's
// s1 and s2 and each input x0..x3 contributes to outputs (y0, y1) and (y2, y3), and to the
// state after the step.
struct FourSampleStep {
    LanePair y01FromState[2];
    LanePair y23FromState[2];
    LanePair y01FromInput[2];  // x2 and x3 come later
    LanePair y23FromInput[4];
    LanePair stateFromState[2];
    LanePair stateFromInput[4];
};

// The same matrices for four lanes (AVX2): what the state's s1 and s2 and each input
// x0..x3 contribute to outputs y0..y3, and to the state (s1, s2) after the step.
struct WideFourSampleStep {
    double yFromState[2][4];
    double yFromInput[4][4];
    double stateFromState[2][2];
    double stateFromInput[4][2];
};

inline WideFourSampleStep widened(const FourSampleStep& step) {
    WideFourSampleStep wide;
    for (int s = 0; s < 2; ++s) {
        const double y[4] = {step.y01FromState[s].low, step.y01FromState[s].high, step.y23FromState[s].low,
                             step.y23FromState[s].high};
        for (int lane = 0; lane < 4; ++lane) wide.yFromState[s][lane] = y[lane];
        wide.stateFromState[s][0] = step.stateFromState[s].low;
        wide.stateFromState[s][1] = step.stateFromState[s].high;
    }
    for (int j = 0; j < 4; ++j) {
        const LanePair to01 = j < 2 ? step.y01FromInput[j] : LanePair{0.0, 0.0};
        const double y[4] = {to01.low, to01.high, step.y23FromInput[j].low, step.y23FromInput[j].high};
        for (int lane = 0; lane < 4; ++lane) wide.yFromInput[j][lane] = y[lane];
        wide.stateFromInput[j][0] = step.stateFromInput[j].low;
        wide.stateFromInput[j][1] = step.stateFromInput[j].high;
    }
    return wide;
}

// Room for either form of the matrices, 32-byte aligned by hand: a module object on
// 32-bit Windows' heap is only 8-byte aligned, so alignas on a member would not hold.
// Kept in the module between spans, so a block reads the matrices where they lie.
class StepStorage {
public:
    StepStorage() = default;
    StepStorage(const StepStorage&) = delete;
    StepStorage& operator=(const StepStorage&) = delete;

    void store(const FourSampleStep& step) { new (aligned()) FourSampleStep(step); }
    void store(const WideFourSampleStep& step) { new (aligned()) WideFourSampleStep(step); }
    // The form last stored.
    const FourSampleStep& narrow() const { return *std::launder(reinterpret_cast<const FourSampleStep*>(aligned())); }
    const WideFourSampleStep& wide() const {
        return *std::launder(reinterpret_cast<const WideFourSampleStep*>(aligned()));
    }

private:
    static constexpr std::size_t kAlignment = 32;
    unsigned char* aligned() const {
        const auto address = reinterpret_cast<std::uintptr_t>(raw_);
        return const_cast<unsigned char*>(raw_) + ((kAlignment - address % kAlignment) % kAlignment);
    }
    static constexpr std::size_t kSize = sizeof(WideFourSampleStep) > sizeof(FourSampleStep)
                                             ? sizeof(WideFourSampleStep)
                                             : sizeof(FourSampleStep);
    unsigned char raw_[kSize + kAlignment - 1] = {};
};

inline FourSampleStep fourSampleStepOf(const Coefficients& c) {
    // One sample: s' = A s + B x, y = s1 + b0 x.
    const double a[2][2] = {{-c.a1, 1.0}, {-c.a2, 0.0}};
    const double b[2] = {c.b1 - c.a1 * c.b0, c.b2 - c.a2 * c.b0};
    // Row 0 of A^k: how the state reaches output k.
    double row[4][2] = {{1.0, 0.0}};
    for (int k = 0; k < 3; ++k) {
        row[k + 1][0] = row[k][0] * a[0][0] + row[k][1] * a[1][0];
        row[k + 1][1] = row[k][0] * a[0][1] + row[k][1] * a[1][1];
    }
    // A^m B: how input j reaches the state m + 1 samples on; h[m]: how it reaches output j + m.
    double aPowerB[4][2] = {{b[0], b[1]}};
    for (int m = 0; m < 3; ++m) {
        aPowerB[m + 1][0] = a[0][0] * aPowerB[m][0] + a[0][1] * aPowerB[m][1];
        aPowerB[m + 1][1] = a[1][0] * aPowerB[m][0] + a[1][1] * aPowerB[m][1];
    }
    double h[4] = {c.b0};
    for (int m = 1; m < 4; ++m) h[m] = row[m - 1][0] * b[0] + row[m - 1][1] * b[1];
    // A^4, as row 0 and row 1 of A^3 times A.
    double a3Row1[2] = {a[1][0], a[1][1]};
    for (int k = 1; k < 3; ++k) {
        const double next0 = a3Row1[0] * a[0][0] + a3Row1[1] * a[1][0];
        const double next1 = a3Row1[0] * a[0][1] + a3Row1[1] * a[1][1];
        a3Row1[0] = next0;
        a3Row1[1] = next1;
    }
    const double a4[2][2] = {
        {row[3][0] * a[0][0] + row[3][1] * a[1][0], row[3][0] * a[0][1] + row[3][1] * a[1][1]},
        {a3Row1[0] * a[0][0] + a3Row1[1] * a[1][0], a3Row1[0] * a[0][1] + a3Row1[1] * a[1][1]},
    };

    FourSampleStep step;
    for (int s = 0; s < 2; ++s) {
        step.y01FromState[s] = {row[0][s], row[1][s]};
        step.y23FromState[s] = {row[2][s], row[3][s]};
        step.stateFromState[s] = {a4[0][s], a4[1][s]};
    }
    step.y01FromInput[0] = {h[0], h[1]};
    step.y01FromInput[1] = {0.0, h[0]};
    step.y23FromInput[0] = {h[2], h[3]};
    step.y23FromInput[1] = {h[1], h[2]};
    step.y23FromInput[2] = {h[0], h[1]};
    step.y23FromInput[3] = {0.0, h[0]};
    for (int j = 0; j < 4; ++j) step.stateFromInput[j] = {aPowerB[3 - j][0], aPowerB[3 - j][1]};
    return step;
}

// A lane pair of matrices kept 16-byte aligned (StepStorage), read where it lies.
[[gnu::always_inline]] inline DoublePair at(const LanePair& pair) { return DoublePair(_mm_load_pd(&pair.low)); }

// Four samples through one section: (v01, v23) are its inputs and become its outputs;
// `state` holds s1 in the low lane and s2 in the high one. `m` is 16-byte aligned.
[[gnu::always_inline]] inline void stepFourSamples(const FourSampleStep& m, __m128d& state, __m128d& v01,
                                                   __m128d& v23) {
    const DoublePair x0(_mm_unpacklo_pd(v01, v01)), x1(_mm_unpackhi_pd(v01, v01));
    const DoublePair x2(_mm_unpacklo_pd(v23, v23)), x3(_mm_unpackhi_pd(v23, v23));
    const DoublePair s1(_mm_unpacklo_pd(state, state)), s2(_mm_unpackhi_pd(state, state));
    // The inputs' shares do not wait on the state; the state's come last.
    const DoublePair inputTo01 = at(m.y01FromInput[0]) * x0 + at(m.y01FromInput[1]) * x1;
    const DoublePair inputTo23 = (at(m.y23FromInput[0]) * x0 + at(m.y23FromInput[1]) * x1) +
                                 (at(m.y23FromInput[2]) * x2 + at(m.y23FromInput[3]) * x3);
    const DoublePair inputToState = (at(m.stateFromInput[0]) * x0 + at(m.stateFromInput[1]) * x1) +
                                    (at(m.stateFromInput[2]) * x2 + at(m.stateFromInput[3]) * x3);
    v01 = (inputTo01 + (at(m.y01FromState[0]) * s1 + at(m.y01FromState[1]) * s2)).lanes;
    v23 = (inputTo23 + (at(m.y23FromState[0]) * s1 + at(m.y23FromState[1]) * s2)).lanes;
    state = (inputToState + (at(m.stateFromState[0]) * s1 + at(m.stateFromState[1]) * s2)).lanes;
}

// A span through one to three sections of one set: four-sample steps, then the serial
// recurrence for the last samples. `step` is 16-byte aligned. Returns the last output.
template <std::int32_t Sections>
[[gnu::always_inline]] inline double filterInFourSampleSteps(const FourSampleStep& step, const Coefficients& c,
                                                             double* states, const float* in, float* out,
                                                             std::int32_t sampleFrames) {
    // Each section costs some 29 operations a step; from four sections on the pipelined
    // chain, at some 22 a sample for all four, is faster.
    static_assert(Sections >= 1 && Sections <= 3, "four sections run pipelined");

    __m128d first = _mm_loadu_pd(states);
    __m128d second = Sections >= 2 ? _mm_loadu_pd(states + 2) : _mm_setzero_pd();
    __m128d third = Sections >= 3 ? _mm_loadu_pd(states + 4) : _mm_setzero_pd();
    __m128d last23 = _mm_setzero_pd();
    std::int32_t i = 0;
    for (; sampleFrames - i >= 4; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        __m128d v01 = _mm_cvtps_pd(x);
        __m128d v23 = _mm_cvtps_pd(_mm_movehl_ps(x, x));
        stepFourSamples(step, first, v01, v23);
        if constexpr (Sections >= 2) stepFourSamples(step, second, v01, v23);
        if constexpr (Sections >= 3) stepFourSamples(step, third, v01, v23);
        _mm_storeu_ps(out + i, _mm_movelh_ps(_mm_cvtpd_ps(v01), _mm_cvtpd_ps(v23)));
        last23 = v23;
    }
    _mm_storeu_pd(states, first);
    if constexpr (Sections >= 2) _mm_storeu_pd(states + 2, second);
    if constexpr (Sections >= 3) _mm_storeu_pd(states + 4, third);
    if (i == sampleFrames) return _mm_cvtsd_f64(_mm_unpackhi_pd(last23, last23));
    SharedSet rest(c);
    return filterInSeries<Sections>(rest, states, in + i, out + i, sampleFrames - i);
}

}  // namespace biquad
