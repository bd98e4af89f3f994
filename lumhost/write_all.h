// Writing a whole buffer to a file descriptor, as a pipe or a slow device may take it in
// parts.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace lumhost {

// Writes all `size` bytes, retrying what a signal interrupts. False when the descriptor
// refuses (a closed pipe, a full disk); errno says why.
inline bool writeAll(int descriptor, const char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t written = write(descriptor, data + done, size - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace lumhost
