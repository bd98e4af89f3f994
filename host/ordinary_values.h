// Values the validator calls ordinary: finite and well inside the normal numbers, so the
// arithmetic a module does on them (a quotient, a product, a sum) stays finite and normal.
// Outputs are held to finiteness only where every input was ordinary: division by an
// exact zero or an overflowing product is a module's right, an invented NaN is not.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace lumhost {

inline constexpr float kOrdinaryLeast = 1.0f / 1024.0f;
inline constexpr float kOrdinaryMost = 100.0f;
inline constexpr std::int32_t kOrdinaryIntMost = 10;

inline bool isOrdinary(float value) {
    const float magnitude = std::fabs(value);
    return magnitude >= kOrdinaryLeast && magnitude <= kOrdinaryMost;  // false for NaN
}
inline bool isOrdinary(std::int32_t value) { return value >= -kOrdinaryIntMost && value <= kOrdinaryIntMost; }
inline bool isSubnormal(float value) { return std::fpclassify(value) == FP_SUBNORMAL; }

// An ordinary value of either sign with a magnitude up to `most`.
inline float ordinaryValue(std::mt19937& random, float most) {
    const float magnitude = std::uniform_real_distribution<float>(kOrdinaryLeast, most)(random);
    return random() % 2 == 0 ? magnitude : -magnitude;
}

// Legal but hostile samples and values a host may pass on from upstream.
inline float hostileValue(std::mt19937& random) {
    static const float kHostile[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(), 1e-40f, -1e-45f};
    return kHostile[random() % 5];
}

}  // namespace lumhost
