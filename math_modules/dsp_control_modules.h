// DSP-side modules on control values: they recompute in onSetPins after pin events and
// send their output only when it changed, stamped with the event group's position.
// They never choose a sub-process, so they ask the host to sleep in every block they run.
#pragma once

#include <cstdint>
#include <type_traits>

#include "framework/dsp_pins.h"
#include "math_functions.h"

namespace kelmath {

template <class T>
using ControlIn = lum::MpControlPin<T, lum::kDirectionIn, lum::datatypeOf<T>()>;
template <class T>
using ControlOut = lum::MpControlPin<T, lum::kDirectionOut, lum::datatypeOf<T>()>;
// What a pin of T holds: bool pins keep the host's byte.
template <class T>
using Stored = lum::PinStorage<T>;

// Pins: 0 Value, 1 Min, 2 Max in; 3 Out.
template <class T>
class LumDspMathLimit final : public lum::MpBase {
public:
    explicit LumDspMathLimit(lum::IMpUnknown* host) : MpBase(host) {
        registerPin(0, pinValue);
        registerPin(1, pinMin);
        registerPin(2, pinMax);
        registerPin(3, pinOut);
    }
    void onSetPins() override {
        pinOut.setValue(limitLowFirst(pinValue.getValue(), pinMin.getValue(), pinMax.getValue()));
    }

private:
    ControlIn<T> pinValue;
    ControlIn<T> pinMin;
    ControlIn<T> pinMax;
    ControlOut<T> pinOut;
};

// Two inputs, one output. Min and Max put the output first (0 Out; 1 A, 2 B in), the
// others last (0 A, 1 B in; 2 Out).
template <class T, Stored<T> (*Formula)(Stored<T>, Stored<T>), bool OutputFirst = false>
class DspTwoInputModule final : public lum::MpBase {
public:
    explicit DspTwoInputModule(lum::IMpUnknown* host) : MpBase(host) {
        const std::int32_t first = OutputFirst ? 1 : 0;
        if (OutputFirst) registerPin(0, pinOut);
        registerPin(first, pinA);
        registerPin(first + 1, pinB);
        if (!OutputFirst) registerPin(2, pinOut);
    }
    void onSetPins() override { pinOut.setValue(Formula(pinA.getValue(), pinB.getValue())); }

private:
    ControlIn<T> pinA;
    ControlIn<T> pinB;
    ControlOut<T> pinOut;
};

// Pins: 0 In; 1 Out.
template <class T, Stored<T> (*Formula)(Stored<T>)>
class DspOneInputModule final : public lum::MpBase {
public:
    explicit DspOneInputModule(lum::IMpUnknown* host) : MpBase(host) {
        registerPin(0, pinIn);
        registerPin(1, pinOut);
    }
    void onSetPins() override { pinOut.setValue(Formula(pinIn.getValue())); }

private:
    ControlIn<T> pinIn;
    ControlOut<T> pinOut;
};

// The control side computes B + A and B x A, in that operand order.
template <class T>
T dspAdd(T a, T b) {
    return add(b, a);
}
template <class T>
T dspMultiply(T a, T b) {
    return multiply(b, a);
}

template <class T>
using LumDspMathMin = DspTwoInputModule<T, &minimum<Stored<T>>, true>;
template <class T>
using LumDspMathMax = DspTwoInputModule<T, &maximum<Stored<T>>, true>;
template <class T>
using LumDspMathAdd = DspTwoInputModule<T, &dspAdd<Stored<T>>>;
template <class T>
using LumDspMathSubtract = DspTwoInputModule<T, &subtract>;
template <class T>
using LumDspMathMultiply = DspTwoInputModule<T, &dspMultiply<Stored<T>>>;
template <class T>
using LumDspMathDivide = DspTwoInputModule<T, &divideGuarded>;
using LumDspMathFloor = DspOneInputModule<float, &floorToFloat>;
using LumDspMathCeil = DspOneInputModule<float, &ceilToFloat>;
using LumDspMathNearest = DspOneInputModule<float, &nearestMagic>;
template <class T>
using LumDspMathAbs = DspOneInputModule<T, &absolute>;
template <class T>
using LumDspMathInvert = DspOneInputModule<T, &invert>;

}  // namespace kelmath
