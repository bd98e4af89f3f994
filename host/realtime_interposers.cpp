// The C library's functions a module must not call on the processing or user-interface
// path, defined in lumhost, which exports them: the libraries it loads call these, which
// tell noteRealtimeCall and pass on to the next definition (the C library's, or the
// sanitizer's that wraps it).
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "realtime_call_counter.h"

// Seen by the libraries lumhost loads, whatever the build's default visibility; not
// instrumented, as AddressSanitizer calls the allocator before its shadow memory is there.
#define LUM_INTERPOSED extern "C" __attribute__((visibility("default"), no_sanitize("address")))

using lumhost::noteRealtimeCall;
using lumhost::RealtimeCallKind;

namespace {

// The next definition of `name`, found once. dlsym may allocate, which the allocator's
// core below serves without dlsym; a constant-initialised atomic, as a static with a guard
// may take a lock, which would call back in here.
template <typename Function>
Function* next(std::atomic<Function*>& found, const char* name) {
    Function* function = found.load(std::memory_order_relaxed);
    if (function == nullptr) {
        function = reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
        found.store(function, std::memory_order_relaxed);
    }
    return function;
}

}  // namespace

// Every interposed function of fixed parameters: kind, result, name, parameters, arguments
// and the noexcept the C library's header declares it with, if any.
#define LUM_INTERPOSED_FUNCTIONS(X)                                                                                    \
    X(Allocation, int, posix_memalign, (void** memory, size_t alignment, size_t size), (memory, alignment, size),      \
      noexcept)                                                                                                        \
    X(Allocation, void*, aligned_alloc, (size_t alignment, size_t size), (alignment, size), noexcept)                  \
    X(Allocation, void*, reallocarray, (void* memory, size_t count, size_t size), (memory, count, size), noexcept)     \
    X(Allocation, void*, memalign, (size_t alignment, size_t size), (alignment, size), noexcept)                       \
    X(Allocation, void*, valloc, (size_t size), (size), noexcept)                                                      \
    X(Allocation, void*, pvalloc, (size_t size), (size), noexcept)                                                     \
    X(Lock, int, pthread_mutex_lock, (pthread_mutex_t * mutex), (mutex), noexcept)                                     \
    X(Lock, int, pthread_mutex_trylock, (pthread_mutex_t * mutex), (mutex), noexcept)                                  \
    X(Lock, int, pthread_mutex_timedlock, (pthread_mutex_t * mutex, const timespec* until), (mutex, until), noexcept)  \
    X(Lock, int, pthread_rwlock_rdlock, (pthread_rwlock_t * lock), (lock), noexcept)                                   \
    X(Lock, int, pthread_rwlock_wrlock, (pthread_rwlock_t * lock), (lock), noexcept)                                   \
    X(Lock, int, pthread_rwlock_tryrdlock, (pthread_rwlock_t * lock), (lock), noexcept)                                \
    X(Lock, int, pthread_rwlock_trywrlock, (pthread_rwlock_t * lock), (lock), noexcept)                                \
    X(Lock, int, pthread_cond_wait, (pthread_cond_t * condition, pthread_mutex_t * mutex), (condition, mutex), )       \
    X(Lock, int, pthread_cond_timedwait, (pthread_cond_t * condition, pthread_mutex_t * mutex, const timespec* until), \
      (condition, mutex, until), )                                                                                     \
    X(Lock, int, pthread_cond_clockwait,                                                                               \
      (pthread_cond_t * condition, pthread_mutex_t * mutex, clockid_t clock, const timespec* until),                   \
      (condition, mutex, clock, until), )                                                                              \
    X(Lock, int, sem_wait, (sem_t * semaphore), (semaphore), )                                                         \
    X(Lock, int, sem_timedwait, (sem_t * semaphore, const timespec* until), (semaphore, until), )                      \
    X(Lock, int, sem_clockwait, (sem_t * semaphore, clockid_t clock, const timespec* until),                           \
      (semaphore, clock, until), )                                                                                     \
    X(Lock, int, sem_trywait, (sem_t * semaphore), (semaphore), noexcept)                                              \
    X(BlockingCall, FILE*, fopen, (const char* path, const char* mode), (path, mode), )                                \
    X(BlockingCall, FILE*, fopen64, (const char* path, const char* mode), (path, mode), )                              \
    X(BlockingCall, int, fclose, (FILE * file), (file), )                                                              \
    X(BlockingCall, int, fflush, (FILE * file), (file), )                                                              \
    X(BlockingCall, size_t, fwrite, (const void* bytes, size_t size, size_t count, FILE* file),                        \
      (bytes, size, count, file), )                                                                                    \
    X(BlockingCall, size_t, fread, (void* bytes, size_t size, size_t count, FILE* file), (bytes, size, count, file), ) \
    X(BlockingCall, int, fputs, (const char* text, FILE* file), (text, file), )                                        \
    X(BlockingCall, int, puts, (const char* text), (text), )                                                           \
    X(BlockingCall, int, fputc, (int c, FILE* file), (c, file), )                                                      \
    X(BlockingCall, int, putc, (int c, FILE* file), (c, file), )                                                       \
    X(BlockingCall, int, putchar, (int c), (c), )                                                                      \
    X(BlockingCall, char*, fgets, (char* line, int size, FILE* file), (line, size, file), )                            \
    X(BlockingCall, int, fgetc, (FILE * file), (file), )                                                               \
    X(BlockingCall, int, vprintf, (const char* format, va_list arguments), (format, arguments), )                      \
    X(BlockingCall, int, vfprintf, (FILE * file, const char* format, va_list arguments), (file, format, arguments), )  \
    X(BlockingCall, ssize_t, read, (int fd, void* bytes, size_t size), (fd, bytes, size), )                            \
    X(BlockingCall, ssize_t, write, (int fd, const void* bytes, size_t size), (fd, bytes, size), )                     \
    X(BlockingCall, int, nanosleep, (const timespec* duration, timespec* left), (duration, left), )                    \
    X(BlockingCall, int, clock_nanosleep, (clockid_t clock, int flags, const timespec* t, timespec* left),             \
      (clock, flags, t, left), )                                                                                       \
    X(BlockingCall, int, usleep, (useconds_t microseconds), (microseconds), )                                          \
    X(BlockingCall, int, sched_yield, (), (), noexcept)                                                                \
    X(BlockingCall, int, poll, (pollfd * fds, nfds_t count, int timeout), (fds, count, timeout), )                     \
    X(BlockingCall, int, ppoll, (pollfd * fds, nfds_t count, const timespec* timeout, const sigset_t* mask),           \
      (fds, count, timeout, mask), )                                                                                   \
    X(BlockingCall, int, select, (int count, fd_set* in, fd_set* out, fd_set* error, timeval* timeout),                \
      (count, in, out, error, timeout), )                                                                              \
    X(BlockingCall, int, epoll_wait, (int fd, epoll_event* events, int size, int timeout),                             \
      (fd, events, size, timeout), )                                                                                   \
    X(BlockingCall, int, epoll_pwait, (int fd, epoll_event* events, int size, int timeout, const sigset_t* mask),      \
      (fd, events, size, timeout, mask), )                                                                             \
    X(BlockingCall, int, connect, (int fd, const sockaddr* address, socklen_t size), (fd, address, size), )            \
    X(BlockingCall, ssize_t, send, (int fd, const void* bytes, size_t size, int flags), (fd, bytes, size, flags), )    \
    X(BlockingCall, ssize_t, recv, (int fd, void* bytes, size_t size, int flags), (fd, bytes, size, flags), )          \
    X(ThreadCall, int, pthread_create,                                                                                 \
      (pthread_t * thread, const pthread_attr_t* attributes, void* (*start)(void*), void* argument),                   \
      (thread, attributes, start, argument), noexcept)                                                                 \
    X(ThreadCall, int, pthread_join, (pthread_t thread, void** result), (thread, result), )

