// The QX-DaRovoVIR3 biquad filter: one to four identical transposed direct form II
// sections in series, seven shapes designed from audio-rate frequency, Q and gain.
#pragma once

#include <cstdint>

#include "biquad_design.h"
#include "filter_pins.h"
#include "four_sample_steps.h"
#include "four_sample_steps_avx2.h"
#include "framework/dsp_pins.h"
#include "framework_variant/audio_pin.h"

class Zevuvizovov3 final : public lum::MpBase {
public:
    static constexpr std::int32_t kMaxSections = 4;

    explicit Zevuvizovov3(lum::IMpUnknown* host);

    // Fetches the host's sample rate once. Returns 0. [processing thread]
    std::int32_t LUM_CALL open() noexcept override;
    void onSetPins() override;

private:
    template <std::int32_t Sections>
    void processFixed(std::int32_t bufferOffset, std::int32_t sampleFrames);
#if BIQUAD_HAS_AVX2
    // The same with AVX2 and FMA, chosen only where the processor runs them.
    template <std::int32_t Sections>
    [[gnu::target("avx2,fma")]] void processFixedAvx2(std::int32_t bufferOffset, std::int32_t sampleFrames);
#endif
    template <std::int32_t Sections>
    void processModulated(std::int32_t bufferOffset, std::int32_t sampleFrames);
    void processIdleInput(std::int32_t bufferOffset, std::int32_t sampleFrames);
    void processHold(std::int32_t bufferOffset, std::int32_t sampleFrames);

    // The filtering sub-process the pins call for, or null for a slope outside 0-3.
    SubProcess chosenFilter() const;
    struct DesignInputs;
    // Whether a fixed-flavour span is to be filtered: buffers set and samples to filter.
    bool fixedSpanReady(std::int32_t sampleFrames);
    // Designs the span's set and four-sample matrices (the wide form for AVX2) when the
    // pins differ from the last design's.
    void updateDesign(std::int32_t bufferOffset, bool wide);
    [[gnu::noinline]] void designSpan(const DesignInputs& inputs, bool wide);
    bool buffersReady() const;
    // Counts what the chain wrote since rest, up to what the settle test compares.
    void countOutputs(std::int32_t sampleFrames);
    void countDownToSanitize();
    void sanitizeState();
    // A position before the block's start, wrapped by one host block.
    std::int32_t wrapPosition(std::int32_t position);

    lum::MpControlPin<std::int32_t, lum::kDirectionIn, lum::kDatatypeInt> pinFilterType_;
    lum::MpControlPin<std::int32_t, lum::kDirectionIn, lum::kDatatypeInt> pinSlope_;
    lum::MpAudioPin<lum::kDirectionIn> pinSignalIn_;
    lum::MpAudioPin<lum::kDirectionIn> pinFrequency_;
    lum::MpAudioPin<lum::kDirectionIn> pinQ_;
    lum::MpAudioPin<lum::kDirectionIn> pinGain_;
    lum::MpAudioPin<lum::kDirectionOut> pinSignalOut_;

    // Until open a common rate stands in, so nothing divides by zero.
    double sampleRate_ = 44100.0;
    // Section after section: state 1, state 2.
    double states_[2 * kMaxSections] = {};
    // Read by the first settle test when the input never streamed: zero, as from rest.
    double lastOutput_ = 0.0;
    std::int32_t sanitizeCountdown_ = 1;
    // The settle test compares the last output with the one before it.
    static constexpr std::int32_t kOutputsCompared = 2;
    std::int32_t outputsSinceRest_ = 0;
    // The last slope in 0-3 the pin held: the chain's sections less one.
    std::int32_t slopeInForce_ = 0;

    // What the fixed flavour's last coefficient set was designed from, bit for bit.
    struct DesignInputs {
        std::int32_t filterType;
        float frequency;
        float q;
        float gain;
    };
    DesignInputs spanDesignInputs_ = {};
    biquad::Coefficients spanCoefficients_ = {};
    biquad::StepStorage spanStep_;
    bool spanDesignValid_ = false;
};
