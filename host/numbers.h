// Numbers the host measures and generates with, and floats made and compared by their
// bits: NaN payloads and the sign of zero count.
#pragma once

#include <cstdint>
#include <cstring>

namespace lumhost {

inline constexpr double kPi = 3.14159265358979323846;

inline std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
inline float floatFromBits(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
inline bool sameBits(float a, float b) { return bitsOf(a) == bitsOf(b); }

}  // namespace lumhost
