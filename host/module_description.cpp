#include "module_description.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "file_path.h"

namespace lumhost {
namespace {

const std::pair<lum::PinDatatype, const char*> kDatatypes[] = {{lum::kDatatypeMidi, "midi"},
                                                               {lum::kDatatypeBool, "bool"},
                                                               {lum::kDatatypeAudio, "audio"},
                                                               {lum::kDatatypeFloat, "float"},
                                                               {lum::kDatatypeInt, "int"}};

std::runtime_error descriptionError(const std::string& path, const std::string& what) {
    return std::runtime_error(path + ": " + what);
}

// nlohmann's message without its "[json.exception.type_error.302] " tag, in words a user
// of the library can act on.
std::runtime_error descriptionError(const std::string& path, const nlohmann::json::exception& error) {
    std::string what = error.what();
    const std::size_t tag = what.find("] ");
    if (what.rfind("[json.exception.", 0) == 0 && tag != std::string::npos) what = what.substr(tag + 2);
    if (dynamic_cast<const nlohmann::json::parse_error*>(&error) != nullptr) what = "not valid JSON: " + what;
    if (dynamic_cast<const nlohmann::json::type_error*>(&error) != nullptr) what = "a value of the wrong kind: " + what;
    if (dynamic_cast<const nlohmann::json::out_of_range*>(&error) != nullptr) what = "a field is missing: " + what;
    return descriptionError(path, what);
}

// Larger than any description of a real library: a file this size is something else.
constexpr std::uintmax_t kMaxDescriptionBytes = 16 << 20;

}  // namespace

const char* datatypeName(std::int32_t datatype) {
    for (const auto& [code, name] : kDatatypes) {
        if (code == datatype) return name;
    }
    return "unknown";
}

std::int32_t datatypeCode(const std::string& name) {
    for (const auto& [code, known] : kDatatypes) {
        if (name == known) return code;
    }
    return -1;
}

std::u16string ModuleDescription::wideId() const {
    // Identifiers are ASCII; the reader refuses anything else.
    return std::u16string(id.begin(), id.end());
}

const PinDescription* ModuleDescription::pinAt(std::int32_t index) const {
    for (const PinDescription& pin : pins) {
        if (pin.index == index) return &pin;
    }
    return nullptr;
}

const PinDescription* ModuleDescription::findPin(const std::string& nameOrIndex) const {
    for (const PinDescription& pin : pins) {
        if (pin.name == nameOrIndex) return &pin;
    }
    for (const PinDescription& pin : pins) {
        if (std::to_string(pin.index) == nameOrIndex) return &pin;
    }
    return nullptr;
}

const ModuleDescription* LibraryDescription::findModule(const std::string& id) const {
    for (const ModuleDescription& module : modules) {
        if (module.id == id) return &module;
    }
    return nullptr;
}

void to_json(nlohmann::json& json, const PinDescription& pin) {
    json = {{"index", pin.index},
            {"direction", pin.direction == lum::kDirectionIn ? "in" : "out"},
            {"datatype", datatypeName(pin.datatype)},
            {"name", pin.name}};
    // As a description gives it, so that the reader takes it back.
    if (pin.defaultValue) {
        json["default"] = pin.datatype == lum::kDatatypeBool ? nlohmann::json(*pin.defaultValue != 0.0)
                                                             : nlohmann::json(*pin.defaultValue);
    }
    if (pin.range) json["range"] = {pin.range->first, pin.range->second};
    if (!pin.unit.empty()) json["unit"] = pin.unit;
    if (!pin.valueNames.empty()) json["values"] = pin.valueNames;
    if (pin.settable) json["settable"] = true;
}

void from_json(const nlohmann::json& json, PinDescription& pin) {
    pin.index = json.at("index").get<std::int32_t>();
    const std::string direction = json.at("direction").get<std::string>();
    if (direction != "in" && direction != "out") throw std::invalid_argument("direction must be in or out");
    pin.direction = direction == "in" ? lum::kDirectionIn : lum::kDirectionOut;
    const std::int32_t datatype = datatypeCode(json.at("datatype").get<std::string>());
    if (datatype < 0) throw std::invalid_argument("unknown data type");
    pin.datatype = static_cast<lum::PinDatatype>(datatype);
    pin.name = json.at("name").get<std::string>();
    if (json.contains("default")) {
        const auto& value = json.at("default");
        if (value.is_boolean() != (pin.datatype == lum::kDatatypeBool) || !(value.is_boolean() || value.is_number())) {
            throw std::invalid_argument("the default of '" + pin.name + "' is not a " + datatypeName(pin.datatype));
        }
        pin.defaultValue = value.is_boolean() ? (value.get<bool>() ? 1.0 : 0.0) : value.get<double>();
    }
    if (json.contains("range")) {
        const auto range = json.at("range").get<std::pair<double, double>>();
        const double value = pin.defaultValue.value_or(range.first);
        if (!(range.first < range.second) || value < range.first || value > range.second) {
            throw std::invalid_argument("the range of '" + pin.name + "' is empty or leaves out its default");
        }
        pin.range = range;
    }
    pin.unit = json.value("unit", std::string());
    pin.valueNames = json.value("values", std::vector<std::string>());
    pin.settable = json.value("settable", false);
}

LibraryDescription readLibraryDescription(const std::string& path) {
    // Only a regular file: a device or a FIFO linked there would never end.
    std::error_code error;
    const std::filesystem::path location = filePath(path);
    const auto status = std::filesystem::status(location, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw descriptionError(path, "the module description is not a regular file");
    }
    if (std::filesystem::exists(status) && std::filesystem::file_size(location, error) > kMaxDescriptionBytes) {
        throw descriptionError(path, "the module description is larger than 16 MB");
    }
    std::ifstream file(location);
    if (!file) throw descriptionError(path, "cannot open the module description");
    std::ostringstream text;
    text << file.rdbuf();
    return parseLibraryDescription(text.str(), path);
}

LibraryDescription parseLibraryDescription(const std::string& text, const std::string& path) {
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& error) {
        throw descriptionError(path, error);
    }
    LibraryDescription description;
    try {
        description.library = json.at("library").get<std::string>();
        description.audioScale = json.value("audioScale", 1.0);
        std::set<std::string> ids;
        for (const auto& module : json.at("modules")) {
            ModuleDescription entry;
            entry.id = module.at("id").get<std::string>();
            entry.audioScale = description.audioScale;
            for (char c : entry.id) {
                if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) {
                    throw descriptionError(path, "identifier '" + entry.id + "' is not printable ASCII");
                }
            }
            if (!ids.insert(entry.id).second) throw descriptionError(path, "identifier '" + entry.id + "' twice");
            const std::string side = module.at("side").get<std::string>();
            if (side != "dsp" && side != "gui") throw descriptionError(path, entry.id + ": side must be dsp or gui");
            entry.side = side == "dsp" ? Side::Dsp : Side::Gui;
            std::set<std::int32_t> indices;
            for (const auto& pin : module.at("pins")) {
                PinDescription pinEntry;
                try {
                    pinEntry = pin.get<PinDescription>();
                } catch (const std::invalid_argument& error) {
                    throw descriptionError(path, entry.id + ": " + error.what());
                }
                if (!indices.insert(pinEntry.index).second) {
                    throw descriptionError(path, entry.id + ": pin index " + std::to_string(pinEntry.index) + " twice");
                }
                entry.pins.push_back(pinEntry);
            }
            description.modules.push_back(std::move(entry));
        }
    } catch (const nlohmann::json::exception& error) {
        throw descriptionError(path, error);
    }
    return description;
}

}  // namespace lumhost
