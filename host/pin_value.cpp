#include "pin_value.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dsp_run.h"

namespace lumhost {

PinValue PinValue::of(float value) { return ofBytes(reinterpret_cast<const std::uint8_t*>(&value), sizeof value); }

PinValue PinValue::of(std::int32_t value) {
    return ofBytes(reinterpret_cast<const std::uint8_t*>(&value), sizeof value);
}

PinValue PinValue::ofBool(bool value) {
    const std::uint8_t byte = value ? 1 : 0;
    return ofBytes(&byte, 1);
}

PinValue PinValue::ofBytes(const std::uint8_t* bytes, std::int32_t size) {
    PinValue value;
    value.size = size;
    std::memcpy(value.bytes, bytes, static_cast<std::size_t>(std::clamp(size, 0, 4)));
    return value;
}

float PinValue::asFloat() const {
    float value = 0.0f;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

std::int32_t PinValue::asInt() const {
    std::int32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

PinValue defaultPinValue(const PinDescription& pin) {
    const double value = pin.defaultValue.value_or(0.0);
    if (pin.datatype == lum::kDatatypeBool) return PinValue::ofBool(value != 0.0);
    if (pin.datatype == lum::kDatatypeInt) {
        // The description check refuses a default beyond int; until then it is held at the edge.
        return PinValue::of(static_cast<std::int32_t>(std::clamp(value, -2147483648.0, 2147483647.0)));
    }
    return PinValue::of(static_cast<float>(value));
}

PinValue parsePinValue(const PinDescription& pin, const std::string& text) {
    const std::string what = "pin '" + pin.name + "'";
    if (pin.datatype == lum::kDatatypeBool) return PinValue::ofBool(parseBool(text, what));
    if (pin.datatype == lum::kDatatypeInt) {
        for (std::size_t value = 0; value < pin.valueNames.size(); ++value) {
            if (pin.valueNames[value] == text) return PinValue::of(static_cast<std::int32_t>(value));
        }
        if (!pin.valueNames.empty() && text.find_first_not_of("-0123456789") != std::string::npos) {
            std::string names;
            for (const std::string& name : pin.valueNames) names += (names.empty() ? "" : ", ") + name;
            throw UsageError(what + ": '" + text + "' is neither a 32-bit integer nor one of " + names);
        }
        return PinValue::of(parseInt(text, what));
    }
    if (pin.datatype == lum::kDatatypeFloat || pin.datatype == lum::kDatatypeAudio) {
        return PinValue::of(parseFloat(text, what));
    }
    throw UsageError(what + " takes no value from the command line");
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
