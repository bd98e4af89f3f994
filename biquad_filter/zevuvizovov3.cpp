#include "zevuvizovov3.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "biquad_design.h"
#include "flush_denormals.h"
#include "framework/module_registration.h"

using lum::MpBase;

Zevuvizovov3::Zevuvizovov3(lum::IMpUnknown* host) : MpBase(host) {
    using namespace biquad;
    registerPin(kFilterType, pinFilterType_);
    registerPin(kSignalIn, pinSignalIn_);
    registerPin(kFrequency, pinFrequency_);
    registerPin(kQ, pinQ_);
    registerPin(kGain, pinGain_);
    registerPin(kSignalOut, pinSignalOut_);
    registerPin(kSlope, pinSlope_);
}

std::int32_t Zevuvizovov3::open() noexcept {
    MpBase::open();
    float sampleRate = 0.0f;
    host().getSampleRate(&sampleRate);
    // A rate that is not a positive number would make every coefficient NaN for good:
    // keep the one in force (44100 until a host gives a usable one).
    if (std::isfinite(sampleRate) && sampleRate > 0.0f) sampleRate_ = sampleRate;
    spanDesignValid_ = false;
    return lum::kOk;
}

void Zevuvizovov3::onSetPins() {
    pinSignalOut_.setStreaming(true);
    setSleep(false);
    if (!pinSignalIn_.isStreaming()) {
        setSubProcess(&Zevuvizovov3::processIdleInput);
        return;
    }
    // A slope outside 0-3 leaves the running sub-process in place.
    if (const SubProcess filter = chosenFilter()) setSubProcess(filter);
}

MpBase::SubProcess Zevuvizovov3::chosenFilter() const {
    static constexpr SubProcess kFixed[kMaxSections] = {
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<1>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<2>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<3>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<4>),
    };
    static constexpr SubProcess kModulated[kMaxSections] = {
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<1>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<2>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<3>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<4>),
    };
    const std::int32_t slope = pinSlope_.getValue();
    if (slope < 0 || slope >= kMaxSections) return nullptr;
    const bool modulated = pinFrequency_.isStreaming() || pinQ_.isStreaming() || pinGain_.isStreaming();
    return (modulated ? kModulated : kFixed)[slope];
}

