// Control values as pins send them, read from the user's text or a described default,
// and shown back in the pin's own terms.
#pragma once

#include <cstdint>
#include <string>

#include "module_description.h"

namespace lumhost {

struct PinValue {
    std::int32_t size = 4;  // 1 for bool
    std::uint8_t bytes[4] = {};

    static PinValue of(float value);
    static PinValue of(std::int32_t value);
    static PinValue ofBool(bool value);
    // What a module sent: `size` bytes, of which a pin value holds at most 4.
    static PinValue ofBytes(const std::uint8_t* bytes, std::int32_t size);

    float asFloat() const;
    std::int32_t asInt() const;
};

// The described default, or zero for a pin without one.
PinValue defaultPinValue(const PinDescription& pin);
// A number of the pin's type, a value name on an int pin, true or false on a bool pin
// (audio pins read as float). Throws UsageError naming the pin.
PinValue parsePinValue(const PinDescription& pin, const std::string& text);
// "2.5", "true", "6 (HighShelf)".
std::string formatPinValue(const PinDescription& pin, const PinValue& value);

}  // namespace lumhost
