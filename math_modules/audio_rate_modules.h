// DSP-side modules on sample streams. onSetPins declares the output streaming while any
// input streams, lets the module sleep after one more host block when none does, and
// chooses the sub-process; the sub-process applies the formula sample by sample, or four
// samples a step where the processor allows.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cpu_features.h"
#include "framework/audio_pins.h"
#include "math_functions.h"

namespace kelmath {

// The step every audio module takes in onSetPins, before choosing its sub-process.
inline void declareStreaming(lum::MpBase& module, lum::AudioOutPin& out, bool anyInputStreaming) {
    out.setStreaming(anyInputStreaming);
    module.setSleep(!anyInputStreaming);
}

// Pins: 0 Value, 1 Min, 2 Max in; 3 Out. The upper bound is tested first.
class LumAudioMathLimit final : public lum::MpBase {
public:
    explicit LumAudioMathLimit(lum::IMpUnknown* host) : MpBase(host) {
        registerPin(0, pinValue);
        registerPin(1, pinMin);
        registerPin(2, pinMax);
        registerPin(3, pinOut);
    }
    void onSetPins() override {
        declareStreaming(*this, pinOut, pinValue.isStreaming() || pinMin.isStreaming() || pinMax.isStreaming());
        setSubProcess(&LumAudioMathLimit::subProcessScalar);
    }

private:
    // No samples to touch until the host has given every buffer.
    void subProcessScalar(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* x = pinValue.getBuffer();
        const float* lo = pinMin.getBuffer();
        const float* hi = pinMax.getBuffer();
        float* out = pinOut.getBuffer();
        if (x == nullptr || lo == nullptr || hi == nullptr || out == nullptr) return;
        scalarSpan<&audioLimit>(x, lo, hi, out, bufferOffset, sampleFrames);
    }

    lum::AudioInPin pinValue;
    lum::AudioInPin pinMin;
    lum::AudioInPin pinMax;
    lum::AudioOutPin pinOut;
};

// A module given a four-wide formula (`Lanes`) runs four samples a step where the
// processor offers what it needs (`HasLanes`), one sample at a time otherwise.
template <auto Lanes>
inline constexpr bool kHasLanes = !std::is_null_pointer_v<decltype(Lanes)>;

// Two inputs, one output. Min and Max put the output first (0 Out; 1 A, 2 B in), the
// others last (0 A, 1 B in; 2 Out).
template <float (*Formula)(float, float), bool OutputFirst, auto Lanes = nullptr, bool (*HasLanes)() = nullptr>
class AudioTwoInputModule final : public lum::MpBase {
public:
    explicit AudioTwoInputModule(lum::IMpUnknown* host) : MpBase(host) {
        const std::int32_t first = OutputFirst ? 1 : 0;
        if (OutputFirst) registerPin(0, pinOut);
        registerPin(first, pinA);
        registerPin(first + 1, pinB);
        if (!OutputFirst) registerPin(2, pinOut);
    }
    void onSetPins() override {
        declareStreaming(*this, pinOut, pinA.isStreaming() || pinB.isStreaming());
        if constexpr (kHasLanes<Lanes>) {
            if (HasLanes()) {
                setSubProcess(&AudioTwoInputModule::subProcessLanes);
                return;
            }
        }
        setSubProcess(&AudioTwoInputModule::subProcessScalar);
    }

private:
    // No samples to touch until the host has given every buffer.
    bool buffersSet() const {
        return pinA.getBuffer() != nullptr && pinB.getBuffer() != nullptr && pinOut.getBuffer() != nullptr;
    }
    void subProcessScalar(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        if (!buffersSet()) return;
        scalarSpan<Formula>(pinA.getBuffer(), pinB.getBuffer(), pinOut.getBuffer(), bufferOffset, sampleFrames);
    }
    void subProcessLanes(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        if (!buffersSet()) return;
        vectorSpan<Lanes, Formula>(pinA.getBuffer(), pinB.getBuffer(), pinOut.getBuffer(), bufferOffset, sampleFrames);
    }

    lum::AudioInPin pinA;
    lum::AudioInPin pinB;
    lum::AudioOutPin pinOut;
};

// Pins: 0 In; 1 Out.
template <float (*Formula)(float), auto Lanes = nullptr, bool (*HasLanes)() = nullptr>
class AudioOneInputModule final : public lum::MpBase {
public:
    explicit AudioOneInputModule(lum::IMpUnknown* host) : MpBase(host) {
        registerPin(0, pinIn);
        registerPin(1, pinOut);
    }
    void onSetPins() override {
        declareStreaming(*this, pinOut, pinIn.isStreaming());
        if constexpr (kHasLanes<Lanes>) {
            if (HasLanes()) {
                setSubProcess(&AudioOneInputModule::subProcessLanes);
                return;
            }
        }
        setSubProcess(&AudioOneInputModule::subProcessScalar);
    }

private:
    bool buffersSet() const { return pinIn.getBuffer() != nullptr && pinOut.getBuffer() != nullptr; }
    void subProcessScalar(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        if (!buffersSet()) return;
        scalarSpan<Formula>(pinIn.getBuffer(), pinOut.getBuffer(), bufferOffset, sampleFrames);
    }
    void subProcessLanes(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        if (!buffersSet()) return;
        vectorSpan<Lanes, Formula>(pinIn.getBuffer(), pinOut.getBuffer(), bufferOffset, sampleFrames);
    }

    lum::AudioInPin pinIn;
    lum::AudioOutPin pinOut;
};

using LumAudioMathMin = AudioTwoInputModule<&minimum<float>, true>;
using LumAudioMathMax = AudioTwoInputModule<&maximum<float>, true>;
using LumAudioMathSubtract = AudioTwoInputModule<&subtract, false>;
using LumAudioMathMultiply = AudioTwoInputModule<&audioMultiply, false>;
// Division needs SSE's four-wide arithmetic, the roundings SSE2's float/integer conversion.
using LumAudioMathDivide = AudioTwoInputModule<&audioDivide, false, &audioDivide4, &cpuHasSse>;
using LumAudioMathFloor = AudioOneInputModule<&audioFloor, &audioFloor4, &cpuHasSse2>;
using LumAudioMathCeil = AudioOneInputModule<&audioCeil, &audioCeil4, &cpuHasSse2>;
using LumAudioMathNearest = AudioOneInputModule<&audioNearest, &audioNearest4, &cpuHasSse2>;
using LumAudioMathAbs = AudioOneInputModule<&absolute>;
using LumAudioMathInvert = AudioOneInputModule<&negate>;

}  // namespace kelmath
