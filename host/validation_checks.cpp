#include "validation_checks.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace lumhost {

const std::vector<ValidationCheck>& validationChecks() {
    using C = CheckId;
    using S = CheckSide;
    static const std::vector<ValidationCheck> checks = {
        {C::DescriptionMatches, "description.matches", S::Any, "the module has the pins its description lists"},
        {C::FactoryInterfaces, "factory.interfaces", S::Any,
         "an instance offers its own interfaces and refuses others with null and -2"},
        {C::FactoryLifecycle, "factory.lifecycle", S::Any,
         "creation succeeds and the last release gives back every reference"},
        {C::FactoryUnknownIds, "factory.unknown-ids", S::Any,
         "createInstance refuses with -2 and null an identifier not registered: longer, upper case, empty, unknown"},
        {C::FactoryBadArguments, "factory.bad-arguments", S::Any,
         "createInstance refuses a null out or host (-1) and sub-types 2 and -1 (-2) with null; queryInterface "
         "a null out (-1)"},
        {C::LibraryEntryPoint, "library.entry-point", S::Library,
         "MP_GetFactory gives the same factory every call and refuses a null out with -1"},
        {C::LibraryReload, "library.reload", S::Library,
         "loaded, used and unloaded again and again: no crash, gone once unloaded, the same samples each time"},
        {C::LibraryExports, "library.exports", S::Library, "the library exports MP_GetFactory and nothing else"},
        {C::DspSessions, "dsp.sessions", S::Dsp,
         "random legal sessions run to the end: every instance is created, no crash, no hang"},
        {C::DspGuards, "dsp.guards", S::Dsp,
         "process writes nothing past the block or its buffers and leaves its inputs unchanged"},
        {C::DspHostCalls, "dsp.host-calls", S::Dsp,
         "setPin and setPinStreaming name a described output, its size and a position in the block"},
        {C::DspTwoInstances, "dsp.two-instances", S::Dsp,
         "two instances fed the same session give the same samples and host calls"},
        {C::DspNotStreamingConstant, "dsp.not-streaming-constant", S::Dsp,
         "an output declared not streaming holds one value"},
        {C::DspWakes, "dsp.wakes", S::Dsp, "a sleeping module woken by a streaming input streams again"},
        {C::DspNoAllocation, "dsp.no-allocation", S::Dsp, "process allocates and frees no memory"},
        {C::DspNoLocks, "dsp.no-locks", S::Dsp,
         "process takes no lock and waits for no other thread: mutex, condition, semaphore, futex"},
        {C::DspNoBlockingCalls, "dsp.no-blocking-calls", S::Dsp,
         "process makes no call that may block: file, stream or socket I/O, printing, sleep, yield, poll"},
        {C::DspNoThreadCalls, "dsp.no-thread-calls", S::Dsp, "process starts and joins no thread"},
        {C::DspPointedValues, "dsp.pointed-values", S::Dsp,
         "values given through an event's data pointer act as the same values given in the record"},
        {C::DspMovedBuffers, "dsp.moved-buffers", S::Dsp,
         "buffers set to other memory between blocks: the module reads and writes the new ones only"},
        {C::DspEventEdges, "dsp.event-edges", S::Dsp,
         "events at a block's last sample run without fault, every host call in the block; events past the 4096th "
         "of a list are dropped"},
        {C::DspThreads, "dsp.threads", S::Dsp,
         "instances processing on four threads at once give what each gives alone, bit for bit"},
        {C::DspHostThread, "dsp.host-thread", S::Dsp, "the module calls the host only from the thread that called it"},
        {C::GuiSessions, "gui.sessions", S::Gui,
         "random pin values run to the end: every instance is created, no crash, no hang"},
        {C::GuiHostCalls, "gui.host-calls", S::Gui,
         "setPin and notifyPin accept described pins; writePin names one, its size and voice 0"},
        {C::GuiTwoInstances, "gui.two-instances", S::Gui, "two instances given the same values write the same pins"},
        {C::GuiUnknownPin, "gui.unknown-pin", S::Gui, "setPin and notifyPin on an unknown pin return -1"},
        {C::GuiNoAllocation, "gui.no-allocation", S::Gui, "setPin and notifyPin allocate and free no memory"},
        {C::GuiNoLocks, "gui.no-locks", S::Gui,
         "setPin and notifyPin take no lock and wait for no other thread: mutex, condition, semaphore, futex"},
        {C::GuiNoBlockingCalls, "gui.no-blocking-calls", S::Gui,
         "setPin and notifyPin make no call that may block: file, stream or socket I/O, printing, sleep, yield, "
         "poll"},
        {C::GuiNoThreadCalls, "gui.no-thread-calls", S::Gui, "setPin and notifyPin start and join no thread"},
        {C::DspOutputsWritten, "dsp.outputs-written", S::Dsp,
         "process writes every output sample of the block, unless it asked to sleep"},
        {C::DspOutputsFinite, "dsp.outputs-finite", S::Dsp,
         "ordinary input gives finite output samples, again after a graph start once non-finite input ends"},
        {C::DspNoSubnormalOutputs, "dsp.no-subnormal-outputs", S::Dsp, "ordinary input gives no subnormal output"},
        {C::DspValuesFinite, "dsp.values-finite", S::Dsp, "ordinary input gives finite float values to setPin"},
        {C::DspSilenceTail, "dsp.silence-tail", S::Dsp,
         "once every input is quiet at zero, outputs settle on a constant or the module sleeps, with no "
         "subnormal sample on the way"},
        {C::DspSleepsWhenQuiet, "dsp.sleeps-when-quiet", S::Dsp,
         "warns when a module with quiet inputs and settled outputs never asks to sleep"},
        {C::DspBlockSplit, "dsp.block-split", S::Dsp,
         "streaming signals and the same events split into other blocks give the same samples and host calls"},
        {C::GuiValuesFinite, "gui.values-finite", S::Gui, "ordinary pin values give finite float values to writePin"},
    };
    return checks;
}

