// Flush-to-zero and denormals-are-zero for the length of a filtering loop.
#pragma once

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace biquad {

// Sets the modes on construction and restores the caller's on destruction, on the
// calling thread. Where there is no SSE control register the guard does nothing.
class ScopedFlushDenormals {
public:
#if defined(__SSE__)
    ScopedFlushDenormals() : previous_(_mm_getcsr()) {
        // Writing the register is slow on some processors: skip it when both modes are on.
        if ((previous_ & kModes) != kModes) _mm_setcsr(previous_ | kModes);
    }
    ~ScopedFlushDenormals() {
        if ((previous_ & kModes) != kModes) _mm_setcsr(previous_);
    }
#else
    ScopedFlushDenormals() {}
    ~ScopedFlushDenormals() {}
#endif
    ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
    ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;

#if defined(__SSE__)
private:
    // MXCSR flush-to-zero (0x8000) and denormals-are-zero (0x0040).
    static constexpr unsigned kModes = 0x8040u;
    unsigned previous_;
#endif
};

}  // namespace biquad
