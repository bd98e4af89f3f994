// KEL_MATH modules driven through the real export and the recording host, the way the
// host drives them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/event_list.h"
#include "host/guarded_buffer.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/module_description.h"
#include "host/numbers.h"
#include "host/pin_value.h"
#include "host/recording_host.h"
#include "tests/support/test_library_path.h"

namespace mathtest {

inline std::string libraryPath() { return lumtest::libraryPath("KEL_MATH"); }

using lumhost::bitsOf;
using lumhost::floatFromBits;
inline const float kNaN = std::numeric_limits<float>::quiet_NaN();
inline const float kInf = std::numeric_limits<float>::infinity();
inline constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();

inline std::string narrow(const std::u16string& id) { return std::string(id.begin(), id.end()); }

// The shipped description is the one source of every module's pins.
inline const lumhost::LibraryDescription& libraryDescription() {
    static const lumhost::LibraryDescription description =
        lumhost::readLibraryDescription(lumhost::descriptionPath(libraryPath()));
    return description;
}

inline const lumhost::ModuleDescription& moduleDescription(const std::u16string& id) {
    const lumhost::ModuleDescription* module = libraryDescription().findModule(narrow(id));
    if (module == nullptr) throw std::runtime_error(narrow(id) + " is not in the description");
    return *module;
}

// The index of the pin called `name` in the module's description.
inline std::int32_t pinIndex(const lumhost::ModuleDescription& module, const std::string& name) {
    const lumhost::PinDescription* pin = module.findPin(name);
    if (pin == nullptr || pin->name != name) throw std::runtime_error(module.id + " has no pin called " + name);
    return pin->index;
}

using lumhost::PinValue;
// A bool pin's byte other than 0 and 1.
inline PinValue byteValue(std::uint8_t byte) { return PinValue::ofBytes(&byte, 1); }

// One pin set by the host, named as in the description.
struct PinSet {
    std::string pin;
    PinValue value;
};

template <class T>
PinSet pinSet(std::string pin, T value) {
    return {std::move(pin), PinValue::of(value)};
}

// A DSP-side module with the recording host; `run` returns what the host heard.
class DspSession {
public:
    explicit DspSession(const std::u16string& id) : module(moduleDescription(id)) {
        auto created = lumhost::createDsp(library.factory(), id, host.object());
        status = created.status;
        plugin = std::move(created.object);
        if (plugin) plugin->open();
    }
    std::vector<lumhost::HostCall> run(std::int32_t count, lumhost::EventList& events) {
        host.clear();
        plugin->process(count, events.head());
        return host.exchange();
    }
    std::vector<lumhost::HostCall> run(std::int32_t count) {
        host.clear();
        plugin->process(count, nullptr);
        return host.exchange();
    }
    std::int32_t pin(const std::string& name) const { return pinIndex(module, name); }

    const lumhost::ModuleDescription& module;
    lumhost::ModuleLibrary library{libraryPath()};
    lumhost::RecordingHost host;
    std::int32_t status = -1;
    lumhost::Ref<lum::IMpPlugin> plugin;
};

// A GUI-side module with the recording host.
class GuiSession {
public:
    explicit GuiSession(const std::u16string& id, lum::IMpUnknown* hostObject = nullptr)
        : module(moduleDescription(id)) {
        auto created = lumhost::createGui(library.factory(), id, hostObject != nullptr ? hostObject : host.object());
        status = created.status;
        gui = std::move(created.object);
    }
    // setPin then notifyPin, as the host does for a value change; returns the writes.
    std::vector<lumhost::HostCall> change(const PinSet& set) {
        host.clear();
        const std::int32_t index = pin(set.pin);
        EXPECT_EQ(gui->setPin(index, 0, set.value.size, set.value.bytes.data()), lum::kOk);
        EXPECT_EQ(gui->notifyPin(index, 0), lum::kOk);
        return host.exchange();
    }
    template <class T>
    std::vector<lumhost::HostCall> change(const std::string& pin, T value) {
        return change(pinSet(pin, value));
    }
    // The writePin the host sees when the module writes `set`.
    lumhost::HostCall writeOf(const PinSet& set) const {
        return lumhost::writePinCall(pin(set.pin), set.value.size, set.value.bytes.data());
    }
    std::int32_t pin(const std::string& name) const { return pinIndex(module, name); }

    const lumhost::ModuleDescription& module;
    lumhost::ModuleLibrary library{libraryPath()};
    lumhost::RecordingHost host;
    std::int32_t status = -1;
    lumhost::Ref<lum::IMpUserInterface> gui;
};

// A block of samples the module may use from `offset`, with guards on both sides; an
// odd offset makes the module's buffer unaligned.
class SampleBuffer {
public:
    SampleBuffer(std::int32_t frames, std::int32_t offset = 0) : guarded_(frames + offset), offset_(offset) {}
    float* data() { return guarded_.data() + offset_; }
    float& operator[](std::int32_t i) { return data()[i]; }
    void fill(float value) {
        for (std::int32_t i = 0; i < guarded_.frames() - offset_; ++i) data()[i] = value;
    }
    bool guardsIntact() const { return guarded_.guardsIntact(); }

private:
    lumhost::GuardedBuffer guarded_;
    std::int32_t offset_;
};

// Same value: equal bits, or both NaN.
inline bool sameFloat(float a, float b) { return (std::isnan(a) && std::isnan(b)) || bitsOf(a) == bitsOf(b); }

}  // namespace mathtest
