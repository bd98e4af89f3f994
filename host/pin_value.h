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
// "ID  pin=value ...", for titles and messages, each value in the units list shows.
std::string describeRun(const ModuleDescription& module, const std::vector<PinSetting>& settings);

// Parses a whole value of a pin's type, in one syntax for every pin: a float as
// std::from_chars reads it (no sign '+', no spaces, no hexadecimal), an int in decimal.
// Throws UserError naming the pin.
float parseFloat(const std::string& text, const std::string& what);
double parseDouble(const std::string& text, const std::string& what);
std::uint32_t parseUnsigned(const std::string& text, const std::string& what);
std::int32_t parseInt(const std::string& text, const std::string& what);
bool parseBool(const std::string& text, const std::string& what);

// A float or audio pin's sample value: a bare number is one; followed by the pin's unit
// ("6dB", "1000Hz", or "1kHz" for Hz) it is what an audio pin stands for, `audioScale`
// times the sample value. Throws UserError naming the pin, for another unit too.
float parseSampleValue(const PinDescription& pin, const std::string& text, double audioScale);

// The described default, or zero for a pin without one.
PinValue defaultPinValue(const PinDescription& pin);
// A number of the pin's type, a value name on an int pin, true or false on a bool pin
// (audio pins read as float). Throws UserError naming the pin.
PinValue parsePinValue(const PinDescription& pin, const std::string& text, double audioScale = 1.0);
// "2.5", "true", "6 (HighShelf)".
std::string formatPinValue(const PinDescription& pin, const PinValue& value);
// What the value stands for, as list shows it: "20 kHz", "12 dB", "HighPass", "true".
std::string formatPinValueInUnits(const PinDescription& pin, const PinValue& value, double audioScale);
// "1e+300", "0.25": a number short enough for a message.
std::string shortNumber(double value);

// What the inputs will hold that the module may not expect: a value no name or range
// covers, a frequency at or above half `sampleRate` (0: none known). One text a warning;
// settings that do not parse are left to whoever applies them.
std::vector<std::string> pinValueWarnings(const ModuleDescription& module, const std::vector<PinSetting>& settings,
                                          std::int32_t sampleRate);

}  // namespace lumhost
