#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>

#include "coverage_matrix.h"
#include "instances.h"
#include "ordinary_values.h"
#include "realtime_watch.h"
#include "recording_host.h"
#include "validation_families.h"

namespace lumhost {

void checkGuiSessions(const ModuleLibrary& library, const ModuleDescription& module, std::mt19937& random,
                      const ValidationOptions& options, VerdictRecorder& verdict) {
    RecordingHost hosts[2];
    Ref<lum::IMpUserInterface> instances[2];
    for (int i = 0; i < 2; ++i) {
        auto created = createGui(library.factory(), module.wideId(), hosts[i].object());
        verdict.check(CheckId::GuiSessions, created.status == lum::kOk, "creation failed");
        instances[i] = std::move(created.object);
        if (!instances[i]) return;
    }
    if (module.pins.empty()) return;
    // Whether each float pin holds an ordinary value from the host: a two-way module solves
    // back from a result it is given, so outputs count as inputs too. A default is the
    // module's, not ours.
    std::map<std::int32_t, bool> ordinaryInputs;
    for (const PinDescription& pin : module.pins) {
        if (pin.datatype == lum::kDatatypeFloat) ordinaryInputs[pin.index] = false;
    }
    const std::int32_t steps = 200 * options.strictness;
    for (std::int32_t step = 0; step < steps; ++step) {
        verdict.at("step " + std::to_string(step + 1));
        const PinDescription& pin = module.pins[random() % module.pins.size()];
        std::uint8_t bytes[4] = {};
        if (pin.datatype == lum::kDatatypeFloat) {
            static const float kValues[] = {0.0f, -0.0f, 1.0f, -2.5f, 7.0f, 1e-40f, 1e30f, 0.25f};
            // An edge is no ordinary value even where its magnitude is: two equal ones make a
            // zero span.
            bool ordinary = random() % 2 != 0;
            float value = ordinary ? ordinaryValue(random, kOrdinaryMost) : kValues[random() % 8];
            if (options.strictness >= kHostileStrictness && random() % 16 == 0) {
                value = hostileValue(random);
                ordinary = false;
            }
            std::memcpy(bytes, &value, 4);
            ordinaryInputs[pin.index] = ordinary;
        } else if (pin.datatype == lum::kDatatypeInt) {
            static const std::int32_t kValues[] = {0, 1, -1, 5, -7, 100, INT32_MAX, INT32_MIN};
            std::memcpy(bytes, &kValues[random() % 8], 4);
        } else {
            bytes[0] = static_cast<std::uint8_t>(random() % 2);
        }
        std::int32_t statuses[2][2] = {};
        for (RecordingHost& host : hosts) host.clear();
        {
            // The first step may grow the recording hosts' lists: not watched.
            std::optional<RealtimeWatch> watch;
            if (step > 0) watch.emplace(options, Side::Gui);
            for (int i = 0; i < 2; ++i) {
                statuses[i][0] = instances[i]->setPin(pin.index, 0, valueSize(pin.datatype), bytes);
                statuses[i][1] = instances[i]->notifyPin(pin.index, 0);
            }
            if (watch) watch->check(verdict, "setPin or notifyPin");
        }
        for (const auto& status : statuses) {
            verdict.check(CheckId::GuiHostCalls, status[0] == lum::kOk, "setPin refused a described pin");
            verdict.check(CheckId::GuiHostCalls, status[1] == lum::kOk, "notifyPin refused a described pin");
        }
        const auto exchange = hosts[0].exchange();
        const bool ordinaryInput =
            std::all_of(ordinaryInputs.begin(), ordinaryInputs.end(), [](const auto& input) { return input.second; });
        verdict.check(CheckId::GuiTwoInstances, exchange == hosts[1].exchange(),
                      "two instances given the same values wrote different pins");
        for (const HostCall& call : exchange) {
            const PinDescription* written = module.pinAt(call.pinIndex);
            verdict.check(CheckId::GuiHostCalls, call.kind == HostCallKind::WritePin,
                          "a GUI module called a DSP host operation");
            verdict.check(CheckId::GuiHostCalls, written != nullptr,
                          "writePin on an undescribed pin " + std::to_string(call.pinIndex));
            if (written != nullptr) {
                verdict.check(
                    CheckId::GuiHostCalls, call.size == valueSize(written->datatype),
                    "writePin with " + std::to_string(call.size) + " bytes on pin " + std::to_string(call.pinIndex));
            }
            verdict.check(CheckId::GuiHostCalls, call.argument == 0, "writePin with a voice other than 0");

            if (ordinaryInput && written != nullptr && written->datatype == lum::kDatatypeFloat && call.size == 4) {
                verdict.check(CheckId::GuiValuesFinite, std::isfinite(call.value<float>()),
                              "writePin sent a non-finite value on pin " + std::to_string(call.pinIndex) +
                                  " from ordinary input");
            }
            // What a module writes, a pin holds: a later result may be computed from it.
            if (written != nullptr && written->datatype == lum::kDatatypeFloat && call.size == 4 &&
                !std::isfinite(call.value<float>()))
                ordinaryInputs[call.pinIndex] = false;
        }
    }
    const float value = 1.0f;
    verdict.check(CheckId::GuiUnknownPin, instances[0]->setPin(10000, 0, 4, &value) == lum::kFailed,
                  "setPin on an unknown pin was not -1");
    verdict.check(CheckId::GuiUnknownPin, instances[0]->notifyPin(10000, 0) == lum::kFailed,
                  "notifyPin on an unknown pin was not -1");
}

}  // namespace lumhost
