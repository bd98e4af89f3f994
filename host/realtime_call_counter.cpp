#include "realtime_call_counter.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

// Seen by the libraries lumhost loads, whatever the build's default visibility.
#define LUM_INTERPOSED __attribute__((visibility("default")))

namespace {

std::atomic<long> locks{0};
std::atomic<long> blockingCalls{0};

// The next definition of `name`, found once and kept in a constant-initialised pointer:
// a static with a guard may take a lock, which would call back in here.
template <typename Function>
Function* next(Function*& found, const char* name) {
    if (found == nullptr) found = reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
    return found;
}

#define LUM_COUNTED(counter, result, name, parameters, arguments, ...) \
    extern "C" LUM_INTERPOSED result name parameters __VA_ARGS__ {     \
        static result(*found) parameters = nullptr;                    \
        counter.fetch_add(1, std::memory_order_relaxed);               \
        return next(found, #name) arguments;                           \
    }

}  // namespace

LUM_COUNTED(locks, int, pthread_mutex_lock, (pthread_mutex_t * mutex), (mutex), noexcept)
LUM_COUNTED(locks, int, pthread_rwlock_rdlock, (pthread_rwlock_t * lock), (lock), noexcept)
LUM_COUNTED(locks, int, pthread_rwlock_wrlock, (pthread_rwlock_t * lock), (lock), noexcept)
LUM_COUNTED(blockingCalls, FILE*, fopen, (const char* path, const char* mode), (path, mode))
LUM_COUNTED(blockingCalls, FILE*, fopen64, (const char* path, const char* mode), (path, mode))
LUM_COUNTED(blockingCalls, ssize_t, read, (int fd, void* bytes, size_t size), (fd, bytes, size))
LUM_COUNTED(blockingCalls, ssize_t, write, (int fd, const void* bytes, size_t size), (fd, bytes, size))
LUM_COUNTED(blockingCalls, int, nanosleep, (const timespec* duration, timespec* left), (duration, left))
LUM_COUNTED(blockingCalls, int, clock_nanosleep, (clockid_t clock, int flags, const timespec* t, timespec* left),
            (clock, flags, t, left))
LUM_COUNTED(blockingCalls, int, usleep, (useconds_t microseconds), (microseconds))
LUM_COUNTED(blockingCalls, int, poll, (pollfd * fds, nfds_t count, int timeout), (fds, count, timeout))
LUM_COUNTED(blockingCalls, int, connect, (int fd, const sockaddr* address, socklen_t size), (fd, address, size))
LUM_COUNTED(blockingCalls, ssize_t, send, (int fd, const void* bytes, size_t size, int flags), (fd, bytes, size, flags))
LUM_COUNTED(blockingCalls, ssize_t, recv, (int fd, void* bytes, size_t size, int flags), (fd, bytes, size, flags))

// open and openat take a mode only with O_CREAT or O_TMPFILE.
static bool takesMode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

#define LUM_MODE_ARGUMENT(flags)     \
    mode_t mode = 0;                 \
    if (takesMode(flags)) {          \
        va_list rest;                \
        va_start(rest, flags);       \
        mode = va_arg(rest, mode_t); \
        va_end(rest);                \
    }

extern "C" LUM_INTERPOSED int open(const char* path, int flags, ...) {
    static int (*found)(const char*, int, ...) = nullptr;
    blockingCalls.fetch_add(1, std::memory_order_relaxed);
    LUM_MODE_ARGUMENT(flags)
    return next(found, "open")(path, flags, mode);
}

extern "C" LUM_INTERPOSED int open64(const char* path, int flags, ...) {
    static int (*found)(const char*, int, ...) = nullptr;
    blockingCalls.fetch_add(1, std::memory_order_relaxed);
    LUM_MODE_ARGUMENT(flags)
    return next(found, "open64")(path, flags, mode);
}

extern "C" LUM_INTERPOSED int openat(int directory, const char* path, int flags, ...) {
    static int (*found)(int, const char*, int, ...) = nullptr;
    blockingCalls.fetch_add(1, std::memory_order_relaxed);
    LUM_MODE_ARGUMENT(flags)
    return next(found, "openat")(directory, path, flags, mode);
}
#endif

namespace lumhost {

bool realtimeCallsVisible() {
#if defined(_WIN32)
    return false;
#else
    return true;
#endif
}

RealtimeCalls realtimeCallCount() {
#if defined(_WIN32)
    return {};
#else
    return {locks.load(std::memory_order_relaxed), blockingCalls.load(std::memory_order_relaxed)};
#endif
}

}  // namespace lumhost
