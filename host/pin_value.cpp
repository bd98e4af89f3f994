#include "pin_value.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>

#include "text.h"

namespace lumhost {

std::vector<PinSetting> parsePinSettings(const std::vector<std::string>& texts) {
    std::vector<PinSetting> settings;
    for (const std::string& text : texts) settings.push_back(parsePinSetting(text));
    return settings;
}

PinSetting parsePinSetting(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UserError("pin setting '" + text + "' is not NAME_OR_INDEX=VALUE");
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

namespace {

template <class Real>
Real parseReal(const std::string& text, const std::string& what) {
    Real value = 0;
#if defined(__EMSCRIPTEN__)
    // This C++ library has no floating-point from_chars, and strtod takes more: leading
    // spaces and '+', and hexadecimal, which are refused first. Results beyond the type,
    // or below its denormals, are out of range for both.
    const bool syntax = !text.empty() && text.front() != '+' &&
                        !std::isspace(static_cast<unsigned char>(text.front())) &&
                        text.find_first_of("xX") == std::string::npos;
    char* end = nullptr;
    errno = 0;
    if (syntax) value = std::is_same_v<Real, float> ? std::strtof(text.c_str(), &end) : std::strtod(text.c_str(), &end);
    const bool outOfRange = errno == ERANGE && (value == 0 || std::isinf(value));
    if (!syntax || outOfRange || end != text.c_str() + text.size()) {
        throw UserError(what + ": '" + text + "' is not a number");
    }
#else
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw UserError(what + ": '" + text + "' is not a number");
    }
#endif
    return value;
}

bool isUnitLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// The value's own number when it parses, else nothing: a warning never refuses.
std::optional<PinValue> parsedOrNothing(const PinDescription& pin, const std::string& text, double audioScale) {
    try {
        return parsePinValue(pin, text, audioScale);
    } catch (const UserError&) {
        return std::nullopt;
    }
}

bool takesTheSignal(const PinDescription& pin, const std::string& text) {
    return pin.datatype == lum::kDatatypeAudio && (text == "in" || startsWith(text, "in:"));
}

template <typename Integer>
Integer parseInteger(const std::string& text, const std::string& what, const char* kind) {
    Integer value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw UserError(what + ": '" + text + "' is not " + kind);
    }
    return value;
}

}  // namespace

float parseFloat(const std::string& text, const std::string& what) { return parseReal<float>(text, what); }

double parseDouble(const std::string& text, const std::string& what) { return parseReal<double>(text, what); }

std::uint32_t parseUnsigned(const std::string& text, const std::string& what) {
    return parseInteger<std::uint32_t>(text, what, "a 32-bit unsigned integer");
}

float parseSampleValue(const PinDescription& pin, const std::string& text, double audioScale) {
    const std::string what = "pin '" + pin.name + "'";
    std::size_t numberEnd = text.size();
    while (numberEnd > 0 && isUnitLetter(text[numberEnd - 1])) --numberEnd;
    const std::string unit = text.substr(numberEnd);
    // "inf" and "nan" have no digit before their letters: numbers, not units.
    const bool unitGiven =
        numberEnd > 0 && !unit.empty() &&
        (std::isdigit(static_cast<unsigned char>(text[numberEnd - 1])) || text[numberEnd - 1] == '.');
    if (!unitGiven) return parseFloat(text, what);
    double factor = 0.0;
    if (!pin.unit.empty() && unit == pin.unit) factor = 1.0;
    if (pin.unit == "Hz" && unit == "kHz") factor = 1000.0;
    if (factor == 0.0) {
        throw UserError(what + ": '" + text + "' is in " + unit + "; give " +
                        (pin.unit.empty()   ? "a number"
                         : pin.unit == "Hz" ? "Hz, kHz or a number"
                                            : pin.unit + " or a number"));
    }
    const double scale = pin.datatype == lum::kDatatypeAudio ? audioScale : 1.0;
    const double value = parseDouble(text.substr(0, numberEnd), what) * factor / scale;
    if (!(std::fabs(value) <= std::numeric_limits<float>::max())) {
        throw UserError(what + ": '" + text + "' is beyond a float");
    }
    return static_cast<float>(value);
}

