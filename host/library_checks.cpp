#include <optional>
#include <stdexcept>

#include "instances.h"
#include "library_copy.h"
#include "recording_host.h"
#include "scripted_dsp_session.h"
#include "validation_families.h"

namespace lumhost {
namespace {

void checkEntryPoint(const ModuleLibrary& library, VerdictRecorder& verdict) {
    const CheckId id = CheckId::LibraryEntryPoint;
    verdict.check(id, library.entryPoint()(nullptr) == lum::kFailed, "MP_GetFactory(null) did not return -1");
    for (int call = 0; call < 2; ++call) {
        void* unknown = nullptr;
        verdict.check(id, library.entryPoint()(&unknown) == lum::kOk && unknown != nullptr,
                      "MP_GetFactory failed when called again");
        if (unknown == nullptr) continue;
        void* face = nullptr;
        static_cast<lum::IMpUnknown*>(unknown)->queryInterface(&lum::kIidMpFactory, &face);
        verdict.check(id, face == &library.factory(), "MP_GetFactory gave another factory when called again");
        if (face != nullptr) static_cast<lum::IMpUnknown*>(face)->release();
        static_cast<lum::IMpUnknown*>(unknown)->release();
    }
}

// Each load creates an instance and releases it; a DSP module plays one session, which
// must give what it gave in the first load.
void checkReload(const ModuleLibrary& library, const ModuleDescription& module, std::int32_t loads,
                 VerdictRecorder& verdict) {
    const CheckId id = CheckId::LibraryReload;
    const SessionScript script = writeScript(module, 1, {10});
    std::optional<Playback> first;
    try {
        const LibraryCopy copy(library.path());
        for (std::int32_t load = 0; load < loads && !verdict.failed(id); ++load) {
            verdict.at("load " + std::to_string(load + 1));
            {
                const ModuleLibrary loaded(copy.path());
                if (module.side == Side::Dsp) {
                    ScriptedPlayer player(loaded.factory(), module, script);
                    verdict.check(id, player.created(), "creation failed");
                    if (!player.created()) return;
                    const Playback played = player.play({});
                    if (!first) first = played;
                    verdict.check(id, played.sameAs(*first),
                                  "gave other samples or host calls than in the first load: its state outlived the "
                                  "unload");
                } else {
                    RecordingHost host;
                    const bool created = createGui(loaded.factory(), module.wideId(), host.object()).object.get();
                    verdict.check(id, created, "creation failed");
                }
            }
            verdict.check(id, !copy.loaded(), "stayed loaded once unloaded: its state outlives the unload");
        }
    } catch (const std::runtime_error& failure) {
        verdict.check(id, false, failure.what());
    }
}

void checkExports(const ModuleLibrary& library, VerdictRecorder& verdict) {
    verdict.check(CheckId::LibraryExports, true, {});
    for (const std::string& name : library.exports()) {
        if (name != "MP_GetFactory")
            verdict.warn(CheckId::LibraryExports, "exports " + name + " besides MP_GetFactory");
    }
}

}  // namespace

void checkLibrary(const ModuleLibrary& library, const ModuleDescription& module, const ValidationOptions& options,
                  VerdictRecorder& verdict) {
    if (verdict.starts(CheckId::LibraryEntryPoint)) checkEntryPoint(library, verdict);
    if (verdict.starts(CheckId::LibraryReload)) checkReload(library, module, 3 * options.strictness, verdict);
    if (verdict.starts(CheckId::LibraryExports)) checkExports(library, verdict);
}

}  // namespace lumhost