#define LUM_PASS_ON(kind, result, name, parameters, arguments, exceptions) \
    LUM_INTERPOSED result name parameters exceptions {                     \
        static std::atomic<result(*) parameters> found{nullptr};           \
        noteRealtimeCall(RealtimeCallKind::kind, #name);                   \
        return next(found, #name) arguments;                               \
    }
LUM_INTERPOSED_FUNCTIONS(LUM_PASS_ON)

// The allocator's core, which dlsym itself calls: passed on by name, not found with dlsym.
// AddressSanitizer's runtime defines these weakly and keeps its own under these names.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUM_ADDRESS_SANITIZER 1  // clang's name for it
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(LUM_ADDRESS_SANITIZER)
#define LUM_NEXT_ALLOCATOR(name) __interceptor_##name
// The watch's first backtrace has glibc load the unwinder for good; the loader keeps that
// library's dependency list where LeakSanitizer does not look, and it would fail every run
// in lumhost's own process at exit. Quietly: it is not the modules'.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:_dl_map_object_deps\n";
}
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#else
#define LUM_NEXT_ALLOCATOR(name) __libc_##name
#endif
extern "C" void* LUM_NEXT_ALLOCATOR(malloc)(size_t size);
extern "C" void* LUM_NEXT_ALLOCATOR(calloc)(size_t count, size_t size);
extern "C" void* LUM_NEXT_ALLOCATOR(realloc)(void* memory, size_t size);
extern "C" void LUM_NEXT_ALLOCATOR(free)(void* memory);

LUM_INTERPOSED void* malloc(size_t size) noexcept {
    noteRealtimeCall(RealtimeCallKind::Allocation, "malloc");
    return LUM_NEXT_ALLOCATOR(malloc)(size);
}

LUM_INTERPOSED void* calloc(size_t count, size_t size) noexcept {
    noteRealtimeCall(RealtimeCallKind::Allocation, "calloc");
    return LUM_NEXT_ALLOCATOR(calloc)(count, size);
}

LUM_INTERPOSED void* realloc(void* memory, size_t size) noexcept {
    noteRealtimeCall(RealtimeCallKind::Allocation, "realloc");
    return LUM_NEXT_ALLOCATOR(realloc)(memory, size);
}

// Freeing nothing is free.
LUM_INTERPOSED void free(void* memory) noexcept {
    if (memory != nullptr) noteRealtimeCall(RealtimeCallKind::Allocation, "free");
    LUM_NEXT_ALLOCATOR(free)(memory);
}

// The variadic ones pass on to the next vfprintf.
#define LUM_PASS_ON_PRINTF(name, parameters, file)                               \
    LUM_INTERPOSED int name parameters {                                         \
        static std::atomic<int (*)(FILE*, const char*, va_list)> found{nullptr}; \
        noteRealtimeCall(RealtimeCallKind::BlockingCall, #name);                 \
        va_list arguments;                                                       \
        va_start(arguments, format);                                             \
        const int written = next(found, "vfprintf")(file, format, arguments);    \
        va_end(arguments);                                                       \
        return written;                                                          \
    }
LUM_PASS_ON_PRINTF(printf, (const char* format, ...), stdout)
LUM_PASS_ON_PRINTF(fprintf, (FILE * file, const char* format, ...), file)

// A futex is a lock or a wait; other system calls made this way go by unseen.
LUM_INTERPOSED long syscall(long number, ...) noexcept {
    static std::atomic<long (*)(long, ...)> found{nullptr};
    if (number == SYS_futex) noteRealtimeCall(RealtimeCallKind::Lock, "syscall(SYS_futex)");
    va_list rest;
    va_start(rest, number);
    long arguments[6];
    for (long& argument : arguments) argument = va_arg(rest, long);
    va_end(rest);
    return next(found, "syscall")(number, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4],
                                  arguments[5]);
}

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

#define LUM_PASS_ON_OPEN(name, parameters, arguments)            \
    LUM_INTERPOSED int name parameters {                         \
        static std::atomic<int(*) parameters> found{nullptr};    \
        noteRealtimeCall(RealtimeCallKind::BlockingCall, #name); \
        LUM_MODE_ARGUMENT(flags)                                 \
        return next(found, #name) arguments;                     \
    }
LUM_PASS_ON_OPEN(open, (const char* path, int flags, ...), (path, flags, mode))
LUM_PASS_ON_OPEN(open64, (const char* path, int flags, ...), (path, flags, mode))
LUM_PASS_ON_OPEN(openat, (int directory, const char* path, int flags, ...), (directory, path, flags, mode))
