// An audio buffer with guard samples before and after the block, to catch a module
// that reads or writes past the span it was given.
#pragma once

#include <cstdint>
#include <vector>

#include "numbers.h"

namespace lumhost {

class GuardedBuffer {
public:
    static constexpr std::int32_t kGuardSamples = 16;

    explicit GuardedBuffer(std::int32_t frames, float fill = 0.0f)
        : frames_(frames), storage_(static_cast<std::size_t>(frames + 2 * kGuardSamples)) {
        for (std::int32_t i = 0; i < kGuardSamples; ++i) {
            storage_[static_cast<std::size_t>(i)] = guardValue();
            storage_[static_cast<std::size_t>(kGuardSamples + frames + i)] = guardValue();
        }
        this->fill(fill);
    }

    float* data() { return storage_.data() + kGuardSamples; }
    const float* data() const { return storage_.data() + kGuardSamples; }
    float& operator[](std::int32_t i) { return data()[i]; }
    float operator[](std::int32_t i) const { return data()[i]; }
    std::int32_t frames() const { return frames_; }

    void fill(float value) {
        for (std::int32_t i = 0; i < frames_; ++i) data()[i] = value;
    }
    // Put in an output before a block: a sample no module computes, finite unlike the guards
    // (so a copied input sample does not pass for it); one still there was not written.
    static float unwrittenMark() { return floatFromBits(0x1E3C0FEEu); }

    // True when no guard sample changed, compared bit for bit.
    bool guardsIntact() const {
        const float guard = guardValue();
        for (std::int32_t i = 0; i < kGuardSamples; ++i) {
            if (!sameBits(storage_[static_cast<std::size_t>(i)], guard)) return false;
            if (!sameBits(storage_[static_cast<std::size_t>(kGuardSamples + frames_ + i)], guard)) return false;
        }
        return true;
    }

private:
    // A quiet NaN with a payload no arithmetic produces.
    static float guardValue() { return floatFromBits(0x7FC0DEADu); }

    std::int32_t frames_;
    std::vector<float> storage_;
};

}  // namespace lumhost
