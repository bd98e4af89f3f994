// GUI-side modules with two or more operands, and the rules every GUI math module shares:
// handlers run on notifyPin, results go back through setOutput only when they changed,
// and two-way modules solve back for their first operand when the host sets a result.
#pragma once

#include <cstdint>
#include <cstring>

#include "framework/gui_pins.h"
#include "math_functions.h"

namespace kelmath {

template <class T>
using GuiPin = lum::MpGuiPin<T>;

// Writes `value` to the host only when it differs by the value type's own equality:
// IEEE for float (+0 equals -0, a NaN is always written), the stored byte for bool.
template <class T>
void setOutput(GuiPin<T>& pin, typename GuiPin<T>::Value value) {
    if (value == pin.getValue()) return;
    pin.write(value);
}

template <class V>
bool sameBits(V a, V b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Holds the update guard for one handler: `entered` is false for a handler the host runs
// again while its module is writing (notifying from inside writePin), which the guarded
// two-way modules then leave at once.
class UpdateGuard {
public:
    explicit UpdateGuard(bool& updating) : updating_(updating), entered_(!updating) { updating_ = true; }
    UpdateGuard(const UpdateGuard&) = delete;
    UpdateGuard& operator=(const UpdateGuard&) = delete;
    ~UpdateGuard() {
        if (entered_) updating_ = false;
    }
    bool entered() const { return entered_; }

private:
    bool& updating_;
    bool entered_;
};

// Pins: 0 Value, 1 Min, 2 Max, 3 Out, 4 Out 2. A result set by the host is bounded onto
// Value and the other copy; the pin the host set keeps what it was given.
template <class T>
class LumGuiMathLimit final : public lum::MpGuiBase {
public:
    explicit LumGuiMathLimit(lum::IMpUnknown* host) : MpGuiBase(host) {
        pinValue.initialize(*this, 0, &LumGuiMathLimit::onInputChanged);
        pinMin.initialize(*this, 1, &LumGuiMathLimit::onInputChanged);
        pinMax.initialize(*this, 2, &LumGuiMathLimit::onInputChanged);
        pinOut.initialize(*this, 3, &LumGuiMathLimit::onOutChanged);
        pinOut2.initialize(*this, 4, &LumGuiMathLimit::onOut2Changed);
    }

private:
    T clamp(T x) const { return limitLowFirst(x, pinMin.getValue(), pinMax.getValue()); }
    void onInputChanged() {
        const UpdateGuard guard(updating);
        if (!guard.entered()) return;
        const T result = clamp(pinValue.getValue());
        setOutput(pinOut, result);
        setOutput(pinOut2, result);
    }
    void onOutChanged() { solveBack(pinOut, pinOut2); }
    void onOut2Changed() { solveBack(pinOut2, pinOut); }
    void solveBack(const GuiPin<T>& set, GuiPin<T>& copy) {
        const UpdateGuard guard(updating);
        if (!guard.entered()) return;
        const T bounded = clamp(set.getValue());
        setOutput(pinValue, bounded);
        setOutput(copy, bounded);
    }

    GuiPin<T> pinValue;
    GuiPin<T> pinMin;
    GuiPin<T> pinMax;
    GuiPin<T> pinOut;
    GuiPin<T> pinOut2;
    bool updating = false;
};

// One-way; the output first. Pins: 0 Out (no handler), 1 A, 2 B.
template <class T, T (*Formula)(T, T)>
class GuiMinMaxModule final : public lum::MpGuiBase {
public:
    explicit GuiMinMaxModule(lum::IMpUnknown* host) : MpGuiBase(host) {
        pinOut.initialize(*this, 0);
        pinA.initialize(*this, 1, &GuiMinMaxModule::onInputChanged);
        pinB.initialize(*this, 2, &GuiMinMaxModule::onInputChanged);
    }

private:
    void onInputChanged() { setOutput(pinOut, Formula(pinA.getValue(), pinB.getValue())); }

    GuiPin<T> pinOut;
    GuiPin<T> pinA;
    GuiPin<T> pinB;
};

// How a two-way operation computes its result and solves back for A (B never changes).
struct AddRelation {
    template <class T>
    static T result(T a, T b) {
        return add(a, b);
    }
    template <class T>
    static T solveA(T result, T b) {
        return subtract(result, b);
    }
};
struct SubtractRelation {
    template <class T>
    static T result(T a, T b) {
        return subtract(a, b);
    }
    template <class T>
    static T solveA(T result, T b) {
        return add(b, result);
    }
};
struct MultiplyRelation {
    template <class T>
    static T result(T a, T b) {
        return multiply(a, b);
    }
    template <class T>
    static T solveA(T result, T b) {
        return divideGuarded(result, b);
    }
};
struct DivideRelation {
    template <class T>
    static T result(T a, T b) {
        return divideGuarded(a, b);
    }
    template <class T>
    static T solveA(T result, T b) {
        return multiply(b, result);
    }
};

// Pins: 0 A, 1 B, 2 Out, 3 Out 2; the two result pins are equal copies.
template <class T, class Relation>
class GuiTwoWayModule final : public lum::MpGuiBase {
public:
    explicit GuiTwoWayModule(lum::IMpUnknown* host) : MpGuiBase(host) {
        pinA.initialize(*this, 0, &GuiTwoWayModule::onInputChanged);
        pinB.initialize(*this, 1, &GuiTwoWayModule::onInputChanged);
        pinOut.initialize(*this, 2, &GuiTwoWayModule::onOutChanged);
        pinOut2.initialize(*this, 3, &GuiTwoWayModule::onOut2Changed);
    }

private:
    void onInputChanged() {
        const UpdateGuard guard(updating);
        if (!guard.entered()) return;
        const T result = Relation::result(pinA.getValue(), pinB.getValue());
        setOutput(pinOut, result);
        setOutput(pinOut2, result);
    }
    void onOutChanged() { solveBack(pinOut, pinOut2); }
    void onOut2Changed() { solveBack(pinOut2, pinOut); }
    void solveBack(const GuiPin<T>& set, GuiPin<T>& copy) {
        const UpdateGuard guard(updating);
        if (!guard.entered()) return;
        const T result = set.getValue();
        setOutput(copy, result);
        setOutput(pinA, Relation::solveA(result, pinB.getValue()));
    }

    GuiPin<T> pinA;
    GuiPin<T> pinB;
    GuiPin<T> pinOut;
    GuiPin<T> pinOut2;
    bool updating = false;
};

// One-way; computes only when Value changes. Pins: 0 Value, 1 Divisor, 2 Modulus, 3 Out.
template <class T>
class LumWrapGuiValue final : public lum::MpGuiBase {
public:
    explicit LumWrapGuiValue(lum::IMpUnknown* host) : MpGuiBase(host) {
        pinValue.initialize(*this, 0, &LumWrapGuiValue::onInputChanged);
        pinDivisor.initialize(*this, 1);
        pinModulus.initialize(*this, 2);
        pinOut.initialize(*this, 3);
    }

private:
    void onInputChanged() {
        setOutput(pinOut, wrapValue(pinValue.getValue(), pinDivisor.getValue(), pinModulus.getValue()));
    }

    GuiPin<T> pinValue;
    GuiPin<T> pinDivisor;
    GuiPin<T> pinModulus;
    GuiPin<T> pinOut;
};

template <class T>
using LumGuiMathMin = GuiMinMaxModule<T, &minimum<T>>;
template <class T>
using LumGuiMathMax = GuiMinMaxModule<T, &maximum<T>>;
template <class T>
using LumGuiMathAdd = GuiTwoWayModule<T, AddRelation>;
template <class T>
using LumGuiMathSubtract = GuiTwoWayModule<T, SubtractRelation>;
template <class T>
using LumGuiMathMultiply = GuiTwoWayModule<T, MultiplyRelation>;
template <class T>
using LumGuiMathDivide = GuiTwoWayModule<T, DivideRelation>;

}  // namespace kelmath
