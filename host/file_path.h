// File names as lumhost holds them: UTF-8, as POSIX systems give them and as lumhost.exe
// gets them (its manifest makes UTF-8 its code page). Under Windows std::filesystem would
// read a narrow name in the C library's locale instead; these convert in UTF-8 everywhere.
#pragma once

#include <filesystem>
#include <string>

namespace lumhost {

inline std::filesystem::path filePath(const std::string& name) { return std::filesystem::u8path(name); }
inline std::string fileName(const std::filesystem::path& path) { return path.u8string(); }

}  // namespace lumhost
