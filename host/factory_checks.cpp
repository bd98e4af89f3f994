#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

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

// Identifiers a module is not registered under, made from its own (ASCII) one: a factory
// that compares a prefix, ignores case or stops early answers one of them.
std::vector<std::string> unregisteredIds(const std::string& id) {
    std::string otherCase = id;
    for (char& c : otherCase) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (otherCase == id) {
        for (char& c : otherCase) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::vector<std::string> ids = {id + "~", id + " ", "", "LumhostNoSuchModule"};
    if (otherCase != id) ids.push_back(otherCase);
    return ids;
}

// Creation that must be refused with `expected` and null in *out; anything made is released.
void checkRefused(lum::IMpFactory& factory, const char16_t* id, std::int32_t subtype, lum::IMpUnknown* host,
                  std::int32_t expected, CheckId check, const std::string& what, VerdictRecorder& verdict) {
    void* made = &made;
    const std::int32_t status = factory.createInstance(id, subtype, host, &made);
    verdict.check(check, status == expected && made == nullptr,
                  what + " was not refused with " + std::to_string(expected) + " and null (status " +
                      std::to_string(status) + ")");
    if (made != nullptr && made != &made) static_cast<lum::IMpUnknown*>(made)->release();
}

void checkUnknownIds(const ModuleLibrary& library, const ModuleDescription& module, VerdictRecorder& verdict) {
    RecordingHost host;
    for (const std::string& id : unregisteredIds(module.id)) {
        checkRefused(library.factory(), std::u16string(id.begin(), id.end()).c_str(),
                     static_cast<std::int32_t>(module.side), host.object(), lum::kNotFound, CheckId::FactoryUnknownIds,
                     "identifier '" + id + "'", verdict);
    }
}

void checkBadArguments(const ModuleLibrary& library, const ModuleDescription& module, VerdictRecorder& verdict) {
    const CheckId check = CheckId::FactoryBadArguments;
    const std::u16string id = module.wideId();
    const auto side = static_cast<std::int32_t>(module.side);
    RecordingHost host;
    verdict.check(check, library.factory().createInstance(id.c_str(), side, host.object(), nullptr) == lum::kFailed,
                  "createInstance with a null out did not return -1");
    checkRefused(library.factory(), id.c_str(), side, nullptr, lum::kFailed, check, "a null host", verdict);
    for (const std::int32_t subtype : {2, -1}) {
        checkRefused(library.factory(), id.c_str(), subtype, host.object(), lum::kNotFound, check,
                     "sub-type " + std::to_string(subtype), verdict);
    }
    void* made = nullptr;
    library.factory().createInstance(id.c_str(), side, host.object(), &made);
    if (made == nullptr) return;
    auto* object = static_cast<lum::IMpUnknown*>(made);
    const lum::Guid& own = module.side == Side::Dsp ? lum::kIidMpPlugin : lum::kIidMpUserInterface;
    for (const lum::Guid* iid : {&lum::kIidMpUnknown, &own, &lum::kIidMpFactory}) {
        verdict.check(check, object->queryInterface(iid, nullptr) == lum::kFailed,
                      "queryInterface with a null out did not return -1");
    }
    object->release();
}

}  // namespace

void checkFactory(const ModuleLibrary& library, const ModuleDescription& module, const ValidationOptions& options,
                  VerdictRecorder& verdict) {
    if (verdict.starts(CheckId::FactoryInterfaces)) checkInterfaces(library, module, verdict);
    if (verdict.starts(CheckId::FactoryLifecycle)) checkLifecycle(library, module, 10 * options.strictness, verdict);
    if (verdict.starts(CheckId::FactoryUnknownIds)) checkUnknownIds(library, module, verdict);
    if (verdict.starts(CheckId::FactoryBadArguments)) checkBadArguments(library, module, verdict);
}

}  // namespace lumhost
