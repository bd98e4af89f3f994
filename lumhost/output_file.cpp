#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host/user_error.h"
#include "ignored_broken_pipe.h"
#include "write_all.h"

namespace lumhost {
namespace {

namespace fs = std::filesystem;

// Temporary files a signal must remove; written only through atomics, so the handler may read them.
std::atomic<char*> pendingTemporaries[16];

extern "C" void removeTemporariesAndStop(int signal) {
    for (std::atomic<char*>& slot : pendingTemporaries) {
        if (char* path = slot.load()) unlink(path);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void removeTemporariesOnSignals() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndStop;
        sigemptyset(&action.sa_mask);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction previous {};
            sigaction(signal, nullptr, &previous);
            // Under nohup a hang-up stays ignored.
            if (previous.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
        }
        return true;
    }();
    (void)installed;
}

void track(const std::string& path) {
    char* copy = strdup(path.c_str());
    for (std::atomic<char*>& slot : pendingTemporaries) {
        char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, copy)) return;
    }
    unlink(copy);
    std::free(copy);
    throw UserError("too many output files at once");
}

void untrack(const std::string& path) {
    for (std::atomic<char*>& slot : pendingTemporaries) {
        char* tracked = slot.load();
        if (tracked != nullptr && path == tracked && slot.compare_exchange_strong(tracked, nullptr)) {
            std::free(tracked);
            return;
        }
    }
}

// The file a path ends in, following symbolic links even when the last one dangles.
fs::path followLinks(const std::string& path) {
    fs::path current = fs::absolute(path);
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) return fs::weakly_canonical(current);
        const fs::path link = fs::read_symlink(current, error);
        if (error) throw UserError("cannot write " + path + ": " + error.message());
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    throw UserError("cannot write " + path + ": too many levels of symbolic links");
}

// The permissions a newly created file gets, or those of the file being replaced.
mode_t modeFor(const fs::path& target) {
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(const std::string& path, bool replaceExisting, const std::vector<std::string>& inputs)
    : path_(path) {
    if (path.empty()) throw UserError("an output file name is empty");
    removeTemporariesOnSignals();
    fs::path folder;
    if (isStandardOutput()) {
        target_ = "-";
        folder = fs::temp_directory_path();
    } else {
        // The kernel follows every link, /dev/stdout's pipe included, to what would be written.
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (fs::exists(status) && !fs::is_regular_file(status)) {
            throw UserError("cannot write " + path + ": not a regular file (- is standard output)");
        }
        const fs::path target = followLinks(path);
        target_ = target.string();
        for (const std::string& input : inputs) {
            if (fs::equivalent(input, target, error)) throw UserError("will not write " + path + " over the input");
        }
        if (fs::exists(status)) {
            if (!replaceExisting) throw UserError(path + " exists (--force replaces it)");
        } else if (!fs::is_directory(target.parent_path(), error)) {
            throw UserError("cannot write " + path + ": no such folder");
        }
        folder = target.parent_path();
    }
    std::string pattern = (folder / ".lumhost-XXXXXX").string();
    descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor_ < 0) throw UserError("cannot write " + path + ": " + std::strerror(errno));
    temporary_ = pattern;
    track(temporary_);
    if (!isStandardOutput()) fchmod(descriptor_, modeFor(target_));
}

OutputFile::~OutputFile() {
    if (descriptor_ >= 0) close(descriptor_);
    if (!committed_) {
        unlink(temporary_.c_str());
        untrack(temporary_);
    }
}

void OutputFile::commit() {
    if (isStandardOutput()) {
        const IgnoredBrokenPipe ignored;
        char chunk[65536];
        off_t offset = 0;
        ssize_t read = 0;
        while ((read = pread(descriptor_, chunk, sizeof chunk, offset)) > 0) {
            if (!writeAll(STDOUT_FILENO, chunk, static_cast<std::size_t>(read))) {
                throw UserError(std::string("cannot write standard output: ") + std::strerror(errno));
            }
            offset += read;
        }
        if (read < 0) throw UserError(std::string("cannot write standard output: ") + std::strerror(errno));
        unlink(temporary_.c_str());
    } else if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw UserError("cannot write " + path_ + ": " + std::strerror(errno));
    }
    committed_ = true;
    untrack(temporary_);
}

std::string lowerCaseExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return {};
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
