#include "call_check.h"

#include <algorithm>

namespace lumhost {

std::string dspHostCallProblem(const ModuleDescription& module, const HostCall& call, std::int32_t blockCount,
                               std::int32_t hostBlockSize) {
    const std::int32_t positions = blockCount > 0 ? blockCount : std::max(hostBlockSize, 1);
    const PinDescription* pin = module.pinAt(call.pinIndex);
    const auto where = [&] { return " (pin " + std::to_string(call.pinIndex) + ")"; };
    const bool positionOk = call.position >= 0 && call.position < positions;
    const auto badPosition = [&](const char* what) {
        return std::string(what) + " at position " + std::to_string(call.position) + " in a block of " +
               std::to_string(positions);
    };
    switch (call.kind) {
        case HostCallKind::SetPin:
            if (pin == nullptr || pin->direction != lum::kDirectionOut || pin->datatype == lum::kDatatypeAudio) {
                return "setPin on a pin that is no control output" + where();
            }
            if (pin->datatype != lum::kDatatypeMidi && call.size != valueSize(pin->datatype)) {
                return "setPin with " + std::to_string(call.size) + " bytes" + where();
            }
            if (!positionOk) return badPosition("setPin");
            return {};
        case HostCallKind::SetPinStreaming:
            if (pin == nullptr || pin->direction != lum::kDirectionOut || pin->datatype != lum::kDatatypeAudio) {
                return "setPinStreaming on a pin that is no audio output" + where();
            }
            if (call.argument != 0 && call.argument != 1) return "setPinStreaming flag is not 0 or 1";
            if (!positionOk) return badPosition("setPinStreaming");
            return {};
        case HostCallKind::ReservedSlot6: return "called the host's unused slot 6";
        case HostCallKind::WritePin: return "a DSP module called writePin";
        default: return {};
    }
}

std::string dspHostThreadProblem(const HostCall& call, std::thread::id moduleThread) {
    if (call.thread == moduleThread) return {};
    return "called the host from another thread than the one the host called it on";
}

}  // namespace lumhost
