// The modulated flavour's set policy for the cascade: every sample's own set, designed
// ahead in short batches, two samples at once.
#pragma once

#include <algorithm>
#include <cstdint>

#include "biquad_design.h"
#include "cascade.h"
#include "double_pair.h"

namespace biquad {

// A span's modulating pins, from the span's first sample on.
struct ModulatingPins {
    const float* frequency;
    const float* q;
    std::int32_t sampleFrames;
    // The gain holds for the whole span even when it streams.
    GainTerms gain;
    double sampleRate;
};

// A batch's sets are designed before it is filtered: they depend on nothing the chain
// computes, so they run at the divider's pace. The filter reads them from memory, where a
// pipelined pair of sections finds its two consecutive samples side by side.
template <std::int32_t Shape>
class PerSampleSets {
public:
    explicit PerSampleSets(const ModulatingPins& pins) : pins_(pins) {}

    std::int32_t prepare(std::int32_t first) {
        const std::int32_t count = std::min(kBatch, pins_.sampleFrames - first);
        // The pipeline's sections behind still need the previous batch's last sets, which
        // end at slot kHistory + count_.
        if (first > 0) copySlots(count_, 0, kHistory);
        first_ = first;
        count_ = count;
        std::int32_t j = 0;
#if defined(__SSE2__)
        for (; j + 2 <= count; j += 2) {
            const CoefficientSet<DoublePair> pair =
                design(DoublePair::widen(pins_.frequency + first + j), DoublePair::widen(pins_.q + first + j));
            const std::int32_t slot = kHistory + j;
            _mm_storeu_pd(b0_ + slot, pair.b0.lanes);
            _mm_storeu_pd(b1_ + slot, pair.b1.lanes);
            _mm_storeu_pd(b2_ + slot, pair.b2.lanes);
            _mm_storeu_pd(a1_ + slot, pair.a1.lanes);
            _mm_storeu_pd(a2_ + slot, pair.a2.lanes);
        }
#endif
        for (; j < count; ++j) {
            const Coefficients set =
                design(static_cast<double>(pins_.frequency[first + j]), static_cast<double>(pins_.q[first + j]));
            const std::int32_t slot = kHistory + j;
            b0_[slot] = set.b0;
            b1_[slot] = set.b1;
            b2_[slot] = set.b2;
            a1_[slot] = set.a1;
            a2_[slot] = set.a2;
        }
        // The slots read before the span's first sample and after its last hold a real
        // set, whose results go unheard.
        if (first == 0) {
            for (std::int32_t slot = 0; slot < kHistory; ++slot) copySlots(kHistory, slot, 1);
        }
        for (std::int32_t slot = kHistory + count; slot < kHistory + count + kLookahead; ++slot) {
            copySlots(kHistory + count - 1, slot, 1);
        }
        return first + count;
    }

    Coefficients forSample(std::int32_t i) const {
        const std::int32_t slot = kHistory + i - first_;
        return {b0_[slot], b1_[slot], b2_[slot], a1_[slot], a2_[slot]};
    }

#if defined(__SSE2__)
    PairSets forPair(std::int32_t p, std::int32_t i) const {
        const std::int32_t slot = kHistory + i - first_ - 2 * p - 1;
        return {DoublePair(_mm_loadu_pd(b0_ + slot)), DoublePair(_mm_loadu_pd(b1_ + slot)),
                DoublePair(_mm_loadu_pd(b2_ + slot)), DoublePair(_mm_loadu_pd(a1_ + slot)),
                DoublePair(_mm_loadu_pd(a2_ + slot))};
    }
#endif

private:
    static constexpr std::int32_t kBatch = 32;
    // Up to three samples before a step's newest one and three after the span's last.
    static constexpr std::int32_t kHistory = 3;
    static constexpr std::int32_t kLookahead = 3;
    static constexpr std::int32_t kSlots = kHistory + kBatch + kLookahead;

    template <class T>
    CoefficientSet<T> design(T frequency, T q) const {
        return designShape<Shape>(frequencyFromPin(frequency), qFromPin(q), pins_.gain, pins_.sampleRate);
    }

    void copySlots(std::int32_t from, std::int32_t to, std::int32_t count) {
        for (double* coefficient : {b0_, b1_, b2_, a1_, a2_}) std::copy_n(coefficient + from, count, coefficient + to);
    }

    ModulatingPins pins_;
    std::int32_t first_ = 0;
    std::int32_t count_ = 0;
    double b0_[kSlots];
    double b1_[kSlots];
    double b2_[kSlots];
    double a1_[kSlots];
    double a2_[kSlots];
};

}  // namespace biquad
