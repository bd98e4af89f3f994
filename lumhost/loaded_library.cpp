#include <filesystem>

#include "commands.h"
#include "host/dsp_run.h"

namespace lumhost {
namespace {

ModuleLibrary loadLibrary(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) throw UsageError("no such library file: " + path);
    if (!std::filesystem::is_regular_file(status)) throw UsageError(path + " is not a regular file");
    try {
        return ModuleLibrary(path);
    } catch (const std::runtime_error& failure) {
        throw UsageError(failure.what());
    }
}

LibraryDescription loadDescription(const std::string& libraryPath) {
    try {
        return readLibraryDescription(descriptionPath(libraryPath));
    } catch (const std::runtime_error& failure) {
        throw UsageError(failure.what());
    }
}

}  // namespace

LoadedLibrary::LoadedLibrary(const std::string& path)
    : library(loadLibrary(path)), description(loadDescription(path)) {}

const ModuleDescription& LoadedLibrary::module(const std::string& id) const {
    const ModuleDescription* found = description.findModule(id);
    if (found == nullptr) throw UsageError(library.path() + " has no module '" + id + "'");
    return *found;
}

}  // namespace lumhost
