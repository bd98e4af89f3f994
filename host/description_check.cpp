#include "description_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "event_list.h"
#include "guarded_buffer.h"
#include "pin_value.h"
#include "recording_host.h"

namespace lumhost {
namespace {

// Indices probed beyond the described ones, to catch pins the description misses.
constexpr std::int32_t kProbeMargin = 4;

std::int32_t highestIndex(const ModuleDescription& module) {
    std::int32_t highest = -1;
    for (const PinDescription& pin : module.pins) highest = std::max(highest, pin.index);
    return highest;
}

// What graph start should announce for an output: "streaming" or a value size.
std::string announcement(const PinDescription& pin) {
    if (pin.datatype == lum::kDatatypeAudio) return "streaming";
    return "value of " + std::to_string(valueSize(pin.datatype)) + " bytes";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Defaults, value names and settable outputs fit the pins they are described on.
void checkDescribedValues(const ModuleDescription& module, std::vector<std::string>& problems) {
    for (const PinDescription& pin : module.pins) {
        const std::string what = module.id + ": pin '" + pin.name + "'";
        if (pin.defaultValue && pin.direction != lum::kDirectionIn) {
            problems.push_back(what + " is an output with a default");
        }
        if (pin.defaultValue && pin.datatype == lum::kDatatypeInt &&
            (*pin.defaultValue != std::trunc(*pin.defaultValue) || std::fabs(*pin.defaultValue) > 2147483647.0)) {
            problems.push_back(what + ": default " + number(*pin.defaultValue) + " is not a 32-bit integer");
        }
        if (pin.defaultValue && (pin.datatype == lum::kDatatypeFloat || pin.datatype == lum::kDatatypeAudio) &&
            !std::isfinite(static_cast<float>(*pin.defaultValue))) {
            problems.push_back(what + ": default " + number(*pin.defaultValue) + " is not a finite float");
        }
        if (!pin.valueNames.empty() && pin.datatype != lum::kDatatypeInt) {
            problems.push_back(what + " names values but is no int pin");
        }
        if (!pin.valueNames.empty() && pin.datatype == lum::kDatatypeInt && pin.defaultValue &&
            (*pin.defaultValue < 0 || *pin.defaultValue >= static_cast<double>(pin.valueNames.size()))) {
            problems.push_back(what + ": default is none of its named values");
        }
        if (pin.settable && (module.side != Side::Gui || pin.direction != lum::kDirectionOut)) {
            problems.push_back(what + " is settable but no GUI output");
        }
    }
}

void compareDsp(const ModuleLibrary& library, const ModuleDescription& module, std::vector<std::string>& problems) {
    RecordingHost host;
    auto created = createDsp(library.factory(), module.wideId(), host.object());
    if (created.status != lum::kOk) {
        problems.push_back(module.id + ": not created on the DSP side (status " + std::to_string(created.status) + ")");
        return;
    }
    std::map<std::int32_t, const PinDescription*> described;
    for (const PinDescription& pin : module.pins) described[pin.index] = &pin;

    std::vector<GuardedBuffer> buffers;
    buffers.reserve(static_cast<std::size_t>(highestIndex(module) + kProbeMargin + 3));
    for (std::int32_t index = -2; index <= highestIndex(module) + kProbeMargin; ++index) {
        float* samples = buffers.emplace_back(8).data();
        const bool registered = created.object->setBuffer(index, samples) == lum::kOk;
        if (registered != (described.count(index) != 0)) {
            problems.push_back(module.id + ": pin " + std::to_string(index) +
                               (registered ? " is registered but not described" : " is described but not registered"));
        }
    }

    EventList events;
    events.graphStart(0);
    created.object->open();
    created.object->process(1, events.head());
    std::map<std::int32_t, std::string> announced;
    for (const HostCall& call : host.exchange()) {
        if (call.kind == HostCallKind::SetPinStreaming) announced[call.pinIndex] = "streaming";
        if (call.kind == HostCallKind::SetPin) {
            announced[call.pinIndex] = "value of " + std::to_string(call.size) + " bytes";
        }
    }
    for (const auto& [index, pin] : described) {
        const auto found = announced.find(index);
        if (pin->direction == lum::kDirectionOut && (found == announced.end() || found->second != announcement(*pin))) {
            problems.push_back(module.id + ": output pin " + std::to_string(index) + " should announce a " +
                               announcement(*pin) + " at graph start");
        }
        if (pin->direction == lum::kDirectionIn && found != announced.end()) {
            problems.push_back(module.id + ": input pin " + std::to_string(index) + " announced itself");
        }
    }
    for (const auto& [index, what] : announced) {
        if (described.count(index) == 0) {
            problems.push_back(module.id + ": undescribed pin " + std::to_string(index) + " announced a " + what);
        }
    }
    for (const GuardedBuffer& buffer : buffers) {
        if (!buffer.guardsIntact()) problems.push_back(module.id + ": wrote past a buffer at graph start");
    }
}

// Whether a fresh instance, its inputs at their defaults, writes anything when the host
// sets `output` to a value it does not hold.
bool answersWhenSet(const ModuleLibrary& library, const ModuleDescription& module, const PinDescription& output) {
    RecordingHost host;
    auto created = createGui(library.factory(), module.wideId(), host.object());
    if (created.status != lum::kOk) return false;
    for (const PinDescription& pin : module.pins) {
        if (pin.direction != lum::kDirectionIn) continue;
        const PinValue value = defaultPinValue(pin);
        created.object->setPin(pin.index, 0, value.size, value.bytes.data());
        created.object->notifyPin(pin.index, 0);
    }
    PinValue held = defaultPinValue(output);
    for (const HostCall& call : host.exchange()) {
        if (call.kind == HostCallKind::WritePin && call.pinIndex == output.index && call.size == held.size) {
            held = PinValue::ofBytes(call.bytes.data(), call.size);
        }
    }
    const PinValue other = output.datatype == lum::kDatatypeBool ? PinValue::of(held.bytes[0] == 0)
                           : output.datatype == lum::kDatatypeInt
                               ? PinValue::of(held.asInt() < 0 ? held.asInt() + 3 : held.asInt() - 3)
                               : PinValue::of(held.asFloat() + 3.0f);
    host.clear();
    created.object->setPin(output.index, 0, other.size, other.bytes.data());
    created.object->notifyPin(output.index, 0);
    return !host.exchange().empty();
}

void compareGui(const ModuleLibrary& library, const ModuleDescription& module, std::vector<std::string>& problems) {
    RecordingHost host;
    auto created = createGui(library.factory(), module.wideId(), host.object());
    if (created.status != lum::kOk) {
        problems.push_back(module.id + ": not created on the GUI side (status " + std::to_string(created.status) + ")");
        return;
    }
    for (std::int32_t index = -2; index <= highestIndex(module) + kProbeMargin; ++index) {
        const bool describedHere = module.pinAt(index) != nullptr;
        const std::int32_t zero = 0;
        const bool registered = created.object->setPin(index, 0, 0, &zero) == lum::kOk;
        if (registered != describedHere) {
            problems.push_back(module.id + ": GUI pin " + std::to_string(index) +
                               (registered ? " is registered but not described" : " is described but not registered"));
        }
    }
    for (const PinDescription& pin : module.pins) {
        if (pin.direction == lum::kDirectionOut && answersWhenSet(library, module, pin) != pin.settable) {
            problems.push_back(
                module.id + ": output pin '" + pin.name + "'" +
                (pin.settable ? " is settable but answers nothing when set" : " answers when set but is not settable"));
        }
    }
}

}  // namespace

std::vector<std::string> compareDescriptionWithModule(const ModuleLibrary& library, const ModuleDescription& module) {
    std::vector<std::string> problems;
    checkDescribedValues(module, problems);
    if (module.side == Side::Dsp) {
        compareDsp(library, module, problems);
    } else {
        compareGui(library, module, problems);
    }
    RecordingHost host;
    const Side other = module.side == Side::Dsp ? Side::Gui : Side::Dsp;
    void* made = nullptr;
    const std::int32_t status = library.factory().createInstance(
        module.wideId().c_str(), static_cast<std::int32_t>(other), host.object(), &made);
    if (status != lum::kNotFound || made != nullptr) {
        problems.push_back(module.id + ": the other side is not refused with -2");
        if (made != nullptr) static_cast<lum::IMpUnknown*>(made)->release();
    }
    return problems;
}

std::vector<std::string> compareDescriptionWithLibrary(const ModuleLibrary& library,
                                                       const LibraryDescription& description) {
    std::vector<std::string> problems;
    for (const ModuleDescription& module : description.modules) {
        const auto found = compareDescriptionWithModule(library, module);
        problems.insert(problems.end(), found.begin(), found.end());
    }
    return problems;
}

}  // namespace lumhost
