#include "external_program.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "host/file_path.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace lumhost {
namespace {

#if defined(_WIN32)
constexpr char kPathSeparator = ';';
const char* const kProgramSuffixes[] = {".exe", ""};
#else
constexpr char kPathSeparator = ':';
const char* const kProgramSuffixes[] = {""};
#endif

bool isProgram(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
#if defined(_WIN32)
    return true;
#else
    return access(path.c_str(), X_OK) == 0;
#endif
}

}  // namespace

std::string programOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, kPathSeparator);) {
        if (folder.empty()) continue;  // the current folder is no place to find programs in
        for (const char* suffix : kProgramSuffixes) {
            const std::filesystem::path candidate = filePath(folder) / filePath(name + suffix);
            if (isProgram(candidate)) return fileName(candidate);
        }
    }
    return {};
}

std::string lastLine(const std::string& text) {
    std::istringstream lines(text);
    std::string last;
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
        if (!line.empty()) last = line;
    }
    return last;
}

}  // namespace lumhost
