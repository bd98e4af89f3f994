// One control-value or GUI module driven change by change, the way the real host drives
// it on its side; each step answers with the lines that say what the module did.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pin_value.h"
#include "recording_host.h"
#include "user_error.h"

namespace lumhost {

struct PinChange {
    const PinDescription* pin;
    PinValue value;
};

// Every input `changes` leaves alone, at its default, in pin order.
std::vector<PinChange> defaultsBesides(const ModuleDescription& module, const std::vector<PinChange>& changes);

class ModuleSession {
public:
    // Throws UserError for a module lumhost cannot run value by value (an audio-rate one).
    static std::unique_ptr<ModuleSession> open(lum::IMpFactory& factory, const ModuleDescription& module, bool trace);
    virtual ~ModuleSession() = default;

    const ModuleDescription& module() const { return module_; }
    // Checks `settings` against the module: inputs (and settable GUI outputs) with values
    // of their type. Throws UserError.
    std::vector<PinChange> resolve(const std::vector<PinSetting>& settings) const;
    // Applies the changes as one step and returns what to print. A DSP module gets them
    // together in one block; a GUI module one after the other, or, `allSetFirst`, all
    // values set before it hears of the first.
    virtual std::vector<std::string> step(const std::vector<PinChange>& changes, bool allSetFirst) = 0;
    // The values the module sent in the last step (setPin or writePin), in order.
    const std::vector<PinChange>& sent() const { return sent_; }

protected:
    ModuleSession(const ModuleDescription& module, bool trace) : module_(module), trace_(trace) {}
    // "Out = 3" for a value the module sent.
    std::string valueText(const HostCall& call) const;
    // Keeps the calls that send a described pin a value of its type.
    void keepSent(const std::vector<HostCall>& calls);
    const ModuleDescription& module_;
    const bool trace_;
    std::vector<PinChange> sent_;
};

}  // namespace lumhost
