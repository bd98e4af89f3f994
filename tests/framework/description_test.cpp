// The module description shipped beside a library, read and checked against the library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>

#include "host/description_check.h"
#include "support/test_library_path.h"

namespace {

using ::testing::IsEmpty;

TEST(ModuleDescription, TestLibraryDescriptionAgreesWithItsModules) {
    const std::string path = lumtest::libraryPath("LUM_TEST");
    lumhost::ModuleLibrary library(path);
    const auto description = lumhost::readLibraryDescription(lumhost::descriptionPath(path));
    EXPECT_EQ(description.library, "LUM_TEST");
    ASSERT_EQ(description.modules.size(), 4u);
    EXPECT_THAT(lumhost::compareDescriptionWithLibrary(library, description), IsEmpty());

    const auto* probe = description.findModule("LumTestProbe");
    ASSERT_NE(probe, nullptr);
    ASSERT_NE(probe->findPin("Signal"), nullptr);
    EXPECT_EQ(probe->findPin("Signal")->index, 3);
    EXPECT_EQ(probe->findPin("6")->name, "Double");
    EXPECT_EQ(probe->findPin("Nothing"), nullptr);
}

TEST(ModuleDescription, MismatchesAreReported) {
    const std::string path = lumtest::libraryPath("LUM_TEST");
    lumhost::ModuleLibrary library(path);
    auto description = lumhost::readLibraryDescription(lumhost::descriptionPath(path));
    auto& control = description.modules[1];
    control.pins.pop_back();                         // the Sum output goes undescribed
    control.pins[0].direction = lum::kDirectionOut;  // A is no output
    control.pins[1].valueNames = {"Off"};            // names on a float pin
    control.pins[1].defaultValue = INFINITY;
    auto& gain = description.modules[2];
    gain.pins[1].datatype = lum::kDatatypeInt;  // its default 1.5 is then no int
    gain.pins[2].defaultValue = 0.0;
    auto& gui = description.modules[3];
    gui.pins[1].settable = false;  // Out solves back
    gui.pins[2].valueNames = {"Zero"};
    gui.pins[2].defaultValue = 1.0;
    gui.pins[3].settable = true;
    gui.pins.push_back({9, lum::kDirectionIn, lum::kDatatypeFloat, "Ghost", {}, {}, {}, {}, false});
    EXPECT_EQ(
        lumhost::compareDescriptionWithLibrary(library, description),
        (std::vector<std::string>{"LumTestControl: pin 'B': default inf is not a finite float",
                                  "LumTestControl: pin 'B' names values but is no int pin",
                                  "LumTestControl: pin 2 is registered but not described",
                                  "LumTestControl: output pin 0 should announce a value of 4 bytes at graph start",
                                  "LumTestControl: undescribed pin 2 announced a value of 4 bytes",
                                  "LumTestGain: pin 'Gain': default 1.5 is not a 32-bit integer",
                                  "LumTestGain: pin 'Out' is an output with a default",
                                  "LumTestGuiScale: pin 'Int': default is none of its named values",
                                  "LumTestGuiScale: pin 'Bool' is settable but no GUI output",
                                  "LumTestGuiScale: GUI pin 9 is described but not registered",
                                  "LumTestGuiScale: output pin 'Out' answers when set but is not settable"}));
}

TEST(ModuleDescription, MalformedDescriptionsAreRefusedWithTheReason) {
    // A name of its own in the temporary folder: other builds run this test at the same time.
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("malformed-description-" + std::to_string(std::random_device{}()) + ".json"))
                                 .string();
    const char* cases[] = {
        "{",
        R"({"library": "X", "modules": [{"id": "A B", "side": "dsp", "pins": []}]})",
        R"({"library": "X", "modules": [{"id": "A", "side": "both", "pins": []}]})",
        R"({"library": "X", "modules": [{"id": "A", "side": "dsp", "pins": [
             {"index": 0, "direction": "in", "datatype": "float", "name": "a"},
             {"index": 0, "direction": "in", "datatype": "float", "name": "b"}]}]})",
        R"({"library": "X", "modules": [{"id": "A", "side": "dsp", "pins": [
             {"index": 0, "direction": "in", "datatype": "double", "name": "a"}]}]})",
        R"({"library": "X", "modules": [{"id": "A", "side": "dsp", "pins": [
             {"index": 0, "direction": "in", "datatype": "bool", "name": "a", "default": 1}]}]})",
        R"({"library": "X", "modules": [{"id": "A", "side": "dsp", "pins": [
             {"index": 0, "direction": "in", "datatype": "int", "name": "a", "default": "LowPass"}]}]})",
        R"({"library": "X", "modules": [{"id": "A", "side": "dsp", "pins": [
             {"index": 0, "direction": "in", "datatype": "float", "name": "a", "range": [1, 1]}]}]})",
        R"({"library": "X", "modules": [{"id": "A", "side": "dsp", "pins": [
             {"index": 0, "direction": "in", "datatype": "float", "name": "a", "default": 3, "range": [0, 2]}]}]})",
    };
    for (const char* text : cases) {
        std::ofstream(path) << text;
        EXPECT_THROW(lumhost::readLibraryDescription(path), std::runtime_error) << text;
    }
    std::filesystem::remove(path);
    EXPECT_THROW(lumhost::readLibraryDescription("no such file.json"), std::runtime_error);
}

// What list --json writes of a pin reads back as the same pin, a bool's default included.
TEST(ModuleDescription, WrittenPinsReadBack) {
    for (const char* name : {"KEL_MATH", "QX-DaRovoVIR3"}) {
        const auto description = lumhost::readLibraryDescription(lumhost::descriptionPath(lumtest::libraryPath(name)));
        for (const auto& module : description.modules) {
            for (const lumhost::PinDescription& pin : module.pins) {
                const auto back = nlohmann::json(pin).get<lumhost::PinDescription>();
                const auto fields = [](const lumhost::PinDescription& p) {
                    return std::tie(p.index, p.direction, p.datatype, p.name, p.defaultValue, p.range, p.unit,
                                    p.valueNames, p.settable);
                };
                EXPECT_EQ(fields(back), fields(pin)) << module.id << " " << pin.name;
            }
        }
    }
}

}  // namespace
