#include "zevuvizovov3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "biquad_design.h"
#include "cascade.h"
#include "flush_denormals.h"
#include "four_sample_steps.h"
#include "four_sample_steps_avx2.h"
#include "framework/module_registration.h"
#include "per_sample_sets.h"

using lum::MpBase;

namespace {

// Asked once while the library loads, where registration already runs on one thread.
const bool kUseAvx2 = biquad::processorHasAvx2Fma() && !biquad::sse2Forced();

}  // namespace

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
    // A slope outside 0-3 keeps the chain in force, idle input or not.
    const std::int32_t slope = pinSlope_.getValue();
    if (slope >= 0 && slope < kMaxSections) slopeInForce_ = slope;
    if (!pinSignalIn_.isStreaming()) {
        setSubProcess(&Zevuvizovov3::processIdleInput);
        return;
    }
    setSubProcess(chosenFilter());
}

MpBase::SubProcess Zevuvizovov3::chosenFilter() const {
    static constexpr SubProcess kFixed[kMaxSections] = {
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<1>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<2>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<3>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<4>),
    };
#if BIQUAD_HAS_AVX2
    static constexpr SubProcess kFixedAvx2[kMaxSections] = {
        static_cast<SubProcess>(&Zevuvizovov3::processFixedAvx2<1>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixedAvx2<2>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixedAvx2<3>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixedAvx2<4>),
    };
#endif
    static constexpr SubProcess kModulated[kMaxSections] = {
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<1>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<2>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<3>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<4>),
    };
    const std::int32_t slope = slopeInForce_;
    const bool modulated = pinFrequency_.isStreaming() || pinQ_.isStreaming() || pinGain_.isStreaming();
    if (modulated) return kModulated[slope];
#if BIQUAD_HAS_AVX2
    if (kUseAvx2) return kFixedAvx2[slope];
#endif
    return kFixed[slope];
}

namespace {

// One loop per shape, so the design inlines without a branch on the shape per sample.
template <std::int32_t Shape, std::int32_t Sections>
[[gnu::always_inline]] inline double modulatedSpan(const biquad::ModulatingPins& pins, double* states, const float* in,
                                                   float* out) {
    biquad::PerSampleSets<Shape> sets(pins);
    return biquad::filterSpan<Sections>(sets, states, in, out, pins.sampleFrames);
}

template <std::int32_t Shape, std::int32_t Sections>
double filterModulated(const biquad::ModulatingPins& pins, double* states, const float* in, float* out) {
    return modulatedSpan<Shape, Sections>(pins, states, in, out);
}

#if BIQUAD_HAS_AVX2
// The same operations in the same order, in AVX's three-operand form: the same bits as
// the SSE2 build (no products are fused), a little faster.
template <std::int32_t Shape, std::int32_t Sections>
[[gnu::target("avx2,fma")]] double filterModulatedAvx2(const biquad::ModulatingPins& pins, double* states,
                                                       const float* in, float* out) {
    return modulatedSpan<Shape, Sections>(pins, states, in, out);
}
#endif

using ModulatedFilter = double (*)(const biquad::ModulatingPins&, double*, const float*, float*);

template <std::int32_t Sections>
ModulatedFilter modulatedFilter(std::int32_t shape) {
#if BIQUAD_HAS_AVX2
    static constexpr ModulatedFilter kAvx2[] = {
        &filterModulatedAvx2<biquad::kLowPass, Sections>,   &filterModulatedAvx2<biquad::kHighPass, Sections>,
        &filterModulatedAvx2<biquad::kBandPass, Sections>,  &filterModulatedAvx2<biquad::kNotch, Sections>,
        &filterModulatedAvx2<biquad::kPeak, Sections>,      &filterModulatedAvx2<biquad::kLowShelf, Sections>,
        &filterModulatedAvx2<biquad::kHighShelf, Sections>,
    };
    if (kUseAvx2) return kAvx2[shape];
#endif
    static constexpr ModulatedFilter kSse2[] = {
        &filterModulated<biquad::kLowPass, Sections>,   &filterModulated<biquad::kHighPass, Sections>,
        &filterModulated<biquad::kBandPass, Sections>,  &filterModulated<biquad::kNotch, Sections>,
        &filterModulated<biquad::kPeak, Sections>,      &filterModulated<biquad::kLowShelf, Sections>,
        &filterModulated<biquad::kHighShelf, Sections>,
    };
    return kSse2[shape];
}

}  // namespace

[[gnu::always_inline]] inline bool Zevuvizovov3::fixedSpanReady(std::int32_t sampleFrames) {
    if (!buffersReady()) return false;
    countDownToSanitize();
    // An empty span reads no pin: its buffers may hold no sample at all.
    return sampleFrames > 0;
}

[[gnu::always_inline]] inline void Zevuvizovov3::updateDesign(std::int32_t bufferOffset, bool wide) {
    const DesignInputs inputs{pinFilterType_.getValue(), pinFrequency_.getBuffer()[bufferOffset],
                              pinQ_.getBuffer()[bufferOffset], pinGain_.getBuffer()[bufferOffset]};
    // Static pins hold their values span after span: design again only on a change.
    if (!spanDesignValid_ || std::memcmp(&inputs, &spanDesignInputs_, sizeof inputs) != 0) designSpan(inputs, wide);
}

void Zevuvizovov3::designSpan(const DesignInputs& inputs, bool wide) {
    spanCoefficients_ =
        biquad::calcCoefficients(inputs.filterType, biquad::frequencyFromPin(inputs.frequency),
                                 biquad::qFromPin(inputs.q), biquad::gainFromPin(inputs.gain), sampleRate_);
    const biquad::FourSampleStep step = biquad::fourSampleStepOf(spanCoefficients_);
    if (wide) {
        spanStep_.store(biquad::widened(step));
    } else {
        spanStep_.store(step);
    }
    spanDesignInputs_ = inputs;
    spanDesignValid_ = true;
}

