#include "validation_checks.h"

#include <algorithm>

#include "text.h"

namespace lumhost {

const std::vector<ValidationCheck>& validationChecks() {
    static const std::vector<ValidationCheck> checks = {
        {"description.matches", "the module has the pins its description lists"},
        {"factory.interfaces", "an instance offers its own interfaces and refuses others with null and -2"},
        {"factory.lifecycle", "creation succeeds and the last release gives back every reference"},
        {"dsp.sessions", "random legal sessions run to the end: every instance is created, no crash, no hang"},
        {"dsp.guards", "process writes nothing past the block or its buffers and leaves its inputs unchanged"},
        {"dsp.host-calls", "setPin and setPinStreaming name a described output, its size and a position in the block"},
        {"dsp.two-instances", "two instances fed the same session give the same samples and host calls"},
        {"dsp.not-streaming-constant", "an output declared not streaming holds one value"},
        {"dsp.wakes", "a sleeping module woken by a streaming input streams again"},
        {"dsp.no-allocation", "process allocates no memory"},
        {"dsp.no-locks", "process takes no lock"},
        {"dsp.no-blocking-calls", "process makes no call that may block: file or socket I/O, sleep"},
        {"gui.sessions", "random pin values run to the end: every instance is created, no crash, no hang"},
        {"gui.host-calls", "setPin and notifyPin accept described pins; writePin names one, its size and voice 0"},
        {"gui.two-instances", "two instances given the same values write the same pins"},
        {"gui.unknown-pin", "setPin and notifyPin on an unknown pin return -1"},
        {"gui.no-allocation", "setPin and notifyPin allocate no memory"},
        {"gui.no-locks", "setPin and notifyPin take no lock"},
        {"gui.no-blocking-calls", "setPin and notifyPin make no call that may block: file or socket I/O, sleep"},
    };
    return checks;
}

bool isValidationCheck(const std::string& id) {
    const auto& checks = validationChecks();
    return std::any_of(checks.begin(), checks.end(), [&](const ValidationCheck& check) { return id == check.id; });
}

bool CheckSelection::runs(const std::string& id) const {
    const auto named = [&](const std::vector<std::string>& ids) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    };
    return (only.empty() || named(only)) && !named(skip);
}

bool CheckSelection::runsAnyOf(const std::string& prefix) const {
    const auto& checks = validationChecks();
    return std::any_of(checks.begin(), checks.end(),
                       [&](const ValidationCheck& check) { return startsWith(check.id, prefix) && runs(check.id); });
}

std::size_t CheckSelection::countFor(Side side) const {
    const auto& checks = validationChecks();
    return static_cast<std::size_t>(std::count_if(checks.begin(), checks.end(), [&](const ValidationCheck& check) {
        return runs(check.id) && checkAppliesTo(check.id, side);
    }));
}

bool checkAppliesTo(const std::string& id, Side side) { return !startsWith(id, side == Side::Dsp ? "gui." : "dsp."); }

}  // namespace lumhost
