// The biquad design: tangent pre-warp, the bit-level gain factor and the coefficient
// table of the seven shapes. Pure functions, so the module and its tests share them.
// The per-sample parts are templates over the number type: a double, or a DoublePair
// designing two samples at once with the same operations in the same order.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "filter_pins.h"

namespace biquad {

// a0 is normalised to 1; the recurrence subtracts the a terms.
template <class T>
struct CoefficientSet {
    T b0;
    T b1;
    T b2;
    T a1;
    T a2;
};
using Coefficients = CoefficientSet<double>;

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kSqrt2 = 1.4142135623730951;
inline constexpr double kMinimumQ = 0.1;

// The design is written as steps that each end in at most one division, so a loop
// designing many samples can run the steps of different samples side by side; every step
// is the same arithmetic in the same order as the whole.

// w = pi * frequency / sampleRate.
template <class T>
T prewarpAngle(T frequency, double sampleRate) {
    return kPi * frequency / sampleRate;
}

// tan(w) by its continued fraction cut after four terms.
template <class T>
T tanOfAngle(T w) {
    const T w2 = w * w;
    return -(5.0 * w * (2.0 * w2 - 21.0)) / (w2 * w2 + 105.0 - 45.0 * w2);
}

// tan(pi * frequency / sampleRate). Not clamped: its pole sits just above half the
// sample rate.
template <class T>
T tanApprox(T frequency, double sampleRate) {
    return tanOfAngle(prewarpAngle(frequency, sampleRate));
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

inline double greaterOr(double a, double b) { return a > b ? a : b; }

// Pin samples, widened, stand for a tenth of their value.
template <class T>
T frequencyFromPin(T sample) {
    return 10.0 * sample;
}
inline double frequencyFromPin(float sample) { return frequencyFromPin(static_cast<double>(sample)); }
inline double gainFromPin(float sample) { return 10.0 * static_cast<double>(sample); }
// Zero, negative and NaN Q samples all give the floor.
template <class T>
T qFromPin(T sample) {
    return greaterOr(10.0 * sample, kMinimumQ);
}
inline double qFromPin(float sample) { return qFromPin(static_cast<double>(sample)); }

// What the gain contributes to shapes 4-6. The gain holds for a whole span, so this is
// worked out once per span, not per sample.
struct GainTerms {
    double v;       // gainFactor of the gain
    double sqrt2V;  // the shelves' sqrt(2V)
    bool boost;     // NaN compares false, so a NaN gain takes the cut branch
};

inline GainTerms gainTerms(double gainDb) {
    const double v = gainFactor(gainDb);
    return {v, std::sqrt(2.0 * v), gainDb >= 0.0};
}

// A shape outside 0-6 passes the signal through unchanged, so a bad patch value is
// audible but stable.
inline constexpr Coefficients kPassThrough = {1.0, 0.0, 0.0, 0.0, 0.0};

// The gain at 0 Hz of `sections` sections of `filterType`: the table's sums of b over
// sums of a at z = 1 reduce to 1, to 0 for the high-pass and band-pass, and to the shelf
// level for the low shelf (V boosting, 1 / V cutting).
inline double dcGain(std::int32_t filterType, double gainDb, std::int32_t sections) {
    double sectionGain = 1.0;
    if (filterType == kHighPass || filterType == kBandPass) sectionGain = 0.0;
    if (filterType == kLowShelf) {
        const GainTerms gain = gainTerms(gainDb);
        sectionGain = gain.boost ? gain.v : 1.0 / gain.v;
    }
    double chainGain = 1.0;
    for (std::int32_t i = 0; i < sections; ++i) chainGain *= sectionGain;
    return chainGain;
}

// The divisions by Q of shapes 0-4: K / Q, and V K / Q for the peak.
template <class T>
struct Quotients {
    T kq;
    T vkq;
};

template <std::int32_t Shape, class T>
Quotients<T> quotientsOf(T k, T q, const GainTerms& gain) {
    if constexpr (Shape == kPeak) return {k / q, gain.v * k / q};
    if constexpr (Shape < kPeak) return {k / q, 0.0};
    return {0.0, 0.0};
}

// The coefficient set of shape `Shape` (0-6) from the pre-warped frequency `k` and its
// quotients (shapes 0-4).
template <std::int32_t Shape, class T>
[[gnu::always_inline]] inline CoefficientSet<T> designFromQuotients(T k, const Quotients<T>& quotients,
                                                                    const GainTerms& gain) {
    static_assert(Shape >= kLowPass && Shape <= kHighShelf);
    const T k2 = k * k;
    const T twoK2Minus1 = 2.0 * (k2 - 1.0);
    if constexpr (Shape <= kPeak) {
        const T kq = quotients.kq;
        if constexpr (Shape == kPeak) {
            const T vkq = quotients.vkq;
            if (gain.boost) {
                const T n = 1.0 / (1.0 + kq + k2);
                return {(1.0 + vkq + k2) * n, twoK2Minus1 * n, (1.0 - vkq + k2) * n, twoK2Minus1 * n,
                        (1.0 - kq + k2) * n};
            }
            const T m = 1.0 / (1.0 + vkq + k2);
            return {(1.0 + kq + k2) * m, twoK2Minus1 * m, (1.0 - kq + k2) * m, twoK2Minus1 * m, (1.0 - vkq + k2) * m};
        } else {
            const T n = 1.0 / (1.0 + kq + k2);
            const T a2 = (1.0 - kq + k2) * n;
            if constexpr (Shape == kLowPass) return {k2 * n, 2.0 * k2 * n, k2 * n, twoK2Minus1 * n, a2};
            if constexpr (Shape == kHighPass) return {n, -2.0 * n, n, twoK2Minus1 * n, a2};
            if constexpr (Shape == kBandPass) return {kq * n, 0.0, -kq * n, twoK2Minus1 * n, a2};
            if constexpr (Shape == kNotch)
                return {(1.0 + k2) * n, twoK2Minus1 * n, (1.0 + k2) * n, twoK2Minus1 * n, a2};
        }
    } else {
        // The shelves' fixed sqrt(2) damping: Q plays no part.
        const double v = gain.v;
        const T s = gain.sqrt2V * k;
        const T sqrt2K = kSqrt2 * k;
        if constexpr (Shape == kLowShelf) {
            if (gain.boost) {
                const T h = 1.0 / (1.0 + sqrt2K + k2);
                return {(1.0 + s + v * k2) * h, 2.0 * (v * k2 - 1.0) * h, (1.0 - s + v * k2) * h, twoK2Minus1 * h,
                        (1.0 - sqrt2K + k2) * h};
            }
            const T m = 1.0 / (1.0 + s + v * k2);
            return {(1.0 + sqrt2K + k2) * m, twoK2Minus1 * m, (1.0 - sqrt2K + k2) * m, 2.0 * (v * k2 - 1.0) * m,
                    (1.0 - s + v * k2) * m};
        } else {
            if (gain.boost) {
                const T h = 1.0 / (1.0 + sqrt2K + k2);
                return {(v + s + k2) * h, 2.0 * (k2 - v) * h, (v - s + k2) * h, twoK2Minus1 * h,
                        (1.0 - sqrt2K + k2) * h};
            }
            const T m = 1.0 / (v + s + k2);
            return {(1.0 + sqrt2K + k2) * m, twoK2Minus1 * m, (1.0 - sqrt2K + k2) * m, 2.0 * (k2 - v) * m,
                    (v - s + k2) * m};
        }
    }
}

// The coefficient set of shape `Shape` (0-6) at `frequency` Hz with `q` (shapes 0-4).
template <std::int32_t Shape, class T>
[[gnu::always_inline]] inline CoefficientSet<T> designShape(T frequency, T q, const GainTerms& gain,
                                                            double sampleRate) {
    const T k = tanApprox(frequency, sampleRate);
    return designFromQuotients<Shape>(k, quotientsOf<Shape>(k, q, gain), gain);
}

// The set of shape `Shape` at `frequency` Hz with `q` as designShape gives it, in one
// division: with K = N / D from the tangent's continued fraction, every coefficient is a
// polynomial in N and D over one shared denominator, and the angle takes pi / sampleRate
// worked out once. Rounds differently from designShape's four divisions (within a few
// units in the last place for ordinary settings); and where D is 0, the tangent's pole,
// it gives the limit's finite set where designShape's is not a number.
template <std::int32_t Shape, class T>
[[gnu::always_inline]] inline CoefficientSet<T> designWithOneDivision(T frequency, T q, const GainTerms& gain,
                                                                      double piOverRate) {
    static_assert(Shape >= kLowPass && Shape <= kHighShelf);
    const T w = frequency * piOverRate;
    const T w2 = w * w;
    const T n = -(5.0 * w * (2.0 * w2 - 21.0));
    const T d = w2 * w2 + 105.0 - 45.0 * w2;
    const T n2 = n * n;
    const T d2 = d * d;
    const T nd = n * d;
    if constexpr (Shape <= kPeak) {
        // Times Q D^2: 1 + K / Q + K^2 is (Q (D^2 + N^2) + N D) / (Q D^2).
        const T sum = q * (d2 + n2);
        const T twoK2Minus1 = 2.0 * q * (n2 - d2);
        if constexpr (Shape == kPeak) {
            const T vnd = gain.v * nd;
            if (gain.boost) {
                const T r = 1.0 / (sum + nd);
                return {(sum + vnd) * r, twoK2Minus1 * r, (sum - vnd) * r, twoK2Minus1 * r, (sum - nd) * r};
            }
            const T r = 1.0 / (sum + vnd);
            return {(sum + nd) * r, twoK2Minus1 * r, (sum - nd) * r, twoK2Minus1 * r, (sum - vnd) * r};
        } else {
            const T r = 1.0 / (sum + nd);
            const T a1 = twoK2Minus1 * r;
            const T a2 = (sum - nd) * r;
            if constexpr (Shape == kLowPass) {
                const T b0 = q * n2 * r;
                return {b0, 2.0 * b0, b0, a1, a2};
            }
            if constexpr (Shape == kHighPass) {
                const T b0 = q * d2 * r;
                return {b0, -2.0 * b0, b0, a1, a2};
            }
            if constexpr (Shape == kBandPass) return {nd * r, 0.0, -(nd * r), a1, a2};
            if constexpr (Shape == kNotch) return {sum * r, a1, sum * r, a1, a2};
        }
    } else {
        // Times D^2; the shelves' fixed sqrt(2) damping: Q plays no part.
        const double v = gain.v;
        const T s = gain.sqrt2V * nd;
        const T sqrt2K = kSqrt2 * nd;
        const T twoK2Minus1 = 2.0 * (n2 - d2);
        if constexpr (Shape == kLowShelf) {
            if (gain.boost) {
                const T r = 1.0 / (d2 + sqrt2K + n2);
                return {(d2 + s + v * n2) * r, 2.0 * (v * n2 - d2) * r, (d2 - s + v * n2) * r, twoK2Minus1 * r,
                        (d2 - sqrt2K + n2) * r};
            }
            const T r = 1.0 / (d2 + s + v * n2);
            return {(d2 + sqrt2K + n2) * r, twoK2Minus1 * r, (d2 - sqrt2K + n2) * r, 2.0 * (v * n2 - d2) * r,
                    (d2 - s + v * n2) * r};
        } else {
            if (gain.boost) {
                const T r = 1.0 / (d2 + sqrt2K + n2);
                return {(v * d2 + s + n2) * r, 2.0 * (n2 - v * d2) * r, (v * d2 - s + n2) * r, twoK2Minus1 * r,
                        (d2 - sqrt2K + n2) * r};
            }
            const T r = 1.0 / (v * d2 + s + n2);
            return {(d2 + sqrt2K + n2) * r, twoK2Minus1 * r, (d2 - sqrt2K + n2) * r, 2.0 * (n2 - v * d2) * r,
                    (v * d2 - s + n2) * r};
        }
    }
}

// The coefficient set of `filterType` at `frequency` Hz with `q` and `gainDb` (shapes 4-6
// only).
inline Coefficients calcCoefficients(std::int32_t filterType, double frequency, double q, double gainDb,
                                     double sampleRate) {
    const GainTerms gain = filterType >= kPeak ? gainTerms(gainDb) : GainTerms{};
    switch (filterType) {
        case kLowPass: return designShape<kLowPass>(frequency, q, gain, sampleRate);
        case kHighPass: return designShape<kHighPass>(frequency, q, gain, sampleRate);
        case kBandPass: return designShape<kBandPass>(frequency, q, gain, sampleRate);
        case kNotch: return designShape<kNotch>(frequency, q, gain, sampleRate);
        case kPeak: return designShape<kPeak>(frequency, q, gain, sampleRate);
        case kLowShelf: return designShape<kLowShelf>(frequency, q, gain, sampleRate);
        case kHighShelf: return designShape<kHighShelf>(frequency, q, gain, sampleRate);
        default: return kPassThrough;
    }
}

}  // namespace biquad