// One to three sections step four samples at a time; four fill the pipelined chain, which
// with SSE2 alone is faster.
template <std::int32_t Sections>
void Zevuvizovov3::processFixed(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!fixedSpanReady(sampleFrames)) return;
    const biquad::ScopedFlushDenormals flushDenormals;
    updateDesign(bufferOffset, false);
    const float* in = pinSignalIn_.getBuffer() + bufferOffset;
    float* out = pinSignalOut_.getBuffer() + bufferOffset;
    if constexpr (Sections <= 3) {
        lastOutput_ = biquad::filterInFourSampleSteps<Sections>(spanStep_.narrow(), spanCoefficients_, states_, in, out,
                                                                sampleFrames);
    } else {
        biquad::SharedSet set(spanCoefficients_);
        lastOutput_ = biquad::filterSpan<Sections>(set, states_, in, out, sampleFrames);
    }
    countOutputs(sampleFrames);
}

#if BIQUAD_HAS_AVX2
template <std::int32_t Sections>
void Zevuvizovov3::processFixedAvx2(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!fixedSpanReady(sampleFrames)) return;
    const biquad::ScopedFlushDenormals flushDenormals;
    updateDesign(bufferOffset, true);
    lastOutput_ = biquad::filterInFourSampleStepsAvx2<Sections>(spanStep_.wide(), spanCoefficients_, states_,
                                                                pinSignalIn_.getBuffer() + bufferOffset,
                                                                pinSignalOut_.getBuffer() + bufferOffset, sampleFrames);
    countOutputs(sampleFrames);
}
#endif

template <std::int32_t Sections>
void Zevuvizovov3::processModulated(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!buffersReady()) return;
    countDownToSanitize();
    if (sampleFrames <= 0) return;
    const biquad::ScopedFlushDenormals flushDenormals;
    const std::int32_t shape = pinFilterType_.getValue();
    float* out = pinSignalOut_.getBuffer() + bufferOffset;
    const float* in = pinSignalIn_.getBuffer() + bufferOffset;
    if (shape < biquad::kLowPass || shape > biquad::kHighShelf) {
        biquad::SharedSet passThrough(biquad::kPassThrough);
        lastOutput_ = biquad::filterSpan<Sections>(passThrough, states_, in, out, sampleFrames);
        countOutputs(sampleFrames);
        return;
    }
    const biquad::ModulatingPins pins{pinFrequency_.getBuffer() + bufferOffset,
                                      pinQ_.getBuffer() + bufferOffset,
                                      sampleFrames,
                                      biquad::gainTerms(biquad::gainFromPin(pinGain_.getBuffer()[bufferOffset])),
                                      sampleRate_,
                                      biquad::kPi / sampleRate_};
    lastOutput_ = modulatedFilter<Sections>(shape)(pins, states_, in, out);
    countOutputs(sampleFrames);
}

void Zevuvizovov3::processIdleInput(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!buffersReady()) return;
    const std::int32_t last = wrapPosition(bufferOffset + sampleFrames - 1);
    const std::int32_t beforeLast = wrapPosition(last - 1);
    const double input = pinSignalIn_.getValue(last);
    const double output = lastOutput_;
    const double earlier = pinSignalOut_.getBuffer()[beforeLast];
    // Where the chain comes to rest on this constant: the input for shapes that pass DC,
    // 0 for those that reject it, the shelf level times the input for the low shelf.
    const std::int32_t sections = slopeInForce_ + 1;
    const double settlesOn =
        input * biquad::dcGain(pinFilterType_.getValue(), biquad::gainFromPin(pinGain_.getValue(last)), sections);
    // Unordered counts as equal here, so a NaN output settles too; but only samples the
    // chain wrote since it left rest can repeat (a fresh filter's 0 and an untouched
    // buffer's 0 are not a settled output).
    const bool repeated = outputsSinceRest_ >= kOutputsCompared && !(output < earlier) && !(output > earlier);
    // A NaN difference never counts as close.
    const bool close = 1.0e-6f > std::fabs(static_cast<float>(settlesOn - output));
    if (!repeated && !close) {
        (this->*chosenFilter())(bufferOffset, sampleFrames);
        return;
    }
    setSubProcess(&Zevuvizovov3::processHold);
    // An output that repeated itself holds what it repeated; a non-finite one gives way
    // to the input.
    if (close) {
        lastOutput_ = std::isfinite(settlesOn) ? settlesOn : input;
    } else if (!std::isfinite(output)) {
        lastOutput_ = input;
    }
    pinSignalOut_.setStreaming(false, last);
    setSleep(true);
    processHold(bufferOffset, sampleFrames);
}

void Zevuvizovov3::processHold(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (!buffersReady()) return;
    if (sampleFrames <= 0) return;
    const float held = static_cast<float>(lastOutput_);
    float* out = pinSignalOut_.getBuffer();
    for (std::int32_t i = bufferOffset; i < bufferOffset + sampleFrames; ++i) out[i] = held;
    for (double& state : states_) state = 0.0;
    outputsSinceRest_ = 0;
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
    return pinSignalIn_.getBuffer() != nullptr && pinFrequency_.getBuffer() != nullptr &&
           pinQ_.getBuffer() != nullptr && pinGain_.getBuffer() != nullptr && pinSignalOut_.getBuffer() != nullptr;
}

void Zevuvizovov3::countOutputs(std::int32_t sampleFrames) {
    outputsSinceRest_ = static_cast<std::int32_t>(
        std::min<std::int64_t>(std::int64_t{outputsSinceRest_} + sampleFrames, kOutputsCompared));
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
