#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/user_error.h"
#include "output_file.h"
#include "windows_text.h"
#include "write_all.h"

namespace lumhost {
namespace {

// While marked, the file goes when its last handle closes, however the process ends: a
// killed run leaves nothing, as an unnamed file does elsewhere.
bool markForDeletion(HANDLE file, bool deleted) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

HANDLE handleOf(int descriptor) { return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)); }

}  // namespace

void OutputFile::createTemporary(const std::string& folder) {
    const std::string prefix = folder + "\\.lumhost-" + std::to_string(GetCurrentProcessId()) + "-";
    for (int attempt = 0;; ++attempt) {
        temporary_ = prefix + std::to_string(attempt);
        // Shared for writing, so a program lumhost runs can write through an inherited handle.
        const HANDLE file = CreateFileW(widened(temporary_).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if ((error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) && attempt < 100) continue;
            throw UserError("cannot write " + path_ + ": " + windowsErrorText(error));
        }
        if (!markForDeletion(file, true)) {
            const DWORD error = GetLastError();
            CloseHandle(file);
            DeleteFileW(widened(temporary_).c_str());
            throw UserError("cannot write " + path_ + ": " + windowsErrorText(error));
        }
        descriptor_ = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
        return;
    }
}

OutputFile::~OutputFile() {
    if (descriptor_ >= 0) _close(descriptor_);
}

void OutputFile::commit() {
    if (isStandardOutput()) {
        // Bytes as written: a text-mode stream would turn every LF into CR LF.
        std::fflush(stdout);
        _setmode(_fileno(stdout), _O_BINARY);
        char chunk[65536];
        int read = 0;
        _lseeki64(descriptor_, 0, SEEK_SET);
        while ((read = _read(descriptor_, chunk, sizeof chunk)) > 0) {
            if (!writeAll(_fileno(stdout), chunk, static_cast<std::size_t>(read))) {
                throw UserError(std::string("cannot write standard output: ") + std::strerror(errno));
            }
        }
        if (read < 0) throw UserError(std::string("cannot write standard output: ") + std::strerror(errno));
    } else {
        placeAtTarget();
    }
    committed_ = true;
}

// Only the move decides whether a file that appeared meanwhile is replaced: a check before
// it would leave a moment in which another run's file is lost.
void OutputFile::placeAtTarget() {
    const std::wstring temporary = widened(temporary_);
    const bool kept = markForDeletion(handleOf(descriptor_), false);
    DWORD error = kept ? ERROR_SUCCESS : GetLastError();
    _close(descriptor_);
    descriptor_ = -1;
    if (kept && MoveFileExW(temporary.c_str(), widened(target_).c_str(),
                            MOVEFILE_WRITE_THROUGH | (replaceExisting_ ? MOVEFILE_REPLACE_EXISTING : 0)) != 0) {
        return;
    }
    if (kept) error = GetLastError();
    DeleteFileW(temporary.c_str());
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        throw UserError(path_ + " exists (--force replaces it)");
    }
    throw UserError("cannot write " + path_ + ": " + windowsErrorText(error));
}

}  // namespace lumhost
