// What DSP and GUI pins share: type codes and how a value is taken from host bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace lum {

// Data-type codes of getDatatype.
enum PinDatatype : std::int32_t {
    kDatatypeMidi = 2,
    kDatatypeBool = 4,
    kDatatypeAudio = 5,
    kDatatypeFloat = 6,
    kDatatypeInt = 8,
};

// The data-type code of a float, int32 or bool value.
template <class T>
constexpr std::int32_t datatypeOf() {
    if constexpr (std::is_same_v<T, float>) return kDatatypeFloat;
    if constexpr (std::is_same_v<T, std::int32_t>) return kDatatypeInt;
    return kDatatypeBool;
}

// Direction codes of getDirection.
enum PinDirection : std::int32_t { kDirectionIn = 0, kDirectionOut = 1 };

// Stores the host's bytes in a pin's value. A negative size or a null source with bytes
// to copy changes nothing.

// A float or int32 pin copies them, never more than it holds.
template <class Value>
void storeValueBytes(Value& value, std::int32_t size, const void* data) {
    if (size <= 0 || data == nullptr) return;
    std::memcpy(&value, data, std::min(static_cast<std::size_t>(size), sizeof value));
}

// A bool pin (its value kept as the host's byte): a 4-byte value is an integer tested
// against 0, anything else contributes its first byte unchanged (so a bool may hold 2).
inline void storeValueBytes(std::uint8_t& value, std::int32_t size, const void* data) {
    if (size <= 0 || data == nullptr) return;
    if (size == 4) {
        std::int32_t word;
        std::memcpy(&word, data, sizeof word);
        value = word != 0 ? 1 : 0;
    } else {
        value = *static_cast<const std::uint8_t*>(data);
    }
}

// What a value of T is kept as: bool pins keep the host's byte exactly as it came.
template <class T>
using PinStorage = std::conditional_t<std::is_same_v<T, bool>, std::uint8_t, T>;

}  // namespace lum
