// The modulated flavour's set policy for the cascade: every sample's own set, designed a
// few samples ahead of the chain, two samples at once.
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

// One design is four divisions in a row, each waiting on the one before, which no
// processor can hide behind the chain's own latency. So the design runs as a pipeline
// beside the chain: every second step finishes one pair's sets and takes the three pairs
// behind it one division further, and those divisions depend only on work done steps
// earlier. The filter reads the finished sets from memory, where a pipelined pair of
// sections finds its two consecutive samples side by side.
template <std::int32_t Shape>
class PerSampleSets {
public:
    static constexpr bool kDesignsAhead = true;

    explicit PerSampleSets(const ModulatingPins& pins) : pins_(pins) {}

    std::int32_t prepare(std::int32_t first) {
        const std::int32_t end = std::min(pins_.sampleFrames, first + kBatch);
        if (first == 0) {
            next_ = std::min(end, kAhead);
            designOutright(0, next_);
            // Read before the span's first sample, unheard.
            for (std::int32_t at = 0; at < kHistory; ++at) copySet(kHistory, at);
            startStages();
        } else {
            // The sections behind still need the last few sets; the ones finished ahead
            // move along with them.
            const std::int32_t from = slot(first - kHistory);
            const std::int32_t count = slot(next_) - from + (next_ == pins_.sampleFrames ? kLookahead : 0);
            for (double* coefficient : {b0_, b1_, b2_, a1_, a2_}) std::copy_n(coefficient + from, count, coefficient);
            base_ = first;
        }
        if (next_ == pins_.sampleFrames) padAfterLast();
        return first + kBatch;
    }

