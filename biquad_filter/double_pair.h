// Two doubles in one SSE2 register with the arithmetic of a double, so one design
// template serves one sample or two. Every operation is the IEEE one of the scalar code,
// lane by lane, so both lanes round exactly as a scalar double would.
#pragma once

#include <emmintrin.h>

#include <cstring>

namespace biquad {

struct DoublePair {
    __m128d lanes;

    DoublePair() = default;
    explicit DoublePair(__m128d value) : lanes(value) {}
    // A constant of the scalar code, in both lanes.
    DoublePair(double value) : lanes(_mm_set1_pd(value)) {}

    // Two consecutive float pin samples, widened. Copied as one 8-byte value, which the
    // compiler turns into a single load without reading floats through a double.
    static DoublePair widen(const float* samples) {
        double both;
        std::memcpy(&both, samples, sizeof both);
        return DoublePair(_mm_cvtps_pd(_mm_castpd_ps(_mm_set_sd(both))));
    }

    friend DoublePair operator+(DoublePair a, DoublePair b) { return DoublePair(_mm_add_pd(a.lanes, b.lanes)); }
    friend DoublePair operator-(DoublePair a, DoublePair b) { return DoublePair(_mm_sub_pd(a.lanes, b.lanes)); }
    friend DoublePair operator*(DoublePair a, DoublePair b) { return DoublePair(_mm_mul_pd(a.lanes, b.lanes)); }
    friend DoublePair operator/(DoublePair a, DoublePair b) { return DoublePair(_mm_div_pd(a.lanes, b.lanes)); }
    // A sign flip, as scalar negation is, NaN included.
    friend DoublePair operator-(DoublePair a) { return DoublePair(_mm_xor_pd(a.lanes, _mm_set1_pd(-0.0))); }
    // a > b ? a : b per lane; NaN in a gives b, as the scalar comparison does.
    friend DoublePair greaterOr(DoublePair a, DoublePair b) { return DoublePair(_mm_max_pd(a.lanes, b.lanes)); }
};

}  // namespace biquad
