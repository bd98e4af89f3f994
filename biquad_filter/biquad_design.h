// The biquad design: tangent pre-warp, the bit-level gain factor and the coefficient
// table of the seven shapes. Pure functions, so the module and its tests share them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "filter_pins.h"

namespace biquad {

// a0 is normalised to 1; the recurrence subtracts the a terms.
struct Coefficients {
    double b0;
    double b1;
    double b2;
    double a1;
    double a2;
};

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kSqrt2 = 1.4142135623730951;
inline constexpr double kMinimumQ = 0.1;

// tan(pi * frequency / sampleRate) by its continued fraction cut after four terms. Not
// clamped: its pole sits just above half the sample rate.
inline double tanApprox(double frequency, double sampleRate) {
    const double w = kPi * frequency / sampleRate;
    const double w2 = w * w;
    return -(5.0 * w * (2.0 * w2 - 21.0)) / (w2 * w2 + 105.0 - 45.0 * w2);
}

// Truncation toward zero as x86's cvttsd2si does it: NaN and values outside int32 give
// -2147483648, where a plain C++ conversion would be undefined.
inline std::int32_t truncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

// About 10^(|gainDb| / 20): the upper word of a double built from the magnitude, the
// lower word zero. Exact at 20 dB, 0.9710078239440918 at 0 dB.
inline double gainFactor(double gainDb) {
    const std::int32_t high = truncateToInt32(std::fabs(gainDb) * 173433.65 + 1072632447.0);
    const std::uint64_t bits = static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32;
    double factor;
    std::memcpy(&factor, &bits, sizeof factor);
    return factor;
}

// Pin samples stand for a tenth of their value.
inline double frequencyFromPin(float sample) { return 10.0 * static_cast<double>(sample); }
inline double gainFromPin(float sample) { return 10.0 * static_cast<double>(sample); }
// Zero, negative and NaN Q samples all give the floor.
inline double qFromPin(float sample) {
    const double q = 10.0 * static_cast<double>(sample);
    return q > kMinimumQ ? q : kMinimumQ;
}

// The coefficient set of `filterType` at `frequency` Hz with `q` and `gainDb` (shapes 4-6
// only). A shape outside 0-6 passes the signal through unchanged, so a bad patch value
// is audible but stable.
inline Coefficients calcCoefficients(std::int32_t filterType, double frequency, double q, double gainDb,
                                     double sampleRate) {
    const double k = tanApprox(frequency, sampleRate);
    const double k2 = k * k;
    const double kq = k / q;
    const double twoK2Minus1 = 2.0 * (k2 - 1.0);
    // NaN compares false, so a NaN gain takes the cut branch.
    const bool boost = gainDb >= 0.0;
    switch (filterType) {
        case kLowPass: {
            const double n = 1.0 / (1.0 + kq + k2);
            return {k2 * n, 2.0 * k2 * n, k2 * n, twoK2Minus1 * n, (1.0 - kq + k2) * n};
        }
        case kHighPass: {
            const double n = 1.0 / (1.0 + kq + k2);
            return {n, -2.0 * n, n, twoK2Minus1 * n, (1.0 - kq + k2) * n};
        }
        case kBandPass: {
            const double n = 1.0 / (1.0 + kq + k2);
            return {kq * n, 0.0, -kq * n, twoK2Minus1 * n, (1.0 - kq + k2) * n};
        }
        case kNotch: {
            const double n = 1.0 / (1.0 + kq + k2);
            return {(1.0 + k2) * n, twoK2Minus1 * n, (1.0 + k2) * n, twoK2Minus1 * n, (1.0 - kq + k2) * n};
        }
        case kPeak: {
            const double vkq = gainFactor(gainDb) * k / q;
            if (boost) {
                const double n = 1.0 / (1.0 + kq + k2);
                return {(1.0 + vkq + k2) * n, twoK2Minus1 * n, (1.0 - vkq + k2) * n, twoK2Minus1 * n,
                        (1.0 - kq + k2) * n};
            }
            const double m = 1.0 / (1.0 + vkq + k2);
            return {(1.0 + kq + k2) * m, twoK2Minus1 * m, (1.0 - kq + k2) * m, twoK2Minus1 * m, (1.0 - vkq + k2) * m};
        }
        case kLowShelf: {
            const double v = gainFactor(gainDb);
            const double s = std::sqrt(2.0 * v) * k;
            const double sqrt2K = kSqrt2 * k;
            if (boost) {
                const double h = 1.0 / (1.0 + sqrt2K + k2);
                return {(1.0 + s + v * k2) * h, 2.0 * (v * k2 - 1.0) * h, (1.0 - s + v * k2) * h, twoK2Minus1 * h,
                        (1.0 - sqrt2K + k2) * h};
            }
            const double m = 1.0 / (1.0 + s + v * k2);
            return {(1.0 + sqrt2K + k2) * m, twoK2Minus1 * m, (1.0 - sqrt2K + k2) * m, 2.0 * (v * k2 - 1.0) * m,
                    (1.0 - s + v * k2) * m};
        }
        case kHighShelf: {
            const double v = gainFactor(gainDb);
            const double s = std::sqrt(2.0 * v) * k;
            const double sqrt2K = kSqrt2 * k;
            if (boost) {
                const double h = 1.0 / (1.0 + sqrt2K + k2);
                return {(v + s + k2) * h, 2.0 * (k2 - v) * h, (v - s + k2) * h, twoK2Minus1 * h,
                        (1.0 - sqrt2K + k2) * h};
            }
            const double m = 1.0 / (v + s + k2);
            return {(1.0 + sqrt2K + k2) * m, twoK2Minus1 * m, (1.0 - sqrt2K + k2) * m, 2.0 * (k2 - v) * m,
                    (v - s + k2) * m};
        }
        default: return {1.0, 0.0, 0.0, 0.0, 0.0};
    }
}

}  // namespace biquad
