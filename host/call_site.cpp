#include "call_site.h"

#if !defined(_WIN32)
#include <cxxabi.h>
#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#else
#include <windows.h>

#include <cstdint>
#include <cstdio>
#endif

namespace lumhost {

#if !defined(_WIN32)
namespace {

// Frames past these say little more.
constexpr std::size_t kMaxShownFrames = 12;

struct FunctionName {
    std::string name;
    std::uintptr_t start = 0;  // in the library's own addresses
};

// The function of a library's symbol table (the module libraries export one symbol only,
// so dladdr names almost nothing) that holds `offset`; empty in a stripped library.
FunctionName functionAt(const std::string& path, std::uintptr_t offset) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto within = [&](std::uint64_t at, std::uint64_t size) {
        return at <= bytes.size() && size <= bytes.size() - at;
    };
    ElfW(Ehdr) header;
    if (!within(0, sizeof header)) return {};
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_shentsize != sizeof(ElfW(Shdr)) ||
        !within(header.e_shoff, std::uint64_t{header.e_shnum} * sizeof(ElfW(Shdr)))) {
        return {};
    }
    const auto section = [&](std::size_t index) {
        ElfW(Shdr) found;
        std::memcpy(&found, bytes.data() + header.e_shoff + index * sizeof found, sizeof found);
        return found;
    };
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        const ElfW(Shdr) symbols = section(i);
        if (symbols.sh_type != SHT_SYMTAB || symbols.sh_link >= header.e_shnum ||
            !within(symbols.sh_offset, symbols.sh_size)) {
            continue;
        }
        const ElfW(Shdr) names = section(symbols.sh_link);
        if (!within(names.sh_offset, names.sh_size)) continue;
        for (std::uint64_t at = 0; at + sizeof(ElfW(Sym)) <= symbols.sh_size; at += sizeof(ElfW(Sym))) {
            ElfW(Sym) symbol;
            std::memcpy(&symbol, bytes.data() + symbols.sh_offset + at, sizeof symbol);
            const bool holds = ELF64_ST_TYPE(symbol.st_info) == STT_FUNC && symbol.st_value <= offset &&
                               offset < symbol.st_value + symbol.st_size && symbol.st_name < names.sh_size;
            if (!holds) continue;
            const char* name = bytes.data() + names.sh_offset + symbol.st_name;
            return {std::string(name, strnlen(name, names.sh_size - symbol.st_name)), symbol.st_value};
        }
    }
    return {};
}

std::string demangled(const std::string& name) {
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), &std::free);
    return status == 0 && readable ? readable.get() : name;
}

std::string baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

std::string hex(std::uintptr_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

// `frame`, a return address, as its function and library.
std::string describe(void* frame, const Dl_info& info, const link_map* library) {
    const auto address = reinterpret_cast<std::uintptr_t>(frame);
    const std::string file = baseName(info.dli_fname);
    // A return address may lie just past its function's end, after a call that never returns.
    const std::uintptr_t offset = address - library->l_addr;
    FunctionName function = functionAt(info.dli_fname, offset - 1);
    if (function.name.empty() && info.dli_sname != nullptr) {
        function = {info.dli_sname, reinterpret_cast<std::uintptr_t>(info.dli_saddr) - library->l_addr};
    }
    if (function.name.empty()) return file + "+" + hex(offset);
    return demangled(function.name) + "+" + hex(offset - function.start) + " (" + file + ")";
}

}  // namespace

std::vector<std::string> callSiteFrames(void* const* frames, int count) {
    Dl_info self{};
    dladdr(reinterpret_cast<void*>(&callSiteFrames), &self);
    std::vector<std::string> shown;
    // The innermost frames may be the stack walker's own (a sanitizer's, say), before the
    // program's that noted the call.
    bool noted = false;
    for (int i = 0; i < count && shown.size() < kMaxShownFrames; ++i) {
        Dl_info info{};
        link_map* library = nullptr;
        if (dladdr1(frames[i], &info, reinterpret_cast<void**>(&library), RTLD_DL_LINKMAP) == 0 || library == nullptr) {
            continue;
        }
        const bool own = info.dli_fbase == self.dli_fbase;
        if (own && !shown.empty()) break;
        noted = noted || own;
        if (noted && !own) shown.push_back(describe(frames[i], info, library));
    }
    return shown;
}
#else
// A DLL keeps no symbols a stack walk could read: each frame as its library and offset.
std::vector<std::string> callSiteFrames(void* const* frames, int count) {
    constexpr std::size_t kMaxShownFrames = 12;
    const HMODULE self = GetModuleHandleW(nullptr);
    std::vector<std::string> shown;
    bool noted = false;
    for (int i = 0; i < count && shown.size() < kMaxShownFrames; ++i) {
        HMODULE library = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                static_cast<LPCWSTR>(frames[i]), &library)) {
            continue;
        }
        const bool own = library == self;
        if (own && !shown.empty()) break;
        noted = noted || own;
        if (!noted || own) continue;
        char path[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameA(library, path, MAX_PATH);
        std::string file(path, length);
        file = file.substr(file.find_last_of("\\/") + 1);
        char offset[32];
        std::snprintf(offset, sizeof offset, "+0x%llx",
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(frames[i]) -
                                                      reinterpret_cast<std::uintptr_t>(library)));
        shown.push_back(file + offset);
    }
    return shown;
}
#endif

}  // namespace lumhost
