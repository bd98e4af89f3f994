#include "output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

// The permissions a newly created file gets, or those of the file being replaced.
mode_t modeFor(const fs::path& target) {
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void OutputFile::createTemporary(const std::string& folder) {
    removeTemporariesOnSignals();
    const mode_t mode = isStandardOutput() ? 0600 : modeFor(target_);
    // An unnamed file where the system has them: a run killed by any signal leaves nothing.
    if (access("/proc/self/fd", X_OK) == 0) {
        descriptor_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (descriptor_ >= 0) temporary_ = "/proc/self/fd/" + std::to_string(descriptor_);
    }
    if (descriptor_ < 0) {
        std::string pattern = folder + "/.lumhost-XXXXXX";
        descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
        if (descriptor_ < 0) throw UserError("cannot write " + path_ + ": " + std::strerror(errno));
        temporary_ = pattern;
        named_ = true;
        track(temporary_);
    }
    fchmod(descriptor_, mode);
}

OutputFile::~OutputFile() {
    if (descriptor_ >= 0) close(descriptor_);
    if (named_ && !committed_) {
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
    } else {
        placeAtTarget();
    }
    if (named_) {
        if (isStandardOutput()) unlink(temporary_.c_str());
        untrack(temporary_);
    }
    committed_ = true;
}

// Only the final step decides whether a file that appeared meanwhile is replaced: a check
// before it would leave a moment in which another run's file is lost.
void OutputFile::placeAtTarget() {
    const auto fail = [this] {
        if (errno == EEXIST) throw UserError(path_ + " exists (--force replaces it)");
        throw UserError("cannot write " + path_ + ": " + std::strerror(errno));
    };
    if (named_) {
        const unsigned flags = replaceExisting_ ? 0 : RENAME_NOREPLACE;
        if (renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), flags) != 0) fail();
        return;
    }
    if (!replaceExisting_) {
        if (linkat(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) != 0) fail();
        return;
    }
    // A file can only be given a name that is free: a named one beside the target first,
    // which then replaces the target in one step.
    const std::string folder = fs::path(target_).parent_path().string();
    for (int attempt = 0;; ++attempt) {
        std::string beside = folder + "/.lumhost-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (linkat(AT_FDCWD, temporary_.c_str(), AT_FDCWD, beside.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            track(beside);
            const bool renamed = std::rename(beside.c_str(), target_.c_str()) == 0;
            const int error = errno;
            if (!renamed) unlink(beside.c_str());
            untrack(beside);
            errno = error;
            if (!renamed) fail();
            return;
        }
        if (errno != EEXIST || attempt == 100) fail();
    }
}

}  // namespace lumhost
