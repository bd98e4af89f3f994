// DSP-side modules on sample streams. onSetPins declares the output streaming while any
// input streams, lets the module sleep after one more host block when none does, and
// chooses the sub-process; the sub-process applies the formula sample by sample.
#pragma once

#include <cstdint>

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

// Two inputs, one output. Min and Max put the output first (0 Out; 1 A, 2 B in), the
// others last (0 A, 1 B in; 2 Out).
template <float (*Formula)(float, float), bool OutputFirst>
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
        setSubProcess(&AudioTwoInputModule::subProcessScalar);
    }

private:
    void subProcessScalar(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* a = pinA.getBuffer();
        const float* b = pinB.getBuffer();
        float* out = pinOut.getBuffer();
        if (a == nullptr || b == nullptr || out == nullptr) return;
        scalarSpan<Formula>(a, b, out, bufferOffset, sampleFrames);
    }

    lum::AudioInPin pinA;
    lum::AudioInPin pinB;
    lum::AudioOutPin pinOut;
};

// Pins: 0 A, 1 B in; 2 Out. Four-wide when the processor has SSE.
class LumAudioMathDivide final : public lum::MpBase {
public:
    explicit LumAudioMathDivide(lum::IMpUnknown* host) : MpBase(host) {
        registerPin(0, pinA);
        registerPin(1, pinB);
        registerPin(2, pinOut);
    }
    void onSetPins() override {
        declareStreaming(*this, pinOut, pinA.isStreaming() || pinB.isStreaming());
#if KELMATH_HAS_VECTOR_CODE
        if (cpuHasSse()) {
            setSubProcess(&LumAudioMathDivide::subProcessVector);
            return;
        }
#endif
        setSubProcess(&LumAudioMathDivide::subProcessScalar);
    }

private:
    void subProcessScalar(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* a = pinA.getBuffer();
        const float* b = pinB.getBuffer();
        float* out = pinOut.getBuffer();
        if (a == nullptr || b == nullptr || out == nullptr) return;
        scalarSpan<&audioDivide>(a, b, out, bufferOffset, sampleFrames);
    }
#if KELMATH_HAS_VECTOR_CODE
    void subProcessVector(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* a = pinA.getBuffer();
        const float* b = pinB.getBuffer();
        float* out = pinOut.getBuffer();
        if (a == nullptr || b == nullptr || out == nullptr) return;
        vectorSpan<&audioDivide4, &audioDivide>(a, b, out, bufferOffset, sampleFrames);
    }
#endif

    lum::AudioInPin pinA;
    lum::AudioInPin pinB;
    lum::AudioOutPin pinOut;
};

// Pins: 0 In; 1 Out.
template <float (*Formula)(float)>
class AudioOneInputModule final : public lum::MpBase {
public:
    explicit AudioOneInputModule(lum::IMpUnknown* host) : MpBase(host) {
        registerPin(0, pinIn);
        registerPin(1, pinOut);
    }
    void onSetPins() override {
        declareStreaming(*this, pinOut, pinIn.isStreaming());
        setSubProcess(&AudioOneInputModule::subProcessScalar);
    }

private:
    void subProcessScalar(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* x = pinIn.getBuffer();
        float* out = pinOut.getBuffer();
        if (x == nullptr || out == nullptr) return;
        scalarSpan<Formula>(x, out, bufferOffset, sampleFrames);
    }

    lum::AudioInPin pinIn;
    lum::AudioOutPin pinOut;
};

// Floor, Ceil and Nearest on whole units: one-sample and four-wide formulas of a rounding.
struct FloorRounding {
    static float one(float x) { return audioFloor(x); }
#if KELMATH_HAS_VECTOR_CODE
    static __m128 four(__m128 x) { return audioFloor4(x); }
#endif
};
struct CeilRounding {
    static float one(float x) { return audioCeil(x); }
#if KELMATH_HAS_VECTOR_CODE
    static __m128 four(__m128 x) { return audioCeil4(x); }
#endif
};
struct NearestRounding {
    static float one(float x) { return audioNearest(x); }
#if KELMATH_HAS_VECTOR_CODE
    static __m128 four(__m128 x) { return audioNearest4(x); }
#endif
};

// Pins: 0 In; 1 Out. Four-wide when the processor has SSE2.
template <class Rounding>
class AudioRoundingModule final : public lum::MpBase {
public:
    explicit AudioRoundingModule(lum::IMpUnknown* host) : MpBase(host) {
        registerPin(0, pinIn);
        registerPin(1, pinOut);
    }
    void onSetPins() override {
        declareStreaming(*this, pinOut, pinIn.isStreaming());
#if KELMATH_HAS_VECTOR_CODE
        if (cpuHasSse2()) {
            setSubProcess(&AudioRoundingModule::subProcessVector);
            return;
        }
#endif
        setSubProcess(&AudioRoundingModule::subProcessScalar);
    }

private:
    void subProcessScalar(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* x = pinIn.getBuffer();
        float* out = pinOut.getBuffer();
        if (x == nullptr || out == nullptr) return;
        scalarSpan<&Rounding::one>(x, out, bufferOffset, sampleFrames);
    }
#if KELMATH_HAS_VECTOR_CODE
    void subProcessVector(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* x = pinIn.getBuffer();
        float* out = pinOut.getBuffer();
        if (x == nullptr || out == nullptr) return;
        vectorSpan<&Rounding::four, &Rounding::one>(x, out, bufferOffset, sampleFrames);
    }
#endif

    lum::AudioInPin pinIn;
    lum::AudioOutPin pinOut;
};

using LumAudioMathMin = AudioTwoInputModule<&minimum<float>, true>;
using LumAudioMathMax = AudioTwoInputModule<&maximum<float>, true>;
using LumAudioMathSubtract = AudioTwoInputModule<&subtract, false>;
using LumAudioMathMultiply = AudioTwoInputModule<&audioMultiply, false>;
using LumAudioMathFloor = AudioRoundingModule<FloorRounding>;
using LumAudioMathCeil = AudioRoundingModule<CeilRounding>;
using LumAudioMathNearest = AudioRoundingModule<NearestRounding>;
using LumAudioMathAbs = AudioOneInputModule<&absolute>;
using LumAudioMathInvert = AudioOneInputModule<&negate>;

}  // namespace kelmath
