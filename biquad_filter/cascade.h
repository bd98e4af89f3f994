// The chain of identical-shape transposed direct form II sections, serial or
// software-pipelined, fed coefficient sets by a policy: one shared set for a span, or a
// fresh set for every sample.
//
// A set policy provides
//   std::int32_t prepare(std::int32_t i)    makes the sets from sample i on available and
//                                           returns the sample where they run out;
//   kDesignsAhead, and when it is true      called every second step, before sample i is
//   void designAhead(std::int32_t i)        filtered: room to work out later sets while
//                                           the chain waits on its own latency;
//   Coefficients forSample(std::int32_t i)  sample i's set (the serial chain);
//   PairSets forPair(std::int32_t p, std::int32_t i)
//                                           what sections 2p + 1 (low lane) and 2p (high
//                                           lane) need at pipeline step i, that is sample
//                                           i - 2p - 1's and sample i - 2p's sets; read for
//                                           up to three samples before the first and after
//                                           the last, whose values go unheard.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "biquad_design.h"
#include "double_pair.h"

namespace biquad {

// One section on one sample: the only arithmetic every path runs, so every way of
// scheduling the chain gives the same bits.
inline double section(const Coefficients& c, double x, double& s1, double& s2) {
    const double y = c.b0 * x + s1;
    s1 = c.b1 * x - c.a1 * y + s2;
    s2 = c.b2 * x - c.a2 * y;
    return y;
}

// The chain's state pairs held in locals for one span, so they stay in registers.
template <std::int32_t Sections>
class Cascade {
public:
    explicit Cascade(const double* states) {
        for (std::int32_t k = 0; k < Sections; ++k) {
            s1_[k] = states[2 * k];
            s2_[k] = states[2 * k + 1];
        }
    }
    void store(double* states) const {
        for (std::int32_t k = 0; k < Sections; ++k) {
            states[2 * k] = s1_[k];
            states[2 * k + 1] = s2_[k];
        }
    }
    // One sample through every section, in series.
    double filter(const Coefficients& c, double y) {
        for (std::int32_t k = 0; k < Sections; ++k) y = section(c, y, s1_[k], s2_[k]);
        return y;
    }

private:
    double s1_[Sections];
    double s2_[Sections];
};

// Runs `filter` on samples i to end - 1 and returns end. A policy that designs ahead gets
// its call every second sample; one that does not keeps the plainest loop, whose few
// registers the pipelined chain needs on a 32-bit build.
template <class Sets, class Filter>
[[gnu::always_inline]] inline std::int32_t runSteps(Sets& sets, std::int32_t i, std::int32_t end, Filter&& filter) {
    if constexpr (Sets::kDesignsAhead) {
        for (; i + 2 <= end; i += 2) {
            sets.designAhead(i);
            filter(i);
            filter(i + 1);
        }
        if (i < end) {
            sets.designAhead(i);
            filter(i++);
        }
    } else {
        for (; i < end; ++i) filter(i);
    }
    return i;
}

// Each sample through every section before the next. Returns the last output.
template <std::int32_t Sections, class Sets>
double filterInSeries(Sets& sets, double* states, const float* in, float* out, std::int32_t sampleFrames) {
    Cascade<Sections> cascade(states);
    double y = 0.0;
    const auto filter = [&](std::int32_t i) {
        y = cascade.filter(sets.forSample(i), in[i]);
        out[i] = static_cast<float>(y);
    };
    for (std::int32_t i = 0; i < sampleFrames;) i = runSteps(sets, i, std::min(sampleFrames, sets.prepare(i)), filter);
    cascade.store(states);
    return y;
}

using PairSets = CoefficientSet<DoublePair>;

// Software-pipelined chain: at step i section k filters sample i - k, so a step's
// sections are independent and run side by side, two to a register, instead of waiting
// on each other's latency. Every section still sees exactly the samples the previous one
// produced, in order, so the output is bit-identical to the serial chain.
//
// A pair register holds section 2p + 1 in its low lane and section 2p in its high one,
// so the two samples a pair filters are consecutive in time, low lane first. The one or
// two pairs are written out, not looped over, so their registers stay registers at -O2.
template <std::int32_t Sections>
class PipelinedCascade {
    static_assert(Sections >= 2 && Sections <= 4, "one or two pairs of sections");

public:
    static constexpr std::int32_t kLast = Sections - 1;

    explicit PipelinedCascade(const double* states) : first_(states, 0) {
        if constexpr (kTwoPairs) second_ = Pair(states, 1);
    }

    // One step: sample i enters section 0 and every section filters its next sample.
    // Returns the last section's output, sample i - (Sections - 1).
    template <class Sets>
    double step(const Sets& sets, std::int32_t i, double sample) {
        // Each section takes the output its predecessor gave one step ago.
        if constexpr (kTwoPairs) second_.filter(sets.forPair(1, i), _mm_shuffle_pd(second_.y, first_.y, 1));
        first_.filter(sets.forPair(0, i), _mm_shuffle_pd(first_.y, _mm_set_sd(sample), 1));
        const __m128d last = lastPair().y;
        return _mm_cvtsd_f64(kLast % 2 == 1 ? last : _mm_unpackhi_pd(last, last));
    }

    // Step i < Sections - 1 of a span: the sections sample i has not reached keep their
    // state.
    template <class Sets>
    void fillStep(const Sets& sets, std::int32_t i, double sample) {
        const Pair first = first_;
        const Pair second = second_;
        step(sets, i, sample);
        first_.keepUnstarted(first, 0, i);
        if constexpr (kTwoPairs) second_.keepUnstarted(second, 1, i);
    }

