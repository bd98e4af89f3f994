// Control values as pins send them, read from the user's text or a described default,
// and shown back in the pin's own terms.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "module_description.h"
#include "user_error.h"

namespace lumhost {

// A pin value as the host passes it: 4 bytes for float and int, 1 for bool.
struct PinValue {
    std::int32_t size = 4;
    std::array<std::uint8_t, 4> bytes{};

    static PinValue of(float value);
    static PinValue of(std::int32_t value);
    static PinValue of(bool value);
    // What a module sent: `size` bytes, of which a pin value holds at most 4.
    static PinValue ofBytes(const std::uint8_t* bytes, std::int32_t size);

    float asFloat() const;
    std::int32_t asInt() const;
};

// "NAME_OR_INDEX=VALUE" from the command line, checked once the module is known.
struct PinSetting {
    std::string pin;
    std::string value;
};
PinSetting parsePinSetting(const std::string& text);
std::vector<PinSetting> parsePinSettings(const std::vector<std::string>& texts);
// "ID  pin=value ...", for titles and messages.
std::string describeRun(const std::string& moduleId, const std::vector<PinSetting>& settings);

// Parses a whole value of a pin's type, in one syntax for every pin: a float as
// std::from_chars reads it (no sign '+', no spaces, no hexadecimal), an int in decimal.
// Throws UserError naming the pin.
float parseFloat(const std::string& text, const std::string& what);
std::int32_t parseInt(const std::string& text, const std::string& what);
bool parseBool(const std::string& text, const std::string& what);

// The described default, or zero for a pin without one.
PinValue defaultPinValue(const PinDescription& pin);
// A number of the pin's type, a value name on an int pin, true or false on a bool pin
// (audio pins read as float). Throws UserError naming the pin.
PinValue parsePinValue(const PinDescription& pin, const std::string& text);
// "2.5", "true", "6 (HighShelf)".
std::string formatPinValue(const PinDescription& pin, const PinValue& value);

}  // namespace lumhost
