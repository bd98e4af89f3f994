// The arithmetic of the math modules, shared by the control, GUI and audio paths, the
// one-sample and four-wide sub-processes, the tests and the benchmark.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

namespace kelmath {

// Divisors below this, compared in double precision, are replaced by 1.
inline constexpr double minDivisor = 0.00001;
// 1.5 x 2^52: adding it leaves the rounded integer in the low bits of the double.
inline constexpr double magicRoundingNumber = 6755399441055744.0;
// Audio samples stand for a tenth of their quantity: a sample of 0.1 is one unit.
inline constexpr float audioScale = 10.0f;
inline constexpr float audioUnit = 0.1f;
// 2 - 2^-23, the largest float below 2: a fraction of exactly one half truncates to 0.
inline constexpr float halfTowardZeroFactor = 0x1.fffffep0f;

inline std::uint32_t bitsOf(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}
inline float floatFromBits(std::uint32_t bits) {
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}
// Two's-complement reading of 32 bits, without relying on a narrowing conversion.
inline std::int32_t signedFromBits(std::uint32_t bits) {
    std::int32_t x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// Integer arithmetic wraps modulo 2^32; done on unsigned values so nothing overflows.
inline std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
    return signedFromBits(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t wrappingSubtract(std::int32_t a, std::int32_t b) {
    return signedFromBits(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
inline std::int32_t wrappingMultiply(std::int32_t a, std::int32_t b) {
    return signedFromBits(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
// -(-2^31) stays -2^31.
inline std::int32_t wrappingNegate(std::int32_t x) { return signedFromBits(0u - static_cast<std::uint32_t>(x)); }
inline std::int32_t wrappingAbs(std::int32_t x) { return x < 0 ? wrappingNegate(x) : x; }

// The value-type operations the module templates are written in: IEEE for float,
// wrapping for int.
inline float add(float a, float b) { return a + b; }
inline std::int32_t add(std::int32_t a, std::int32_t b) { return wrappingAdd(a, b); }
inline float subtract(float a, float b) { return a - b; }
inline std::int32_t subtract(std::int32_t a, std::int32_t b) { return wrappingSubtract(a, b); }
inline float multiply(float a, float b) { return a * b; }
inline std::int32_t multiply(std::int32_t a, std::int32_t b) { return wrappingMultiply(a, b); }
// Sign bit flipped: negation, 0 gives -0 and a NaN keeps its payload.
inline float negate(float x) { return floatFromBits(bitsOf(x) ^ 0x80000000u); }
inline std::int32_t negate(std::int32_t x) { return wrappingNegate(x); }
// Sign bit cleared: -0 gives +0 and a NaN keeps its payload.
inline float absolute(float x) { return floatFromBits(bitsOf(x) & 0x7FFFFFFFu); }
inline std::int32_t absolute(std::int32_t x) { return wrappingAbs(x); }
// Bool pins hold the host's byte: true exactly when that byte is not 1.
inline std::uint8_t invertByte(std::uint8_t x) { return x != 1 ? 1 : 0; }
// Invert on a pin's stored value: negation for float and int, the byte rule for bool.
inline float invert(float x) { return negate(x); }
inline std::int32_t invert(std::int32_t x) { return negate(x); }
inline std::uint8_t invert(std::uint8_t x) { return invertByte(x); }

// The signed value is tested, so zero and every negative divisor become 1; for int that
// leaves no division by zero and no overflowing division. A NaN divisor stays.
inline float guardedDivisor(float b) { return static_cast<double>(b) < minDivisor ? 1.0f : b; }
inline std::int32_t guardedDivisor(std::int32_t b) { return static_cast<double>(b) < minDivisor ? 1 : b; }
inline float divideGuarded(float a, float b) { return a / guardedDivisor(b); }
// Truncates toward zero.
inline std::int32_t divideGuarded(std::int32_t a, std::int32_t b) { return a / guardedDivisor(b); }

// Lower bound tested first (control and GUI Limit): with Lo > Hi every x below Lo gives Lo.
template <class T>
T limitLowFirst(T x, T lo, T hi) {
    if (lo > x) return lo;
    if (x > hi) return hi;
    return x;
}
// Ties and a NaN B give A; a NaN A is passed on.
template <class T>
T minimum(T a, T b) {
    return a > b ? b : a;
}
template <class T>
T maximum(T a, T b) {
    return b > a ? b : a;
}

// Floor and ceiling through double, exact for every float.
inline float floorToFloat(float x) { return static_cast<float>(std::floor(static_cast<double>(x))); }
inline float ceilToFloat(float x) { return static_cast<float>(std::ceil(static_cast<double>(x))); }
// Round to nearest, halves to even, by the magic number: the low 32 bits of the sum are
// the rounded value modulo 2^32 (so 3e9 gives -1294967296, infinities give 0).
inline float nearestMagic(float x) {
    const double sum = static_cast<double>(x) + magicRoundingNumber;
    std::uint64_t bits;
    std::memcpy(&bits, &sum, sizeof bits);
    return static_cast<float>(signedFromBits(static_cast<std::uint32_t>(bits & 0xFFFFFFFFu)));
}

// Wrap: divisor and modulus not greater than 1 (fractions, zero, negatives, NaN) become 1.
inline float wrapValue(float value, float divisor, float modulus) {
    const float dv = divisor > 1.0f ? divisor : 1.0f;
    const float m = modulus > 1.0f ? modulus : 1.0f;
    const float q = value / dv;
    return static_cast<float>(std::fmod(static_cast<double>(q), static_cast<double>(m)));
}
inline std::int32_t wrapValue(std::int32_t value, std::int32_t divisor, std::int32_t modulus) {
    const std::int32_t dv = divisor > 1 ? divisor : 1;
    const std::int32_t m = modulus > 1 ? modulus : 1;
    return (value / dv) % m;
}

// ScaleUp maps 0..1 onto Lo..Hi, ScaleDown the reverse; neither clamps nor guards Hi == Lo.
inline float scaleUp(float value, float lo, float hi) { return ((hi - lo) * value) + lo; }
inline float scaleDown(float value, float lo, float hi) { return (value - lo) / (hi - lo); }

// One-sample audio formulas. Comparisons are false with a NaN.
inline float audioLimit(float x, float lo, float hi) { return x > hi ? hi : (lo > x ? lo : x); }
inline float audioMultiply(float a, float b) {
    const float product = b * a;
    return product * audioScale;
}
// No guard: a zero divisor gives an infinity, 0 / 0 a NaN.
inline float audioDivide(float a, float b) {
    const float divisor = b * audioScale;
    return a / divisor;
}
inline float audioFloor(float x) { return floorToFloat(x * audioScale) * audioUnit; }
inline float audioCeil(float x) { return ceilToFloat(x * audioScale) * audioUnit; }
inline float audioNearest(float x) { return nearestMagic(x * audioScale) * audioUnit; }

// Spans of samples [offset, offset + frames) through a one-sample formula.
template <float (*Formula)(float)>
void scalarSpan(const float* x, float* out, std::int32_t offset, std::int32_t frames) {
    for (std::int32_t i = offset; i < offset + frames; ++i) out[i] = Formula(x[i]);
}
template <float (*Formula)(float, float)>
void scalarSpan(const float* a, const float* b, float* out, std::int32_t offset, std::int32_t frames) {
    for (std::int32_t i = offset; i < offset + frames; ++i) out[i] = Formula(a[i], b[i]);
}
template <float (*Formula)(float, float, float)>
void scalarSpan(const float* x, const float* lo, const float* hi, float* out, std::int32_t offset,
                std::int32_t frames) {
    for (std::int32_t i = offset; i < offset + frames; ++i) out[i] = Formula(x[i], lo[i], hi[i]);
}

// Four-wide formulas, per lane as below; buffers need no 16-byte alignment.

// The same single-precision steps as audioDivide, so the results are identical.
inline __m128 audioDivide4(__m128 a, __m128 b) { return _mm_div_ps(a, _mm_mul_ps(b, _mm_set1_ps(audioScale))); }

// y times 10 and its value truncated toward zero; out of range truncates to -2^31.
inline __m128 truncated4(__m128 y) { return _mm_cvtepi32_ps(_mm_cvttps_epi32(y)); }

// Floor and Ceil from the truncation; -0 comes out as +0.
inline __m128 audioFloor4(__m128 x) {
    const __m128 y = _mm_mul_ps(x, _mm_set1_ps(audioScale));
    const __m128 t = truncated4(y);
    const __m128 below = _mm_and_ps(_mm_cmplt_ps(y, t), _mm_set1_ps(1.0f));
    return _mm_mul_ps(_mm_sub_ps(t, below), _mm_set1_ps(audioUnit));
}
inline __m128 audioCeil4(__m128 x) {
    const __m128 y = _mm_mul_ps(x, _mm_set1_ps(audioScale));
    const __m128 t = truncated4(y);
    const __m128 above = _mm_and_ps(_mm_cmplt_ps(t, y), _mm_set1_ps(1.0f));
    return _mm_mul_ps(_mm_add_ps(t, above), _mm_set1_ps(audioUnit));
}
// Round to nearest with exact halves toward zero (1.5 -> 1, -2.5 -> -2), unlike the
// one-sample formula's halves to even.
inline __m128 audioNearest4(__m128 x) {
    const __m128 y = _mm_mul_ps(x, _mm_set1_ps(audioScale));
    const __m128 t = truncated4(y);
    const __m128 fraction = _mm_sub_ps(y, t);
    const __m128 step = truncated4(_mm_mul_ps(fraction, _mm_set1_ps(halfTowardZeroFactor)));
    return _mm_mul_ps(_mm_add_ps(t, step), _mm_set1_ps(audioUnit));
}

// Groups of four, then the remaining frames mod 4 through the one-sample formula.
template <__m128 (*Lanes)(__m128), float (*Formula)(float)>
void vectorSpan(const float* x, float* out, std::int32_t offset, std::int32_t frames) {
    std::int32_t i = offset;
    const std::int32_t end = offset + frames;
    for (; end - i >= 4; i += 4) _mm_storeu_ps(out + i, Lanes(_mm_loadu_ps(x + i)));
    for (; i < end; ++i) out[i] = Formula(x[i]);
}
template <__m128 (*Lanes)(__m128, __m128), float (*Formula)(float, float)>
void vectorSpan(const float* a, const float* b, float* out, std::int32_t offset, std::int32_t frames) {
    std::int32_t i = offset;
    const std::int32_t end = offset + frames;
    for (; end - i >= 4; i += 4) _mm_storeu_ps(out + i, Lanes(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
    for (; i < end; ++i) out[i] = Formula(a[i], b[i]);
}

}  // namespace kelmath
