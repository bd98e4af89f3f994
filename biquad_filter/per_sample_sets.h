// The modulated flavour's set policy for the cascade: every sample's own set, designed a
// batch at a time ahead of the chain, two samples to a register, with one division each.
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
    // pi / sampleRate, so the angle is one multiplication.
    double piOverRate;
};

// The design of a batch depends on nothing the chain computes, so it runs as one loop
// before the chain filters the batch: the divisions of many samples overlap, where one
// sample's design inside the chain would wait on its own. The chain reads the sets from
// memory, where a pipelined pair of sections finds its two consecutive samples side by
// side.
template <std::int32_t Shape>
class PerSampleSets {
public:
    static constexpr bool kDesignsAhead = false;

    explicit PerSampleSets(const ModulatingPins& pins) : pins_(pins) {}

    // Designs samples first to first + kBatch - 1 (those the span has), keeping the last
    // few sets before them for the sections behind.
    std::int32_t prepare(std::int32_t first) {
        if (first == 0) {
            design(0, std::min(pins_.sampleFrames, kBatch));
            // Read before the span's first sample, unheard.
            for (std::int32_t at = 0; at < kHistory; ++at) copySet(kHistory, at);
        } else {
            for (double* coefficient : {b0_, b1_, b2_, a1_, a2_}) {
                std::copy_n(coefficient + kBatch, kHistory, coefficient);
            }
            base_ = first;
            design(first, std::min(pins_.sampleFrames, first + kBatch));
        }
        if (first + kBatch >= pins_.sampleFrames) {
            // Read after the span's last sample, unheard.
            const std::int32_t last = slot(pins_.sampleFrames - 1);
            for (std::int32_t k = 1; k <= kLookahead; ++k) copySet(last, last + k);
        }
        return first + kBatch;
    }

    Coefficients forSample(std::int32_t i) const {
        const std::int32_t at = slot(i);
        return {b0_[at], b1_[at], b2_[at], a1_[at], a2_[at]};
    }

    PairSets forPair(std::int32_t p, std::int32_t i) const {
        const std::int32_t at = slot(i - 2 * p - 1);
        return {DoublePair(_mm_loadu_pd(b0_ + at)), DoublePair(_mm_loadu_pd(b1_ + at)),
                DoublePair(_mm_loadu_pd(b2_ + at)), DoublePair(_mm_loadu_pd(a1_ + at)),
                DoublePair(_mm_loadu_pd(a2_ + at))};
    }

private:
    // Samples designed at once: a host block of 64 in one, and sets for few more than a
    // block on the stack.
    static constexpr std::int32_t kBatch = 64;
    // Up to three samples before a step's newest one, and three after the span's last.
    static constexpr std::int32_t kHistory = 3;
    static constexpr std::int32_t kLookahead = 3;
    static constexpr std::int32_t kSlots = kHistory + kBatch + kLookahead + 1;

    std::int32_t slot(std::int32_t i) const { return kHistory + i - base_; }

    // The high-pass keeps the table design's divisions: with one, its four sections' heavily
    // attenuated outputs round the other way from the table design's in more than 1 % of
    // samples (1.1-1.9 % in the filter tests), beyond the tolerance the other shapes meet.
    template <class T>
    [[gnu::always_inline]] CoefficientSet<T> designed(T frequency, T q) const {
        if constexpr (Shape == kHighPass) {
            return designShape<Shape>(frequency, q, pins_.gain, pins_.sampleRate);
        } else {
            return designWithOneDivision<Shape>(frequency, q, pins_.gain, pins_.piOverRate);
        }
    }

    [[gnu::always_inline]] void design(std::int32_t from, std::int32_t to) {
        std::int32_t i = from;
        for (; i + 2 <= to; i += 2) {
            store(i, designed(frequencyFromPin(DoublePair::widen(pins_.frequency + i)),
                              qFromPin(DoublePair::widen(pins_.q + i))));
        }
        if (i < to) {
            const Coefficients set = designed(frequencyFromPin(static_cast<double>(pins_.frequency[i])),
                                              qFromPin(static_cast<double>(pins_.q[i])));
            const std::int32_t at = slot(i);
            b0_[at] = set.b0;
            b1_[at] = set.b1;
            b2_[at] = set.b2;
            a1_[at] = set.a1;
            a2_[at] = set.a2;
        }
    }

    void copySet(std::int32_t from, std::int32_t to) {
        for (double* coefficient : {b0_, b1_, b2_, a1_, a2_}) coefficient[to] = coefficient[from];
    }

    // Samples i and i + 1.
    [[gnu::always_inline]] void store(std::int32_t i, const CoefficientSet<DoublePair>& pair) {
        const std::int32_t at = slot(i);
        _mm_storeu_pd(b0_ + at, pair.b0.lanes);
        _mm_storeu_pd(b1_ + at, pair.b1.lanes);
        _mm_storeu_pd(b2_ + at, pair.b2.lanes);
        _mm_storeu_pd(a1_ + at, pair.a1.lanes);
        _mm_storeu_pd(a2_ + at, pair.a2.lanes);
    }

    ModulatingPins pins_;
    // The sample in slot kHistory.
    std::int32_t base_ = 0;
    double b0_[kSlots];
    double b1_[kSlots];
    double b2_[kSlots];
    double a1_[kSlots];
    double a2_[kSlots];
};

}  // namespace biquad
