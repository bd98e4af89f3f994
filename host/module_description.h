// The machine-readable description shipped beside a module library (NAME.lum.json):
// every module's identifier, side and pins with display names.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/pin_values.h"
#include "instances.h"

namespace lumhost {

struct PinDescription {
    std::int32_t index;
    lum::PinDirection direction;
    lum::PinDatatype datatype;
    std::string name;
    // What an input starts at when the user gives nothing.
    std::optional<double> defaultValue;
    // The span a control offers for an input, in the terms of its default: the module
    // takes any value, but values outside mean nothing useful.
    std::optional<std::pair<double, double>> range;
    // The unit of what the value stands for (an audio pin's: of the scaled value).
    std::string unit;
    // Names of an int pin's values 0, 1, ...
    std::vector<std::string> valueNames;
    // A GUI output the host may set, which the module solves back from.
    bool settable = false;
};

// An audio input with a described range stands for a parameter (a frequency, a gain), not
// a signal: at rest it holds its default rather than zero, and a module may read it once
// per span.
inline bool isParameterInput(const PinDescription& pin) {
    return pin.direction == lum::kDirectionIn && pin.datatype == lum::kDatatypeAudio && pin.range.has_value();
}

// A pin's fields as descriptions and `lumhost list --json` spell them. from_json throws
// nlohmann's errors for a missing or mistyped field, and std::invalid_argument for a value
// no pin takes. to_json writes every default as a number, as list always has.
void to_json(nlohmann::json& json, const PinDescription& pin);
void from_json(const nlohmann::json& json, PinDescription& pin);

struct ModuleDescription {
    std::string id;
    Side side;
    std::vector<PinDescription> pins;
    // The library's: what an audio pin's sample value is multiplied by to mean its unit.
    double audioScale = 1.0;

    std::u16string wideId() const;
    // The pin registered under `index`; null if none.
    const PinDescription* pinAt(std::int32_t index) const;
    // The pin called `name` (display name, case-sensitive) or with that index; null if none.
    const PinDescription* findPin(const std::string& nameOrIndex) const;
};

struct LibraryDescription {
    std::string library;
    // An audio pin stands for its sample value times this.
    double audioScale = 1.0;
    std::vector<ModuleDescription> modules;

    const ModuleDescription* findModule(const std::string& id) const;
};

// "float", "int", ... for a data-type code, and back; an unknown name gives -1.
const char* datatypeName(std::int32_t datatype);
std::int32_t datatypeCode(const std::string& name);

// The value size a pin of `datatype` sends: 1 byte for bool, 4 for float and int.
inline std::int32_t valueSize(std::int32_t datatype) { return datatype == lum::kDatatypeBool ? 1 : 4; }

// The description file of the library at `libraryPath`.
inline std::string descriptionPath(const std::string& libraryPath) { return libraryPath + ".json"; }

// Reads and checks a description; throws std::runtime_error saying what is wrong.
LibraryDescription readLibraryDescription(const std::string& path);
// The same for a description's text; errors name `source`.
LibraryDescription parseLibraryDescription(const std::string& text, const std::string& source);

}  // namespace lumhost
