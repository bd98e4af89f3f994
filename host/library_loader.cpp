#include "library_loader.h"

#include "file_path.h"
#include "instances.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

#include "shared_object_check.h"
#endif

namespace lumhost {

std::filesystem::path libraryDirectory() {
#if defined(_WIN32)
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path() / ".." / "lib";
#else
    return std::filesystem::canonical("/proc/self/exe").parent_path() / ".." / "lib";
#endif
}

namespace {

#if defined(_WIN32)
void* openLibrary(const std::string& path) { return LoadLibraryA(path.c_str()); }
void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
std::string lastError() { return "error " + std::to_string(GetLastError()); }
#else
void* openLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void closeLibrary(void* handle) { dlclose(handle); }
std::string lastError() {
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}
#endif

}  // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) : path_(path) {
#if !defined(_WIN32)
    checkSharedObject(path);
#endif
    // A bare name would send the loader to the system's search path instead of this file.
    handle_ = openLibrary(fileName(std::filesystem::absolute(filePath(path))));
    if (handle_ == nullptr) throw std::runtime_error("cannot load " + path + ": " + lastError());
    getFactory_ = reinterpret_cast<lum::GetFactoryFunction>(findSymbol(handle_, "MP_GetFactory"));
    factory_ = factoryFrom(getFactory_);
    if (factory_ == nullptr) {
        closeLibrary(handle_);
        throw std::runtime_error(path + " has no working MP_GetFactory");
    }
}

ModuleLibrary::~ModuleLibrary() { closeLibrary(handle_); }

#if defined(_WIN32)
// The export directory of the mapped DLL, whose addresses are relative to its base.
std::vector<std::string> ModuleLibrary::exports() const {
    const auto* base = static_cast<const unsigned char*>(handle_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (entry.VirtualAddress == 0) return names;
    const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* nameAddresses = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
        names.emplace_back(reinterpret_cast<const char*>(base + nameAddresses[i]));
    }
    return names;
}
#else
std::vector<std::string> ModuleLibrary::exports() const { return exportedSymbols(path_); }
#endif

}  // namespace lumhost
