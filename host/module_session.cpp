#include "module_session.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "event_list.h"
#include "instances.h"

namespace lumhost {
namespace {

constexpr std::int32_t kBlockSize = 64;

PinValue valueOf(const HostCall& call) { return PinValue::ofBytes(call.bytes.data(), call.size); }

// The pin a setPin or writePin sends a value of its type to; null for any other call.
const PinDescription* valuePin(const ModuleDescription& module, const HostCall& call) {
    const PinDescription* pin = module.pinAt(call.pinIndex);
    const bool sends = call.kind == HostCallKind::SetPin || call.kind == HostCallKind::WritePin;
    return sends && pin != nullptr && call.size == valueSize(pin->datatype) ? pin : nullptr;
}

// A call the module made, its value in the terms of the pin it names.
std::string traced(const ModuleDescription& module, const HostCall& call) {
    const PinDescription* pin = valuePin(module, call);
    std::ostringstream line;
    line << "  | module: ";
    if (pin != nullptr) {
        line << (call.kind == HostCallKind::SetPin ? "setPin " : "writePin ") << pin->name << " = "
             << formatPinValue(*pin, valueOf(call));
    } else {
        line << call;
    }
    return line.str();
}

// Value events step by step: open, graph start with every input's value, then a block
// for each step with its events at the block's start. The module sleeps after each
// block; the next step's events wake it.
class ControlSession final : public ModuleSession {
public:
    ControlSession(lum::IMpFactory& factory, const ModuleDescription& module, bool trace)
        : ModuleSession(module, trace) {
        host_.setBlockSize(kBlockSize);
        plugin_ = createdOrThrow(createDsp(factory, module.wideId(), host_.object()), module.id);
        plugin_->open();
        for (const PinDescription& pin : module.pins) {
            if (pin.direction == lum::kDirectionOut) held_.emplace_back(&pin, std::nullopt);
        }
    }

    std::vector<std::string> step(const std::vector<PinChange>& changes, bool) override {
        std::vector<std::string> lines;
        EventList events;
        std::vector<PinChange> sent = changes;
        if (!started_) {
            // Graph start carries every input, the defaults of those the step leaves alone.
            events.graphStart(0);
            const std::vector<PinChange> defaults = defaultsBesides(module_, changes);
            sent.insert(sent.begin(), defaults.begin(), defaults.end());
            started_ = true;
            if (trace_) lines.push_back("  | host: graph start");
        }
        for (const PinChange& change : sent) {
            events.bytes(0, change.pin->index, change.value.size, change.value.bytes.data(), false);
            if (trace_) {
                lines.push_back("  | host: " + change.pin->name + " = " + formatPinValue(*change.pin, change.value));
            }
        }
        host_.clear();
        plugin_->process(kBlockSize, events.head());
        if (trace_) lines.push_back("  | host: process(" + std::to_string(kBlockSize) + ")");
        const std::vector<HostCall> calls = host_.exchange();
        sent_.clear();
        keepSent(calls);
        std::vector<std::int32_t> changed;
        for (const HostCall& call : calls) {
            if (trace_) lines.push_back(traced(module_, call));
            for (auto& [pin, value] : held_) {
                if (call.kind == HostCallKind::SetPin && call.pinIndex == pin->index) {
                    value = call;
                    changed.push_back(pin->index);
                }
            }
        }
        for (const auto& [pin, value] : held_) {
            if (!value) {
                lines.push_back("  " + pin->name + ": nothing sent");
                continue;
            }
            const bool sentNow = std::find(changed.begin(), changed.end(), pin->index) != changed.end();
            lines.push_back("  " + valueText(*value) + (sentNow ? "" : " (unchanged)"));
        }
        return lines;
    }

private:
    RecordingHost host_;
    Ref<lum::IMpPlugin> plugin_;
    bool started_ = false;
    std::vector<std::pair<const PinDescription*, std::optional<HostCall>>> held_;
};

// setPin and notifyPin for each change in order; the module answers with writePin.
class GuiSession final : public ModuleSession {
public:
    GuiSession(lum::IMpFactory& factory, const ModuleDescription& module, bool trace) : ModuleSession(module, trace) {
        gui_ = createdOrThrow(createGui(factory, module.wideId(), host_.object()), module.id);
    }

