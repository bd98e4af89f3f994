#include "output_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host/file_path.h"
#include "host/user_error.h"
#include "write_all.h"

namespace lumhost {
namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr const char* kFolderSeparators = "/\\";
#else
constexpr const char* kFolderSeparators = "/";
#endif

// The file a path ends in, following symbolic links even when the last one dangles.
fs::path followLinks(const std::string& path) {
    fs::path current = fs::absolute(filePath(path));
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) return fs::weakly_canonical(current);
        const fs::path link = fs::read_symlink(current, error);
        if (error) throw UserError("cannot write " + path + ": " + error.message());
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    throw UserError("cannot write " + path + ": too many levels of symbolic links");
}

}  // namespace

OutputFile::OutputFile(const std::string& path, bool replaceExisting, const std::vector<std::string>& inputs)
    : path_(path), replaceExisting_(replaceExisting) {
    if (path.empty()) throw UserError("an output file name is empty");
    if (isStandardOutput()) {
        target_ = "-";
        createTemporary(fileName(fs::temp_directory_path()));
        return;
    }
    // The system follows every link, /dev/stdout's pipe included, to what would be written.
    std::error_code error;
    const fs::file_status status = fs::status(filePath(path), error);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        throw UserError("cannot write " + path + ": not a regular file (- is standard output)");
    }
    const fs::path target = followLinks(path);
    target_ = fileName(target);
    for (const std::string& input : inputs) {
        if (fs::equivalent(filePath(input), target, error))
            throw UserError("will not write " + path + " over the input");
    }
    if (fs::exists(status)) {
        if (!replaceExisting) throw UserError(path + " exists (--force replaces it)");
    } else if (!fs::is_directory(target.parent_path(), error)) {
        throw UserError("cannot write " + path + ": no such folder");
    }
    createTemporary(fileName(target.parent_path()));
}

void OutputFile::write(const std::string& content) const {
    if (!writeAll(descriptor_, content.data(), content.size())) {
        throw UserError("cannot write " + path_ + ": " + std::strerror(errno));
    }
}

std::string lowerCaseExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find_first_of(kFolderSeparators, dot) != std::string::npos) return {};
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

void refuseSharedTargets(const std::vector<const OutputFile*>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (outputs[i]->sameTarget(*outputs[j])) {
                throw UserError("two outputs name one file: " + outputs[j]->path() + " and " + outputs[i]->path());
            }
        }
    }
}

}  // namespace lumhost