    // Section K's state, taken once it has filtered the span's last sample; the sections
    // done run on unheard while the ones behind finish.
    template <std::int32_t K>
    void keep(double* states) const {
        const Pair& pair = K / 2 == 0 ? first_ : second_;
        if constexpr (K % 2 == 1) {
            _mm_storel_pd(states + 2 * K, pair.s1);
            _mm_storel_pd(states + 2 * K + 1, pair.s2);
        } else {
            _mm_storeh_pd(states + 2 * K, pair.s1);
            _mm_storeh_pd(states + 2 * K + 1, pair.s2);
        }
    }

private:
    // Three sections are padded to two pairs; the padding section filters the last one's
    // output unheard.
    static constexpr bool kTwoPairs = Sections > 2;

    // Sections 2p + 1 (low lane) and 2p (high lane): their states and last outputs.
    struct Pair {
        Pair() = default;
        Pair(const double* states, std::int32_t p)
            : s1(_mm_set_pd(state(states, 2 * p, 0), state(states, 2 * p + 1, 0))),
              s2(_mm_set_pd(state(states, 2 * p, 1), state(states, 2 * p + 1, 1))),
              y(_mm_setzero_pd()) {}

        // The section's arithmetic, two sections at once.
        void filter(const PairSets& c, __m128d x) {
            const DoublePair in(x), old1(s1), old2(s2);
            const DoublePair out = c.b0 * in + old1;
            s1 = (c.b1 * in - c.a1 * out + old2).lanes;
            s2 = (c.b2 * in - c.a2 * out).lanes;
            y = out.lanes;
        }

        // After step i, puts back the state of a section the samples have not reached.
        void keepUnstarted(const Pair& before, std::int32_t p, std::int32_t i) {
            if (2 * p + 1 <= i) return;
            // Only the high lane's section has started: move_sd takes the low lane back.
            s1 = 2 * p <= i ? _mm_move_sd(s1, before.s1) : before.s1;
            s2 = 2 * p <= i ? _mm_move_sd(s2, before.s2) : before.s2;
        }

        static double state(const double* states, std::int32_t k, std::int32_t which) {
            return k < Sections ? states[2 * k + which] : 0.0;
        }

        __m128d s1 = _mm_setzero_pd();
        __m128d s2 = _mm_setzero_pd();
        __m128d y = _mm_setzero_pd();
    };

    const Pair& lastPair() const {
        if constexpr (kTwoPairs) return second_;
        return first_;
    }

    Pair first_;
    Pair second_;
};

// Runs the draining steps K = 1 .. Sections - 1 after a span: section k has k samples
// left, and its state is kept once it has filtered the last. Returns the last output.
template <std::int32_t Sections, class Sets, std::int32_t... K>
double drainPipeline(PipelinedCascade<Sections>& pipeline, const Sets& sets, double* states, float* out,
                     std::int32_t sampleFrames, std::integer_sequence<std::int32_t, K...>) {
    constexpr std::int32_t kLast = Sections - 1;
    double y = 0.0;
    ((y = pipeline.step(sets, sampleFrames + K, 0.0), out[sampleFrames - kLast + K] = static_cast<float>(y),
      pipeline.template keep<K + 1>(states)),
     ...);
    return y;
}

// Runs a span of at least `Sections` samples through the pipelined chain. Returns the
// last output.
template <std::int32_t Sections, class Sets>
double filterPipelined(Sets& sets, double* states, const float* in, float* out, std::int32_t sampleFrames) {
    using Pipeline = PipelinedCascade<Sections>;
    constexpr std::int32_t kLast = Pipeline::kLast;
    Pipeline pipeline(states);
    std::int32_t ready = sets.prepare(0);
    for (std::int32_t i = 0; i < kLast; ++i) pipeline.fillStep(sets, i, in[i]);
    const auto step = [&](std::int32_t i) { out[i - kLast] = static_cast<float>(pipeline.step(sets, i, in[i])); };
    for (std::int32_t i = kLast; i < sampleFrames;) {
        if (i == ready) ready = sets.prepare(i);
        i = runSteps(sets, i, std::min(sampleFrames, ready), step);
    }
    pipeline.template keep<0>(states);
    return drainPipeline(pipeline, sets, states, out, sampleFrames, std::make_integer_sequence<std::int32_t, kLast>());
}

// Serial for one section or a span too short to fill the pipeline, pipelined otherwise.
template <std::int32_t Sections, class Sets>
double filterSpan(Sets& sets, double* states, const float* in, float* out, std::int32_t sampleFrames) {
    if constexpr (Sections > 1) {
        if (sampleFrames >= Sections) return filterPipelined<Sections>(sets, states, in, out, sampleFrames);
    }
    return filterInSeries<Sections>(sets, states, in, out, sampleFrames);
}

// One set for every sample of the span.
class SharedSet {
public:
    explicit SharedSet(const Coefficients& c) : c_(c), pair_{c.b0, c.b1, c.b2, c.a1, c.a2} {}
    std::int32_t prepare(std::int32_t) const { return INT32_MAX; }
    static constexpr bool kDesignsAhead = false;
    const Coefficients& forSample(std::int32_t) const { return c_; }
    const PairSets& forPair(std::int32_t, std::int32_t) const { return pair_; }

private:
    Coefficients c_;
    PairSets pair_;
};

}  // namespace biquad