const ValidationCheck& validationCheck(CheckId id) {
    const auto& checks = validationChecks();
    const auto row = static_cast<std::size_t>(id);
    // The table's order is CheckId's; a row out of place is a programming error.
    if (row >= checks.size() || checks[row].id != id) throw std::logic_error("the check table is out of order");
    return checks[row];
}

std::optional<CheckId> findCheck(const std::string& name) {
    for (const ValidationCheck& check : validationChecks()) {
        if (name == check.name) return check.id;
    }
    return std::nullopt;
}

bool checkAppliesTo(CheckId id, Side side) {
    const CheckSide only = validationCheck(id).side;
    return only == CheckSide::Any || only == CheckSide::Library || (only == CheckSide::Dsp) == (side == Side::Dsp);
}

void to_json(nlohmann::json& json, CheckId id) { json = checkName(id); }

void from_json(const nlohmann::json& json, CheckId& id) {
    const auto found = findCheck(json.get<std::string>());
    if (!found) throw std::invalid_argument("no check '" + json.get<std::string>() + "'");
    id = *found;
}

bool CheckSelection::runs(CheckId id) const {
    const auto named = [&](const std::vector<CheckId>& ids) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    };
    return (only.empty() || named(only)) && !named(skip);
}

bool CheckSelection::runsAnyOf(CheckSide side) const {
    const auto& checks = validationChecks();
    return std::any_of(checks.begin(), checks.end(),
                       [&](const ValidationCheck& check) { return check.side == side && runs(check.id); });
}

std::size_t CheckSelection::countFor(Side side) const {
    const auto& checks = validationChecks();
    return static_cast<std::size_t>(std::count_if(checks.begin(), checks.end(), [&](const ValidationCheck& check) {
        return runs(check.id) && checkAppliesTo(check.id, side);
    }));
}

}  // namespace lumhost
