#include "pin_value.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumhost {

std::vector<PinSetting> parsePinSettings(const std::vector<std::string>& texts) {
    std::vector<PinSetting> settings;
    for (const std::string& text : texts) settings.push_back(parsePinSetting(text));
    return settings;
}

std::string describeRun(const std::string& moduleId, const std::vector<PinSetting>& settings) {
    std::string title = moduleId;
    for (const PinSetting& setting : settings) title += "  " + setting.pin + "=" + setting.value;
    return title;
}

PinSetting parsePinSetting(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UserError("pin setting '" + text + "' is not NAME_OR_INDEX=VALUE");
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

float parseFloat(const std::string& text, const std::string& what) {
    float value = 0.0f;
#if defined(__EMSCRIPTEN__)
    // This C++ library has no floating-point from_chars, and strtof takes more: leading
    // spaces and '+', and hexadecimal, which are refused first. Results beyond a float,
    // or below its denormals, are out of range for both.
    const bool syntax = !text.empty() && text.front() != '+' &&
                        !std::isspace(static_cast<unsigned char>(text.front())) &&
                        text.find_first_of("xX") == std::string::npos;
    char* end = nullptr;
    errno = 0;
    value = syntax ? std::strtof(text.c_str(), &end) : 0.0f;
    const bool outOfRange = errno == ERANGE && (value == 0.0f || std::isinf(value));
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

std::int32_t parseInt(const std::string& text, const std::string& what) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw UserError(what + ": '" + text + "' is not a 32-bit integer");
    }
    return value;
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

PinValue parsePinValue(const PinDescription& pin, const std::string& text) {
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
        return PinValue::of(parseFloat(text, what));
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

}  // namespace lumhost