namespace {

// One transposed direct form II section on one sample: the only arithmetic every path
// runs, so the plain and the pipelined cascades agree bit for bit.
inline double section(const biquad::Coefficients& c, double x, double& s1, double& s2) {
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
    double filter(const biquad::Coefficients& c, double y) {
        for (std::int32_t k = 0; k < Sections; ++k) y = section(c, y, s1_[k], s2_[k]);
        return y;
    }

private:
    double s1_[Sections];
    double s2_[Sections];
};

template <std::int32_t Sections>
double filterInSeries(const biquad::Coefficients& c, double* states, const float* in, float* out,
                      std::int32_t sampleFrames) {
    Cascade<Sections> cascade(states);
    double y = 0.0;
    for (std::int32_t i = 0; i < sampleFrames; ++i) {
        y = cascade.filter(c, in[i]);
        out[i] = static_cast<float>(y);
    }
    cascade.store(states);
    return y;
}

// Software-pipelined cascade: at step i section k filters sample i - k, so a step's
// sections are independent and run side by side, two to a vector register, instead of
// waiting on each other's latency. Every section still sees exactly the samples the
// previous one produced, in order, so the output is bit-identical to filterInSeries.
template <std::int32_t Sections>
double filterPipelined(const biquad::Coefficients& c, double* states, const float* in, float* out,
                       std::int32_t sampleFrames) {
    constexpr std::int32_t kLast = Sections - 1;
#if defined(__SSE2__)
    // Padded to whole pairs; a padding section filters the last one's output unheard.
    constexpr std::int32_t kPairs = (Sections + 1) / 2;
    double s1[2 * kPairs] = {};
    double s2[2 * kPairs] = {};
    for (std::int32_t k = 0; k < Sections; ++k) {
        s1[k] = states[2 * k];
        s2[k] = states[2 * k + 1];
    }
    __m128d vs1[kPairs];
    __m128d vs2[kPairs];
    // vx[p]: the samples sections 2p and 2p + 1 filter next.
    __m128d vx[kPairs];
    for (std::int32_t p = 0; p < kPairs; ++p) {
        vs1[p] = _mm_loadu_pd(s1 + 2 * p);
        vs2[p] = _mm_loadu_pd(s2 + 2 * p);
        vx[p] = _mm_setzero_pd();
    }
    // Low half: the first section's last output, the second section's next input.
    __m128d first = _mm_setzero_pd();
    const __m128d b0 = _mm_set1_pd(c.b0);
    const __m128d b1 = _mm_set1_pd(c.b1);
    const __m128d b2 = _mm_set1_pd(c.b2);
    const __m128d a1 = _mm_set1_pd(c.a1);
    const __m128d a2 = _mm_set1_pd(c.a2);
    // One step: every section filters its next sample; returns the last section's output.
    const auto step = [&](__m128d input) {
        // Converted apart and merged here: converting into vx[0] itself would make the
        // conversion wait on the previous step's outputs.
        vx[0] = _mm_unpacklo_pd(input, first);
        __m128d y[kPairs];
        for (std::int32_t p = 0; p < kPairs; ++p) {
            y[p] = _mm_add_pd(_mm_mul_pd(b0, vx[p]), vs1[p]);
            vs1[p] = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(b1, vx[p]), _mm_mul_pd(a1, y[p])), vs2[p]);
            vs2[p] = _mm_sub_pd(_mm_mul_pd(b2, vx[p]), _mm_mul_pd(a2, y[p]));
        }
        // Each output moves one section on.
        for (std::int32_t p = kPairs - 1; p > 0; --p) vx[p] = _mm_shuffle_pd(y[p - 1], y[p], 1);
        first = y[0];
        const __m128d last = y[kLast / 2];
        return _mm_cvtsd_f64(kLast % 2 == 0 ? last : _mm_unpackhi_pd(last, last));
    };
    const auto sample = [in](std::int32_t i) { return _mm_cvtps_pd(_mm_load_ss(in + i)); };
    // Filling: sample i enters while the sections it has not reached keep their state.
    for (std::int32_t i = 0; i < kLast; ++i) {
        __m128d old1[kPairs];
        __m128d old2[kPairs];
        for (std::int32_t p = 0; p < kPairs; ++p) {
            old1[p] = vs1[p];
            old2[p] = vs2[p];
        }
        step(sample(i));
        for (std::int32_t p = 0; p < kPairs; ++p) {
            if (2 * p + 1 <= i) continue;
            // Only the low section of the pair has started: move_sd keeps the high half.
            vs1[p] = 2 * p <= i ? _mm_move_sd(old1[p], vs1[p]) : old1[p];
            vs2[p] = 2 * p <= i ? _mm_move_sd(old2[p], vs2[p]) : old2[p];
        }
    }
    for (std::int32_t i = kLast; i < sampleFrames; ++i) out[i - kLast] = static_cast<float>(step(sample(i)));
    // Draining: section k has k samples left; the sections done run on unheard and their
    // states are taken as they finish.
    const auto keep = [&](std::int32_t k) {
        if (k % 2 == 0) {
            _mm_storel_pd(s1 + k, vs1[k / 2]);
            _mm_storel_pd(s2 + k, vs2[k / 2]);
        } else {
            _mm_storeh_pd(s1 + k, vs1[k / 2]);
            _mm_storeh_pd(s2 + k, vs2[k / 2]);
        }
    };
    keep(0);
    double y = 0.0;
    for (std::int32_t k = 1; k <= kLast; ++k) {
        y = step(_mm_setzero_pd());
        out[sampleFrames - 1 - kLast + k] = static_cast<float>(y);
        keep(k);
    }