std::int32_t parseInt(const std::string& text, const std::string& what) {
    return parseInteger<std::int32_t>(text, what, "a 32-bit integer");
}

bool parseBool(const std::string& text, const std::string& what) {
    if (text == "true" || text == "1" || text == "on") return true;
    if (text == "false" || text == "0" || text == "off") return false;
    throw UserError(what + ": '" + text + "' is not true or false");
}

PinValue PinValue::of(float value) { return ofBytes(reinterpret_cast<const std::uint8_t*>(&value), sizeof value); }

PinValue PinValue::of(std::int32_t value) {
    return ofBytes(reinterpret_cast<const std::uint8_t*>(&value), sizeof value);
}

PinValue PinValue::of(bool value) {
    const std::uint8_t byte = value ? 1 : 0;
    return ofBytes(&byte, 1);
}

PinValue PinValue::ofBytes(const std::uint8_t* bytes, std::int32_t size) {
    PinValue value;
    value.size = size;
    std::memcpy(value.bytes.data(), bytes, static_cast<std::size_t>(std::clamp(size, 0, 4)));
    return value;
}

float PinValue::asFloat() const {
    float value = 0.0f;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

std::int32_t PinValue::asInt() const {
    std::int32_t value = 0;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

PinValue defaultPinValue(const PinDescription& pin) {
    const double value = pin.defaultValue.value_or(0.0);
    if (pin.datatype == lum::kDatatypeBool) return PinValue::of(value != 0.0);
    if (pin.datatype == lum::kDatatypeInt) {
        // The description check refuses a default beyond int; until then it is held at the edge.
        return PinValue::of(static_cast<std::int32_t>(std::clamp(value, -2147483648.0, 2147483647.0)));
    }
    return PinValue::of(static_cast<float>(value));
}

PinValue parsePinValue(const PinDescription& pin, const std::string& text, double audioScale) {
    const std::string what = "pin '" + pin.name + "'";
    if (pin.datatype == lum::kDatatypeBool) return PinValue::of(parseBool(text, what));
    if (pin.datatype == lum::kDatatypeInt) {
        for (std::size_t value = 0; value < pin.valueNames.size(); ++value) {
            if (pin.valueNames[value] == text) return PinValue::of(static_cast<std::int32_t>(value));
        }
        if (!pin.valueNames.empty() && text.find_first_not_of("-0123456789") != std::string::npos) {
            std::string names;
            for (const std::string& name : pin.valueNames) names += (names.empty() ? "" : ", ") + name;
            throw UserError(what + ": '" + text + "' is neither a 32-bit integer nor one of " + names);
        }
        return PinValue::of(parseInt(text, what));
    }
    if (pin.datatype == lum::kDatatypeFloat || pin.datatype == lum::kDatatypeAudio) {
        return PinValue::of(parseSampleValue(pin, text, audioScale));
    }
    throw UserError(what + " takes no value from the command line");
}

std::string formatPinValue(const PinDescription& pin, const PinValue& value) {
    if (pin.datatype == lum::kDatatypeBool) return value.bytes[0] != 0 ? "true" : "false";
    if (pin.datatype == lum::kDatatypeInt) {
        const std::int32_t number = value.asInt();
        std::string text = std::to_string(number);
        if (number >= 0 && static_cast<std::size_t>(number) < pin.valueNames.size()) {
            text += " (" + pin.valueNames[static_cast<std::size_t>(number)] + ")";
        }
        return text;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value.asFloat()));
    return text;
}

std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

namespace {

// A number in a unit, kHz from 1000 Hz on, as list shows defaults.
std::string withUnit(double value, const std::string& unit) {
    if (unit == "Hz" && std::fabs(value) >= 1000.0) return shortNumber(value / 1000.0) + " kHz";
    return shortNumber(value) + (unit.empty() ? "" : " " + unit);
}

}  // namespace

std::string formatPinValueInUnits(const PinDescription& pin, const PinValue& value, double audioScale) {
    if (pin.datatype == lum::kDatatypeInt) {
        const std::int32_t number = value.asInt();
        if (number >= 0 && static_cast<std::size_t>(number) < pin.valueNames.size()) {
            return pin.valueNames[static_cast<std::size_t>(number)];
        }
        return withUnit(number, pin.unit);
    }
    if (pin.datatype == lum::kDatatypeFloat || pin.datatype == lum::kDatatypeAudio) {
        const double scale = pin.datatype == lum::kDatatypeAudio ? audioScale : 1.0;
        return withUnit(value.asFloat() * scale, pin.unit);
    }
    return formatPinValue(pin, value);
}

std::string describeRun(const ModuleDescription& module, const std::vector<PinSetting>& settings) {
    std::string title = module.id;
    for (const PinSetting& setting : settings) {
        const PinDescription* pin = module.findPin(setting.pin);
        std::optional<PinValue> value;
        if (pin != nullptr && !takesTheSignal(*pin, setting.value))
            value = parsedOrNothing(*pin, setting.value, module.audioScale);
        title += "  " + (pin != nullptr ? pin->name : setting.pin) + "=" +
                 (value ? formatPinValueInUnits(*pin, *value, module.audioScale) : setting.value);
    }
    return title;
}

std::vector<std::string> pinValueWarnings(const ModuleDescription& module, const std::vector<PinSetting>& settings,
                                          std::int32_t sampleRate) {
    std::vector<std::pair<const PinDescription*, PinValue>> values;
    for (const PinSetting& setting : settings) {
        const PinDescription* pin = module.findPin(setting.pin);
        if (pin == nullptr || takesTheSignal(*pin, setting.value)) continue;
        if (const auto value = parsedOrNothing(*pin, setting.value, module.audioScale))
            values.emplace_back(pin, *value);
    }
    // A default is checked too: half the sample rate may fall below it.
    for (const PinDescription& pin : module.pins) {
        const bool given = std::any_of(values.begin(), values.end(), [&](const auto& v) { return v.first == &pin; });
        if (!given && pin.direction == lum::kDirectionIn && pin.defaultValue)
            values.emplace_back(&pin, defaultPinValue(pin));
    }
    std::vector<std::string> warnings;
    for (const auto& [pin, value] : values) {
        const bool isInt = pin->datatype == lum::kDatatypeInt;
        if (pin->datatype == lum::kDatatypeBool) continue;
        const double number = isInt ? value.asInt() : value.asFloat();
        const double scale = pin->datatype == lum::kDatatypeAudio ? module.audioScale : 1.0;
        const std::string what = "pin '" + pin->name + "': " + formatPinValueInUnits(*pin, value, module.audioScale);
        if (isInt && !pin->valueNames.empty() &&
            (number < 0 || number >= static_cast<double>(pin->valueNames.size()))) {
            warnings.push_back(what + " is none of its values (0 to " + std::to_string(pin->valueNames.size() - 1) +
                               ")");
        } else if (pin->range && (number < pin->range->first || number > pin->range->second)) {
            warnings.push_back(what + " is outside its range, " + withUnit(pin->range->first * scale, pin->unit) +
                               " to " + withUnit(pin->range->second * scale, pin->unit));
        }
        if (pin->unit == "Hz" && sampleRate > 0 && number * scale >= sampleRate / 2.0) {
            warnings.push_back(what + " is at or above half the sample rate (" + withUnit(sampleRate / 2.0, "Hz") +
                               ")");
        }
    }
    return warnings;
}

}  // namespace lumhost