    // One pair a call keeps the sets kAhead samples ahead of the chain; a call after a
    // single step (a batch of the pipelined chain ending on an odd sample) finds them far
    // enough already. Inline, so the chain's states stay in registers; the span's end
    // takes the long way.
    [[gnu::always_inline]] void designAhead(std::int32_t i) {
        if (next_ >= i + kAhead + 2) return;
        if (next_ + 2 <= pins_.sampleFrames) {
            // The steps ahead run out before the span's end, one after the other.
            if (whole(next_ + 3 * kStageGap)) angle(next_ + 3 * kStageGap);
            if (whole(next_ + 2 * kStageGap)) tangent(next_ + 2 * kStageGap);
            if (whole(next_ + kStageGap)) divideByQ(next_ + kStageGap);
            finish(next_);
            next_ += 2;
            return;
        }
        designRest();
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
    // Samples filtered between two moves of the finished sets to the front.
    static constexpr std::int32_t kBatch = 128;
    // Finished before the chain needs them: more than the pipelined chain's three
    // samples of lag plus the pair filtered per call.
    static constexpr std::int32_t kAhead = 8;
    // Samples between one step of the design and the next: room for each division to
    // finish before its result is needed.
    static constexpr std::int32_t kStageGap = 6;
    // Up to three samples before a step's newest one, and three after the span's last.
    static constexpr std::int32_t kHistory = 3;
    static constexpr std::int32_t kLookahead = 3;
    // The last call of a batch finishes up to kAhead + 4 past it.
    static constexpr std::int32_t kSlots = kHistory + kBatch + kAhead + 4 + kLookahead;
    // The design's intermediate values, by sample: even samples start a pair, and the
    // size is even, so a pair never wraps.
    static constexpr std::int32_t kRing = 32;

    std::int32_t slot(std::int32_t i) const { return kHistory + i - base_; }
    static std::int32_t ringSlot(std::int32_t i) { return i & (kRing - 1); }

    void designOutright(std::int32_t from, std::int32_t to) {
        std::int32_t i = from;
        for (; i + 2 <= to; i += 2) {
            store(i, designShape<Shape>(frequencyFromPin(DoublePair::widen(pins_.frequency + i)),
                                        qFromPin(DoublePair::widen(pins_.q + i)), pins_.gain, pins_.sampleRate));
        }
        for (; i < to; ++i) {
            const Coefficients set =
                designShape<Shape>(frequencyFromPin(static_cast<double>(pins_.frequency[i])),
                                   qFromPin(static_cast<double>(pins_.q[i])), pins_.gain, pins_.sampleRate);
            const std::int32_t at = slot(i);
            b0_[at] = set.b0;
            b1_[at] = set.b1;
            b2_[at] = set.b2;
            a1_[at] = set.a1;
            a2_[at] = set.a2;
        }
    }

    // Read after the span's last sample, unheard.
    void padAfterLast() {
        const std::int32_t last = slot(pins_.sampleFrames - 1);
        for (std::int32_t k = 1; k <= kLookahead; ++k) copySet(last, last + k);
    }

    void copySet(std::int32_t from, std::int32_t to) {
        for (double* coefficient : {b0_, b1_, b2_, a1_, a2_}) coefficient[to] = coefficient[from];
    }

    // Whether sample i starts a pair the span holds both samples of.
    bool whole(std::int32_t i) const { return i + 2 <= pins_.sampleFrames; }

    // The span's last set, outright, when it has no pair.
    [[gnu::noinline]] void designRest() {
        if (next_ == pins_.sampleFrames) return;
        designOutright(next_, pins_.sampleFrames);
        next_ = pins_.sampleFrames;
        padAfterLast();
    }

    // The pipeline's first pairs, each taken as far as the steps ahead of it would have.
    void startStages() {
        for (std::int32_t i = next_; i < next_ + 3 * kStageGap && whole(i); i += 2) angle(i);
        for (std::int32_t i = next_; i < next_ + 2 * kStageGap && whole(i); i += 2) tangent(i);
        for (std::int32_t i = next_; i < next_ + kStageGap && whole(i); i += 2) divideByQ(i);
    }

    // The steps of a pair's design, each ending in its division.
    [[gnu::always_inline]] void angle(std::int32_t i) {
        const std::int32_t at = ringSlot(i);
        _mm_storeu_pd(w_ + at,
                      prewarpAngle(frequencyFromPin(DoublePair::widen(pins_.frequency + i)), pins_.sampleRate).lanes);
        _mm_storeu_pd(q_ + at, qFromPin(DoublePair::widen(pins_.q + i)).lanes);
    }
    [[gnu::always_inline]] void tangent(std::int32_t i) {
        const std::int32_t at = ringSlot(i);
        _mm_storeu_pd(k_ + at, tanOfAngle(DoublePair(_mm_loadu_pd(w_ + at))).lanes);
    }
    [[gnu::always_inline]] void divideByQ(std::int32_t i) {
        const std::int32_t at = ringSlot(i);
        const Quotients<DoublePair> quotients =
            quotientsOf<Shape>(DoublePair(_mm_loadu_pd(k_ + at)), DoublePair(_mm_loadu_pd(q_ + at)), pins_.gain);
        _mm_storeu_pd(kq_ + at, quotients.kq.lanes);
        if constexpr (Shape == kPeak) _mm_storeu_pd(vkq_ + at, quotients.vkq.lanes);
    }
    [[gnu::always_inline]] void finish(std::int32_t i) {
        const std::int32_t at = ringSlot(i);
        const Quotients<DoublePair> quotients{DoublePair(_mm_loadu_pd(kq_ + at)),
                                              Shape == kPeak ? DoublePair(_mm_loadu_pd(vkq_ + at)) : DoublePair(0.0)};
        store(i, designFromQuotients<Shape>(DoublePair(_mm_loadu_pd(k_ + at)), quotients, pins_.gain));
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
    // The sample in slot kHistory, and the first sample whose set is not finished.
    std::int32_t base_ = 0;
    std::int32_t next_ = 0;
    double b0_[kSlots];
    double b1_[kSlots];
    double b2_[kSlots];
    double a1_[kSlots];
    double a2_[kSlots];
    double w_[kRing];
    double q_[kRing];
    double k_[kRing];
    double kq_[kRing];
    double vkq_[kRing];
};

}  // namespace biquad