    std::vector<std::string> step(const std::vector<PinChange>& changes, bool allSetFirst) override {
        std::vector<std::string> lines;
        sent_.clear();
        if (allSetFirst) {
            for (const PinChange& change : changes) {
                gui_->setPin(change.pin->index, 0, change.value.size, change.value.bytes.data());
                if (trace_) {
                    lines.push_back("  | host: setPin " + change.pin->name + " = " +
                                    formatPinValue(*change.pin, change.value));
                }
            }
        }
        for (const PinChange& change : changes) {
            host_.clear();
            if (!allSetFirst) gui_->setPin(change.pin->index, 0, change.value.size, change.value.bytes.data());
            gui_->notifyPin(change.pin->index, 0);
            if (trace_) {
                lines.push_back(std::string("  | host: ") + (allSetFirst ? "notifyPin " : "setPin + notifyPin ") +
                                change.pin->name + " = " + formatPinValue(*change.pin, change.value));
            }
            std::string answer;
            const std::vector<HostCall> calls = host_.exchange();
            keepSent(calls);
            for (const HostCall& call : calls) {
                if (trace_) lines.push_back(traced(module_, call));
                if (call.kind == HostCallKind::WritePin) answer += (answer.empty() ? "" : ", ") + valueText(call);
            }
            lines.push_back("  " + change.pin->name + "=" + formatPinValue(*change.pin, change.value) + " -> " +
                            (answer.empty() ? "nothing written" : answer));
        }
        return lines;
    }

private:
    RecordingHost host_;
    Ref<lum::IMpUserInterface> gui_;
};

}  // namespace

std::vector<PinChange> defaultsBesides(const ModuleDescription& module, const std::vector<PinChange>& changes) {
    std::vector<PinChange> defaults;
    for (const PinDescription& pin : module.pins) {
        const bool given =
            std::any_of(changes.begin(), changes.end(), [&](const PinChange& change) { return change.pin == &pin; });
        if (pin.direction == lum::kDirectionIn && !given) defaults.push_back({&pin, defaultPinValue(pin)});
    }
    return defaults;
}

std::unique_ptr<ModuleSession> ModuleSession::open(lum::IMpFactory& factory, const ModuleDescription& module,
                                                   bool trace) {
    if (module.side == Side::Gui) return std::make_unique<GuiSession>(factory, module, trace);
    for (const PinDescription& pin : module.pins) {
        if (pin.datatype == lum::kDatatypeAudio) {
            throw UserError(module.id + " is audio-rate: lumhost render runs it");
        }
    }
    return std::make_unique<ControlSession>(factory, module, trace);
}

std::vector<PinChange> ModuleSession::resolve(const std::vector<PinSetting>& settings) const {
    std::vector<PinChange> changes;
    for (const PinSetting& setting : settings) {
        const PinDescription* pin = module_.findPin(setting.pin);
        if (pin == nullptr) throw UserError(module_.id + " has no pin '" + setting.pin + "'");
        if (pin->direction != lum::kDirectionIn && !pin->settable) {
            throw UserError("pin '" + pin->name + "' is an output only");
        }
        changes.push_back({pin, parsePinValue(*pin, setting.value, module_.audioScale)});
    }
    return changes;
}

void ModuleSession::keepSent(const std::vector<HostCall>& calls) {
    for (const HostCall& call : calls) {
        if (const PinDescription* pin = valuePin(module_, call)) sent_.push_back({pin, valueOf(call)});
    }
}

std::string ModuleSession::valueText(const HostCall& call) const {
    const PinDescription* pin = module_.pinAt(call.pinIndex);
    if (pin == nullptr) return "undescribed pin " + std::to_string(call.pinIndex);
    return pin->name + " = " + formatPinValue(*pin, valueOf(call));
}

}  // namespace lumhost
