#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "commands.h"
#include "host/file_path.h"
#include "host/user_error.h"

namespace lumhost {
namespace {

ModuleLibrary loadLibrary(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(filePath(path), error);
    if (!std::filesystem::exists(status)) throw UserError("no such library file: " + path);
    if (!std::filesystem::is_regular_file(status)) throw UserError(path + " is not a regular file");
    try {
        return ModuleLibrary(path);
    } catch (const std::runtime_error& failure) {
        throw UserError(failure.what());
    }
}

LibraryDescription loadDescription(const std::string& libraryPath) {
    try {
        return readLibraryDescription(descriptionPath(libraryPath));
    } catch (const std::runtime_error& failure) {
        throw UserError(failure.what());
    }
}

#if defined(_WIN32)
constexpr char kPathSeparator = ';';
#else
constexpr char kPathSeparator = ':';
#endif

// The current folder, LUM_PATH's folders, then beside lumhost (its build's lib/, an
// installation's lib/lum/, wherever the installation was moved).
std::vector<std::filesystem::path> libraryFolders() {
    std::vector<std::filesystem::path> folders{"."};
    if (const char* lumPath = std::getenv("LUM_PATH")) {
        std::string list = lumPath;
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t end = std::min(list.find(kPathSeparator, start), list.size());
            if (end > start) folders.push_back(filePath(list.substr(start, end - start)));
            start = end + 1;
        }
    }
    folders.push_back(libraryDirectory());
    folders.push_back(libraryDirectory() / "lum");
    return folders;
}

bool isFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string findLibrary(const std::string& name) {
    const std::filesystem::path given = filePath(name);
    if (given.has_parent_path() || std::filesystem::exists(given)) return name;
    for (const std::filesystem::path& folder : libraryFolders()) {
        for (const std::string& file : {name, name + ".lum"}) {
            const std::filesystem::path candidate = folder / filePath(file);
            if (isFile(candidate)) return folder == "." ? file : fileName(candidate);
        }
    }
    return name;
}

std::vector<std::string> libraryFiles(const std::string& path) { return {path, descriptionPath(path)}; }

LoadedLibrary::LoadedLibrary(const std::string& path)
    : library(loadLibrary(path)), description(loadDescription(path)) {}

const ModuleDescription& LoadedLibrary::module(const std::string& id) const {
    const ModuleDescription* found = description.findModule(id);
    if (found == nullptr) throw UserError(library.path() + " has no module '" + id + "'");
    return *found;
}

CLI::Option* addLibraryArgument(CLI::App& command, std::string& path) {
    return command
        .add_option("library", path,
                    "the module library: a path, or a name (KEL_MATH) found in LUM_PATH, beside lumhost or where it is "
                    "installed")
        ->transform(findLibrary);
}

}  // namespace lumhost
