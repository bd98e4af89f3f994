// The minimal hand-written transposed direct form II cascade: coefficients given,
// states in locals, nothing around it. The practical limit for serial sections.
#pragma once

#include <cstdint>

#include "biquad_filter/biquad_design.h"

namespace bench {

template <std::int32_t Sections>
void minimalCascade(const biquad::Coefficients& c, double (&states)[2 * Sections], const float* in, float* out,
                    std::int32_t frames) {
    double s1[Sections];
    double s2[Sections];
    for (std::int32_t k = 0; k < Sections; ++k) {
        s1[k] = states[2 * k];
        s2[k] = states[2 * k + 1];
    }
    for (std::int32_t i = 0; i < frames; ++i) {
        double y = in[i];
        for (std::int32_t k = 0; k < Sections; ++k) {
            const double x = y;
            y = c.b0 * x + s1[k];
            s1[k] = c.b1 * x - c.a1 * y + s2[k];
            s2[k] = c.b2 * x - c.a2 * y;
        }
        out[i] = static_cast<float>(y);
    }
    for (std::int32_t k = 0; k < Sections; ++k) {
        states[2 * k] = s1[k];
        states[2 * k + 1] = s2[k];
    }
}

}  // namespace bench
