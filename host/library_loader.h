// Loads a module library and reaches its factory through the exported MP_GetFactory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "framework/interfaces.h"

namespace lumhost {

// The build's lib/ folder, beside the running program's bin/.
std::filesystem::path libraryDirectory();

class ModuleLibrary {
public:
    // Throws std::runtime_error naming the path and what failed.
    explicit ModuleLibrary(const std::string& path);
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;
    // Unloads the library: every module created from it must be released first.
    ~ModuleLibrary();

    lum::GetFactoryFunction entryPoint() const { return getFactory_; }
    lum::IMpFactory& factory() const { return *factory_; }
    const std::string& path() const { return path_; }
    // The names the library exports: ELF's dynamic symbols, or a DLL's export directory.
    std::vector<std::string> exports() const;
    // The HMODULE or dlopen handle.
    void* handle() const { return handle_; }

private:
    std::string path_;
    void* handle_ = nullptr;
    lum::GetFactoryFunction getFactory_ = nullptr;
    lum::IMpFactory* factory_ = nullptr;
};

}  // namespace lumhost
