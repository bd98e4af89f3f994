#include <cstdio>
#include <nlohmann/json.hpp>

#include "commands.h"
#include "host/dsp_run.h"
#include "host/instances.h"
#include "host/recording_host.h"

namespace lumhost {
namespace {

const char* sideName(Side side) { return side == Side::Dsp ? "dsp" : "gui"; }

// A description copied beside the wrong library would list modules that library lacks.
void requireDescribedModules(const LoadedLibrary& loaded) {
    RecordingHost host;
    for (const ModuleDescription& module : loaded.description.modules) {
        const std::int32_t status = module.side == Side::Dsp
                                        ? createDsp(loaded.library.factory(), module.wideId(), host.object()).status
                                        : createGui(loaded.library.factory(), module.wideId(), host.object()).status;
        if (status != lum::kOk) {
            throw UsageError(descriptionPath(loaded.library.path()) + " does not describe " + loaded.library.path() +
                             ": it has no " + sideName(module.side) + " module '" + module.id + "'");
        }
    }
}

}  // namespace

int listCommand(const std::string& libraryPath, bool json) {
    const LoadedLibrary loaded(libraryPath);
    requireDescribedModules(loaded);
    const LibraryDescription& description = loaded.description;
    if (json) {
        nlohmann::json out = {{"library", description.library}, {"modules", nlohmann::json::array()}};
        for (const ModuleDescription& module : description.modules) {
            nlohmann::json pins = nlohmann::json::array();
            for (const PinDescription& pin : module.pins) {
                pins.push_back({{"index", pin.index},
                                {"direction", pin.direction == lum::kDirectionIn ? "in" : "out"},
                                {"datatype", datatypeName(pin.datatype)},
                                {"name", pin.name}});
            }
            out["modules"].push_back({{"id", module.id}, {"side", sideName(module.side)}, {"pins", pins}});
        }
        std::printf("%s\n", out.dump(2).c_str());
        return 0;
    }
    std::printf("%s: %zu modules\n", description.library.c_str(), description.modules.size());
    for (const ModuleDescription& module : description.modules) {
        std::printf("\n%s (%s)\n", module.id.c_str(), sideName(module.side));
        for (const PinDescription& pin : module.pins) {
            std::printf("  %3d  %-3s  %-5s  %s\n", pin.index, pin.direction == lum::kDirectionIn ? "in" : "out",
                        datatypeName(pin.datatype), pin.name.c_str());
        }
    }
    return 0;
}

}  // namespace lumhost