#else
    double s1[Sections];
    double s2[Sections];
    // x[k]: the sample section k filters next.
    double x[Sections + 1] = {};
    for (std::int32_t k = 0; k < Sections; ++k) {
        s1[k] = states[2 * k];
        s2[k] = states[2 * k + 1];
    }
    // Filling: sample i enters while the sections behind catch up. Last section first, so
    // each reads its input before the section ahead replaces it.
    for (std::int32_t i = 0; i < kLast; ++i) {
        x[0] = in[i];
        for (std::int32_t k = i; k >= 0; --k) x[k + 1] = section(c, x[k], s1[k], s2[k]);
    }
    for (std::int32_t i = kLast; i < sampleFrames; ++i) {
        x[0] = in[i];
        for (std::int32_t k = kLast; k >= 0; --k) x[k + 1] = section(c, x[k], s1[k], s2[k]);
        out[i - kLast] = static_cast<float>(x[Sections]);
    }
    // Draining: the sections behind finish the span's last samples.
    double y = 0.0;
    for (std::int32_t i = sampleFrames; i < sampleFrames + kLast; ++i) {
        for (std::int32_t k = kLast; k > i - sampleFrames; --k) x[k + 1] = section(c, x[k], s1[k], s2[k]);
        y = x[Sections];
        out[i - kLast] = static_cast<float>(y);
    }
#endif
    for (std::int32_t k = 0; k < Sections; ++k) {
        states[2 * k] = s1[k];
        states[2 * k + 1] = s2[k];
    }
    return y;
}

// Out of line, so the loop's registers serve only the states and one coefficient set.
// Returns the last output.
template <std::int32_t Sections>
[[gnu::noinline]] double filterWithOneSet(const biquad::Coefficients& c, double* states, const float* in, float* out,
                                          std::int32_t sampleFrames) {
    if (Sections == 1 || sampleFrames < Sections) return filterInSeries<Sections>(c, states, in, out, sampleFrames);
    return filterPipelined<Sections>(c, states, in, out, sampleFrames);
}

}  // namespace

template <std::int32_t Sections>
void Zevuvizovov3::processFixed(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!buffersReady()) return;
    countDownToSanitize();
    // An empty span reads no pin: its buffers may hold no sample at all.
    if (sampleFrames <= 0) return;
    const biquad::ScopedFlushDenormals flushDenormals;
    const DesignInputs inputs{pinFilterType_.getValue(), pinFrequency_.buffer()[bufferOffset],
                              pinQ_.buffer()[bufferOffset], pinGain_.buffer()[bufferOffset]};
    // Static pins hold their values span after span: design again only on a change.
    if (!spanDesignValid_ || std::memcmp(&inputs, &spanDesignInputs_, sizeof inputs) != 0) {
        spanCoefficients_ =
            biquad::calcCoefficients(inputs.filterType, biquad::frequencyFromPin(inputs.frequency),
                                     biquad::qFromPin(inputs.q), biquad::gainFromPin(inputs.gain), sampleRate_);
        spanDesignInputs_ = inputs;
        spanDesignValid_ = true;
    }
    lastOutput_ = filterWithOneSet<Sections>(spanCoefficients_, states_, pinSignalIn_.buffer() + bufferOffset,
                                             pinSignalOut_.buffer() + bufferOffset, sampleFrames);
}

template <std::int32_t Sections>
void Zevuvizovov3::processModulated(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!buffersReady()) return;
    countDownToSanitize();
    if (sampleFrames <= 0) return;
    const biquad::ScopedFlushDenormals flushDenormals;
    const std::int32_t filterType = pinFilterType_.getValue();
    const float* in = pinSignalIn_.buffer();
    const float* frequency = pinFrequency_.buffer();
    const float* q = pinQ_.buffer();
    float* out = pinSignalOut_.buffer();
    // The gain holds for the whole span even when it streams.
    const double gainDb = biquad::gainFromPin(pinGain_.buffer()[bufferOffset]);
    // Each sample's set is designed ahead in short batches, so the design's temporaries
    // never crowd the section states out of the registers.
    constexpr std::int32_t kBatch = 32;
    biquad::Coefficients sets[kBatch];
    Cascade<Sections> cascade(states_);
    double y = 0.0;
    for (std::int32_t start = bufferOffset; start < bufferOffset + sampleFrames; start += kBatch) {
        const std::int32_t count = std::min(kBatch, bufferOffset + sampleFrames - start);
        for (std::int32_t j = 0; j < count; ++j) {
            sets[j] = biquad::calcCoefficients(filterType, biquad::frequencyFromPin(frequency[start + j]),
                                               biquad::qFromPin(q[start + j]), gainDb, sampleRate_);
        }
        for (std::int32_t j = 0; j < count; ++j) {
            y = cascade.filter(sets[j], in[start + j]);
            out[start + j] = static_cast<float>(y);
        }
    }
    cascade.store(states_);
    lastOutput_ = y;
}

