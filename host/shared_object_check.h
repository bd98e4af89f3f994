// dlopen trusts the file it maps: a truncated shared object ends the program with a bus
// error instead of an error message. This reads the headers first.
#pragma once

#include <string>

namespace lumhost {

// Throws std::runtime_error ("cannot load PATH: why") unless `path` is an ELF shared
// object for this machine whose headers, segments and sections all lie within the file.
void checkSharedObject(const std::string& path);

}  // namespace lumhost
