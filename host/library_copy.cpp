#include "library_copy.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "file_path.h"

#if defined(_WIN32)
#include <windows.h>

#include <atomic>
#include <filesystem>
#else
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#endif

namespace lumhost {
namespace {

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

}  // namespace

#if defined(_WIN32)

LibraryCopy::LibraryCopy(const std::string& path) {
    static std::atomic<unsigned> copies{0};
    path_ = fileName(std::filesystem::temp_directory_path() /
                     ("lumhost-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++copies) + ".lum"));
    const std::string bytes = contents(path);
    std::ofstream copy(path_, std::ios::binary | std::ios::trunc);
    copy.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!copy.flush()) throw std::runtime_error("cannot copy " + path + " to " + path_);
}

LibraryCopy::~LibraryCopy() {
    std::error_code ignored;
    std::filesystem::remove(filePath(path_), ignored);
}

bool LibraryCopy::loaded() const { return GetModuleHandleA(path_.c_str()) != nullptr; }

#else

// A memory file: nothing is left on disk when a validating child dies.
LibraryCopy::LibraryCopy(const std::string& path) : fd_(memfd_create("lumhost-library-copy", MFD_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("cannot copy " + path + ": " + std::strerror(errno));
    const std::string bytes = contents(path);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd_);
            throw std::runtime_error("cannot copy " + path + ": " + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

LibraryCopy::~LibraryCopy() { close(fd_); }

// Whether some mapping of this process is of the copy's file.
bool LibraryCopy::loaded() const {
    struct stat file {};
    if (fstat(fd_, &file) != 0) return false;
    char device[32];
    std::snprintf(device, sizeof device, "%02x:%02x", major(file.st_dev), minor(file.st_dev));
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, permissions, offset, mappedDevice;
        unsigned long long inode = 0;
        fields >> range >> permissions >> offset >> mappedDevice >> inode;
        if (inode == file.st_ino && mappedDevice == device) return true;
    }
    return false;
}

#endif

}  // namespace lumhost
