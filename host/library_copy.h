// A private copy of a library's file, so that loading it loads the library afresh even in
// a process that has the library itself loaded.
#pragma once

#include <string>

namespace lumhost {

class LibraryCopy {
public:
    // Throws std::runtime_error when the file cannot be read or the copy made.
    explicit LibraryCopy(const std::string& path);
    LibraryCopy(const LibraryCopy&) = delete;
    LibraryCopy& operator=(const LibraryCopy&) = delete;
    // Removes the copy; on Linux it lives in memory only and goes with the process anyway.
    ~LibraryCopy();

    // What to load.
    const std::string& path() const { return path_; }
    // Whether the copy is loaded in this process.
    bool loaded() const;

private:
    std::string path_;
#if !defined(_WIN32)
    int fd_ = -1;
#endif
};

}  // namespace lumhost
