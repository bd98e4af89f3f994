#include "shared_object_check.h"

#include <link.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace lumhost {
namespace {

class ElfFile {
public:
    explicit ElfFile(const std::string& path) : path_(path), file_(path, std::ios::binary | std::ios::ate) {
        size_ = file_ ? static_cast<std::uint64_t>(file_.tellg()) : 0;
    }

    std::uint64_t size() const { return size_; }
    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    template <class T>
    T read(std::uint64_t offset) {
        T value{};
        if (!contains(offset, sizeof value)) fail("cut short at " + std::to_string(size_) + " bytes");
        file_.seekg(static_cast<std::streamoff>(offset));
        file_.read(reinterpret_cast<char*>(&value), sizeof value);
        if (!file_) fail("unreadable");
        return value;
    }
    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error("cannot load " + path_ + ": " + why);
    }

private:
    std::string path_;
    std::ifstream file_;
    std::uint64_t size_ = 0;
};

ElfW(Ehdr) runningProgramHeader() {
    ElfFile self("/proc/self/exe");
    return self.read<ElfW(Ehdr)>(0);
}

}  // namespace

void checkSharedObject(const std::string& path) {
    ElfFile file(path);
    if (file.size() < EI_NIDENT) file.fail("not a shared object");
    const auto header = file.read<ElfW(Ehdr)>(0);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_type != ET_DYN) {
        file.fail("not a shared object");
    }
    const auto own = runningProgramHeader();
    if (header.e_ident[EI_CLASS] != own.e_ident[EI_CLASS] || header.e_ident[EI_DATA] != own.e_ident[EI_DATA] ||
        header.e_machine != own.e_machine) {
        file.fail("built for another machine");
    }
    const std::string cutShort = "cut short at " + std::to_string(file.size()) + " bytes";
    if (header.e_phentsize != sizeof(ElfW(Phdr)) ||
        !file.contains(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr)))) {
        file.fail(cutShort);
    }
    for (ElfW(Half) i = 0; i < header.e_phnum; ++i) {
        const auto segment = file.read<ElfW(Phdr)>(header.e_phoff + std::uint64_t{i} * sizeof(ElfW(Phdr)));
        if (!file.contains(segment.p_offset, segment.p_filesz)) file.fail(cutShort);
    }
    if (header.e_shnum == 0) return;
    if (header.e_shentsize != sizeof(ElfW(Shdr)) ||
        !file.contains(header.e_shoff, std::uint64_t{header.e_shnum} * sizeof(ElfW(Shdr)))) {
        file.fail(cutShort);
    }
    for (ElfW(Half) i = 0; i < header.e_shnum; ++i) {
        const auto section = file.read<ElfW(Shdr)>(header.e_shoff + std::uint64_t{i} * sizeof(ElfW(Shdr)));
        if (section.sh_type != SHT_NOBITS && !file.contains(section.sh_offset, section.sh_size)) file.fail(cutShort);
    }
}

std::vector<std::string> exportedSymbols(const std::string& path) {
    checkSharedObject(path);
    ElfFile file(path);
    const auto header = file.read<ElfW(Ehdr)>(0);
    const auto sectionAt = [&](std::uint64_t i) {
        return file.read<ElfW(Shdr)>(header.e_shoff + i * sizeof(ElfW(Shdr)));
    };
    std::vector<std::string> names;
    for (ElfW(Half) i = 0; i < header.e_shnum; ++i) {
        const auto symbols = sectionAt(i);
        if (symbols.sh_type != SHT_DYNSYM || symbols.sh_link >= header.e_shnum) continue;
        const auto strings = sectionAt(symbols.sh_link);
        for (std::uint64_t at = 0; at + sizeof(ElfW(Sym)) <= symbols.sh_size; at += sizeof(ElfW(Sym))) {
            const auto symbol = file.read<ElfW(Sym)>(symbols.sh_offset + at);
            const unsigned binding = ELF64_ST_BIND(symbol.st_info);
            const unsigned type = ELF64_ST_TYPE(symbol.st_info);
            const bool exported = symbol.st_shndx != SHN_UNDEF && (binding == STB_GLOBAL || binding == STB_WEAK) &&
                                  ELF64_ST_VISIBILITY(symbol.st_other) != STV_HIDDEN &&
                                  (type == STT_FUNC || type == STT_OBJECT || type == STT_GNU_IFUNC);
            if (!exported) continue;
            std::string name;
            for (std::uint64_t c = symbol.st_name; c < strings.sh_size; ++c) {
                const char next = file.read<char>(strings.sh_offset + c);
                if (next == '\0') break;
                name += next;
            }
            names.push_back(name);
        }
    }
    return names;
}

}  // namespace lumhost