void Zevuvizovov3::processIdleInput(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!buffersReady()) return;
    const std::int32_t last = wrapPosition(bufferOffset + sampleFrames - 1);
    const std::int32_t beforeLast = wrapPosition(last - 1);
    const double input = pinSignalIn_.getValue(last);
    const double output = lastOutput_;
    const double earlier = pinSignalOut_.buffer()[beforeLast];
    // Unordered counts as equal here, so a NaN output settles too.
    const bool repeated = !(output < earlier) && !(output > earlier);
    // A NaN difference never counts as close.
    const bool close = 1.0e-6f > std::fabs(static_cast<float>(input - output));
    if (!repeated && !close) {
        if (const SubProcess filter = chosenFilter()) (this->*filter)(bufferOffset, sampleFrames);
        return;
    }
    setSubProcess(&Zevuvizovov3::processHold);
    // An output that settled by repeating itself far from the input (a high-pass or
    // band-pass fed a constant) holds what it settled on, not the input value; a
    // non-finite output gives way to the input.
    lastOutput_ = close || !std::isfinite(output) ? input : output;
    pinSignalOut_.setStreaming(false, last);
    setSleep(true);
    processHold(bufferOffset, sampleFrames);
}

void Zevuvizovov3::processHold(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!buffersReady()) return;
    if (sampleFrames <= 0) return;
    const float held = static_cast<float>(lastOutput_);
    float* out = pinSignalOut_.buffer();
    for (std::int32_t i = bufferOffset; i < bufferOffset + sampleFrames; ++i) out[i] = held;
    for (double& state : states_) state = 0.0;
}

std::int32_t Zevuvizovov3::wrapPosition(std::int32_t position) {
    if (position >= 0) return position;
    std::int32_t blockSize = 0;
    host().getBlockSize(&blockSize);
    // A host that reports no usable block size must still not make us read outside the
    // buffer; the sum is taken wide, as a block size near INT32_MIN would overflow it.
    const std::int64_t wrapped = std::int64_t{position} + blockSize;
    return wrapped >= 0 ? static_cast<std::int32_t>(wrapped) : 0;
}

// A span whose buffers the host has not set (or set to null) is left alone: checked once
// per span, not per sample.
bool Zevuvizovov3::buffersReady() const {
    return pinSignalIn_.buffer() != nullptr && pinFrequency_.buffer() != nullptr && pinQ_.buffer() != nullptr &&
           pinGain_.buffer() != nullptr && pinSignalOut_.buffer() != nullptr;
}

void Zevuvizovov3::countDownToSanitize() {
    const std::int32_t countdown = sanitizeCountdown_;
    sanitizeCountdown_ = countdown - 1;
    if (countdown < 0) sanitizeState();
}

// Non-finite states (a NaN or infinite input, an unstable design) would ring forever.
void Zevuvizovov3::sanitizeState() {
    sanitizeCountdown_ = 10;
    for (double& state : states_) {
        if (!std::isfinite(state)) state = 0.0;
    }
    if (!std::isfinite(lastOutput_)) lastOutput_ = 0.0;
}

namespace {

[[maybe_unused]] const std::int32_t kRegistered =
    lum::registerDspCreator(u"QX-DaRovoVIR3", &lum::createModule<Zevuvizovov3>);

}  // namespace
