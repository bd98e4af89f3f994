#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "commands.h"
#include "host/instances.h"
#include "host/pin_value.h"
#include "host/recording_host.h"
#include "host/user_error.h"

namespace lumhost {
namespace {

// A description copied beside the wrong library would list modules that library lacks.
void requireDescribedModules(const LoadedLibrary& loaded) {
    RecordingHost host;
    for (const ModuleDescription& module : loaded.description.modules) {
        const std::int32_t status = module.side == Side::Dsp
                                        ? createDsp(loaded.library.factory(), module.wideId(), host.object()).status
                                        : createGui(loaded.library.factory(), module.wideId(), host.object()).status;
        if (status != lum::kOk) {
            throw UserError(descriptionPath(loaded.library.path()) + " does not describe " + loaded.library.path() +
                            ": it has no " + sideName(module.side) + " module '" + module.id + "'");
        }
    }
}

// " = 100 (1000 Hz); 0 LowPass, 1 HighPass" after a pin's name: its default (the first
// audio input takes the signal instead), what an audio value stands for, and the names of its values.
std::string describeValues(const PinDescription& pin, double audioScale, bool takesTheSignal) {
    std::string text;
    if (takesTheSignal) {
        text += " = in (the signal)";
    } else if (pin.defaultValue) {
        text += " = " + formatPinValue(pin, defaultPinValue(pin));
        if (pin.datatype == lum::kDatatypeAudio) {
            char scaled[32];
            std::snprintf(scaled, sizeof scaled, "%g", *pin.defaultValue * audioScale);
            text += std::string(" (") + scaled + (pin.unit.empty() ? "" : " " + pin.unit) + ")";
        } else if (!pin.unit.empty()) {
            text += " " + pin.unit;
        }
    }
    if (pin.range) {
        char span[96];
        std::snprintf(span, sizeof span, "; %g to %g", pin.range->first, pin.range->second);
        text += span;
        if (pin.datatype == lum::kDatatypeAudio) {
            std::snprintf(span, sizeof span, " (%g to %g%s%s)", pin.range->first * audioScale,
                          pin.range->second * audioScale, pin.unit.empty() ? "" : " ", pin.unit.c_str());
            text += span;
        }
    }
    for (std::size_t value = 0; value < pin.valueNames.size(); ++value) {
        text += (value == 0 ? "; " : ", ") + std::to_string(value) + " " + pin.valueNames[value];
    }
    if (pin.settable) text += " (settable)";
    return text;
}

struct ListOptions {
    std::string libraryPath;
    bool json = false;
};

void list(const ListOptions& options) {
    const LoadedLibrary loaded(options.libraryPath);
    requireDescribedModules(loaded);
    const LibraryDescription& description = loaded.description;
    if (options.json) {
        nlohmann::json out = {{"library", description.library},
                              {"audioScale", description.audioScale},
                              {"modules", nlohmann::json::array()}};
        for (const ModuleDescription& module : description.modules) {
            out["modules"].push_back({{"id", module.id}, {"side", sideName(module.side)}, {"pins", module.pins}});
        }
        std::printf("%s\n", out.dump(2).c_str());
        return;
    }
    std::printf("%s: %zu modules\n", description.library.c_str(), description.modules.size());
    if (description.audioScale != 1.0) {
        std::printf("audio pins stand for %g times their sample value; defaults follow '='\n", description.audioScale);
    }
    for (const ModuleDescription& module : description.modules) {
        std::printf("\n%s (%s)\n", module.id.c_str(), sideName(module.side));
        bool firstAudioInput = module.side == Side::Dsp;
        for (const PinDescription& pin : module.pins) {
            const bool takesTheSignal =
                firstAudioInput && pin.datatype == lum::kDatatypeAudio && pin.direction == lum::kDirectionIn;
            if (takesTheSignal) firstAudioInput = false;
            std::printf("%s\n", pinLine(pin, description.audioScale, takesTheSignal).c_str());
        }
    }
}

}  // namespace

std::string pinLine(const PinDescription& pin, double audioScale, bool takesTheSignal) {
    char columns[32];
    std::snprintf(columns, sizeof columns, "  %3d  %-3s  %-5s  ", pin.index,
                  pin.direction == lum::kDirectionIn ? "in" : "out", datatypeName(pin.datatype));
    return columns + pin.name + describeValues(pin, audioScale, takesTheSignal);
}

void addListCommand(CLI::App& app) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* command = app.add_subcommand("list", "every module of a library, its side and its pins");
    addLibraryArgument(*command, options->libraryPath)->required();
    command->add_flag("--json", options->json, "machine-readable output");
    command->callback([options] { list(*options); });
}

}  // namespace lumhost
