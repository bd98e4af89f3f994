// Flush-to-zero and denormals-are-zero for the length of a filtering loop.
#pragma once

#include <xmmintrin.h>

namespace biquad {

#if defined(__EMSCRIPTEN__)
// WebAssembly has no such modes: its arithmetic keeps denormals, so a decaying state there
// reaches zero later than in the DLL.
class ScopedFlushDenormals {
public:
    ScopedFlushDenormals() {}
    ~ScopedFlushDenormals() {}  // not trivial, so the guard is not an unused variable
    ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
    ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;
};
#else
// Sets the modes on construction and restores the caller's on destruction, on the
// calling thread.
class ScopedFlushDenormals {
public:
    ScopedFlushDenormals() : previous_(_mm_getcsr()) {
        // Writing the register is slow on some processors: skip it when both modes are on.
        if ((previous_ & kModes) != kModes) _mm_setcsr(previous_ | kModes);
    }
    ~ScopedFlushDenormals() {
        if ((previous_ & kModes) != kModes) _mm_setcsr(previous_);
    }
    ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
    ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;

private:
    // MXCSR flush-to-zero (0x8000) and denormals-are-zero (0x0040).
    static constexpr unsigned kModes = 0x8040u;
    unsigned previous_;
};
#endif

}  // namespace biquad
