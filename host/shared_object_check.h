// dlopen trusts the file it maps: a truncated shared object ends the program with a bus
// error instead of an error message. This reads the headers first, and what a library
// exports.
#pragma once

#include <string>
#include <vector>

namespace lumhost {

// Throws std::runtime_error ("cannot load PATH: why") unless `path` is an ELF shared
// object for this machine whose headers, segments and sections all lie within the file.
void checkSharedObject(const std::string& path);

// The names of the functions and objects the shared object at `path` exports, from its
// dynamic symbol table; throws as checkSharedObject does.
std::vector<std::string> exportedSymbols(const std::string& path);

}  // namespace lumhost
