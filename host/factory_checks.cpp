#include <cstdint>

#include "instances.h"
#include "recording_host.h"
#include "validation_families.h"

namespace lumhost {
namespace {

void checkInterfaces(const ModuleLibrary& library, const ModuleDescription& module, VerdictRecorder& verdict) {
    const bool dsp = module.side == Side::Dsp;
    const lum::Guid& own = dsp ? lum::kIidMpPlugin : lum::kIidMpUserInterface;
    const lum::Guid& other = dsp ? lum::kIidMpUserInterface : lum::kIidMpPlugin;
    RecordingHost host;
    void* made = nullptr;
    library.factory().createInstance(module.wideId().c_str(), static_cast<std::int32_t>(module.side), host.object(),
                                     &made);
    verdict.check(CheckId::FactoryInterfaces, made != nullptr, "creation failed");
    if (made == nullptr) return;
    auto* object = static_cast<lum::IMpUnknown*>(made);
    void* out = nullptr;
    verdict.check(CheckId::FactoryInterfaces,
                  object->queryInterface(&lum::kIidMpUnknown, &out) == lum::kOk && out != nullptr,
                  "queryInterface(IMpUnknown) failed");
    if (out != nullptr) static_cast<lum::IMpUnknown*>(out)->release();
    out = nullptr;
    verdict.check(CheckId::FactoryInterfaces, object->queryInterface(&own, &out) == lum::kOk && out != nullptr,
                  "queryInterface of its own interface failed");
    if (out != nullptr) static_cast<lum::IMpUnknown*>(out)->release();
    out = &out;
    for (const lum::Guid* foreign : {&other, &lum::kIidMpFactory, &lum::kIidMpDspHost}) {
        verdict.check(CheckId::FactoryInterfaces,
                      object->queryInterface(foreign, &out) == lum::kNotFound && out == nullptr,
                      "an interface it does not offer was not refused with null and -2");
    }
    object->release();
}

void checkLifecycle(const ModuleLibrary& library, const ModuleDescription& module, std::int32_t rounds,
                    VerdictRecorder& verdict) {
    const bool dsp = module.side == Side::Dsp;
    for (std::int32_t round = 0; round < rounds && !verdict.failed(CheckId::FactoryLifecycle); ++round) {
        RecordingHost host;
        void* made = nullptr;
        const std::int32_t status = library.factory().createInstance(
            module.wideId().c_str(), static_cast<std::int32_t>(module.side), host.object(), &made);
        verdict.check(CheckId::FactoryLifecycle, status == lum::kOk && made != nullptr, "creation failed");
        if (made == nullptr) return;
        auto* object = static_cast<lum::IMpUnknown*>(made);
        verdict.check(CheckId::FactoryLifecycle, object->release() == 0,
                      "the creator's reference was not the last one");
        // The GUI base keeps its host reference by design; a DSP module must give it back.
        if (dsp) {
            verdict.check(CheckId::FactoryLifecycle, host.referencesHeld() == 0,
                          "the released module still holds a host reference");
        }
    }
}

}  // namespace

void checkFactory(const ModuleLibrary& library, const ModuleDescription& module, const ValidationOptions& options,
                  VerdictRecorder& verdict) {
    if (verdict.starts(CheckId::FactoryInterfaces)) checkInterfaces(library, module, verdict);
    if (verdict.starts(CheckId::FactoryLifecycle)) checkLifecycle(library, module, 10 * options.strictness, verdict);
}

}  // namespace lumhost
