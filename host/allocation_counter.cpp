#include "allocation_counter.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "realtime_call_counter.h"

#if defined(_WIN32)
#include <malloc.h>
#endif

namespace {

long allocations = 0;

void* allocate(std::size_t size, const char* function) {
    ++allocations;
    lumhost::noteRealtimeCall(lumhost::RealtimeCallKind::Allocation, function);
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateAligned(std::size_t size, std::align_val_t alignment, const char* function) {
    ++allocations;
    lumhost::noteRealtimeCall(lumhost::RealtimeCallKind::Allocation, function);
    const std::size_t bytes = size == 0 ? 1 : size;
#if defined(_WIN32)
    return _aligned_malloc(bytes, static_cast<std::size_t>(alignment));
#else
    // posix_memalign takes no alignment below a pointer's.
    const std::size_t at = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
    void* memory = nullptr;
    return posix_memalign(&memory, at, bytes) == 0 ? memory : nullptr;
#endif
}

void* orThrow(void* memory) {
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

// Deleting nothing is free.
void release(void* memory, const char* function) {
    if (memory == nullptr) return;
    lumhost::noteRealtimeCall(lumhost::RealtimeCallKind::Allocation, function);
    std::free(memory);
}

void releaseAligned(void* memory, const char* function) {
    if (memory == nullptr) return;
    lumhost::noteRealtimeCall(lumhost::RealtimeCallKind::Allocation, function);
#if defined(_WIN32)
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

}  // namespace

using std::align_val_t;
using std::nothrow_t;
using std::size_t;

void* operator new(size_t size) { return orThrow(allocate(size, "operator new")); }
void* operator new[](size_t size) { return orThrow(allocate(size, "operator new[]")); }
void* operator new(size_t size, const nothrow_t&) noexcept { return allocate(size, "operator new"); }
void* operator new[](size_t size, const nothrow_t&) noexcept { return allocate(size, "operator new[]"); }
void* operator new(size_t size, align_val_t at) { return orThrow(allocateAligned(size, at, "operator new")); }
void* operator new[](size_t size, align_val_t at) { return orThrow(allocateAligned(size, at, "operator new[]")); }
void* operator new(size_t size, align_val_t at, const nothrow_t&) noexcept {
    return allocateAligned(size, at, "operator new");
}
void* operator new[](size_t size, align_val_t at, const nothrow_t&) noexcept {
    return allocateAligned(size, at, "operator new[]");
}

void operator delete(void* memory) noexcept { release(memory, "operator delete"); }
void operator delete[](void* memory) noexcept { release(memory, "operator delete[]"); }
void operator delete(void* memory, size_t) noexcept { release(memory, "operator delete"); }
void operator delete[](void* memory, size_t) noexcept { release(memory, "operator delete[]"); }
void operator delete(void* memory, const nothrow_t&) noexcept { release(memory, "operator delete"); }
void operator delete[](void* memory, const nothrow_t&) noexcept { release(memory, "operator delete[]"); }
void operator delete(void* memory, align_val_t) noexcept { releaseAligned(memory, "operator delete"); }
void operator delete[](void* memory, align_val_t) noexcept { releaseAligned(memory, "operator delete[]"); }
void operator delete(void* memory, size_t, align_val_t) noexcept { releaseAligned(memory, "operator delete"); }
void operator delete[](void* memory, size_t, align_val_t) noexcept { releaseAligned(memory, "operator delete[]"); }
void operator delete(void* memory, align_val_t, const nothrow_t&) noexcept {
    releaseAligned(memory, "operator delete");
}
void operator delete[](void* memory, align_val_t, const nothrow_t&) noexcept {
    releaseAligned(memory, "operator delete[]");
}

namespace lumhost {

bool allocationsVisible() {
#if defined(_WIN32)
    return false;
#else
    return true;
#endif
}

long allocationCount() { return allocations; }

}  // namespace lumhost
