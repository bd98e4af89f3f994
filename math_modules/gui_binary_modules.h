// GUI-side modules with two or more operands, and the rules every GUI math module shares:
// handlers run on notifyPin, results go back through setOutput only when they changed,
// and two-way modules solve back for their first operand when the host sets a result.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>

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

// How a two-way module computes its result from its operands and solves back for the
// first operand when the host sets a result (the others never change).
struct AddRelation {
    template <class T>
    static T result(T a, T b) {
        return add(a, b);
    }
    template <class T>
    static T solveFirst(T result, T, T b) {
        return subtract(result, b);
    }
};
struct SubtractRelation {
    template <class T>
    static T result(T a, T b) {
        return subtract(a, b);
    }
    template <class T>
    static T solveFirst(T result, T, T b) {
        return add(b, result);
    }
};
struct MultiplyRelation {
    template <class T>
    static T result(T a, T b) {
        return multiply(a, b);
    }
    template <class T>
    static T solveFirst(T result, T, T b) {
        return divideGuarded(result, b);
    }
};
struct DivideRelation {
    template <class T>
    static T result(T a, T b) {
        return divideGuarded(a, b);
    }
    template <class T>
    static T solveFirst(T result, T, T b) {
        return multiply(b, result);
    }
};
// A result set by the host is bounded onto Value and the other copy; the pin the host
// set keeps what it was given.
struct LimitRelation {
    static constexpr bool kBoundsTheResult = true;
    template <class T>
    static T result(T value, T lo, T hi) {
        return limitLowFirst(value, lo, hi);
    }
    template <class T>
    static T solveFirst(T result, T, T lo, T hi) {
        return limitLowFirst(result, lo, hi);
    }
};

template <class Relation, class = void>
inline constexpr bool kBoundsTheResult = false;
template <class Relation>
inline constexpr bool kBoundsTheResult<Relation, std::void_t<decltype(Relation::kBoundsTheResult)>> =
    Relation::kBoundsTheResult;

// Two-way: `Operands` operand pins, then two result pins that are equal copies (pins
// 0 A, 1 B, 2 Out, 3 Out 2; or 0 Value, 1 Min, 2 Max, 3 Out, 4 Out 2). Setting an operand
// computes the result; setting a result copies it and solves back for the first operand.
template <class T, class Relation, std::int32_t Operands>
class GuiTwoWayModule final : public lum::MpGuiBase {
public:
    explicit GuiTwoWayModule(lum::IMpUnknown* host) : MpGuiBase(host) {
        for (std::int32_t i = 0; i < Operands; ++i) operands[i].initialize(*this, i, &GuiTwoWayModule::onInputChanged);
        pinOut.initialize(*this, Operands, &GuiTwoWayModule::onOutChanged);
        pinOut2.initialize(*this, Operands + 1, &GuiTwoWayModule::onOut2Changed);
    }

private:
    void onInputChanged() {
        const UpdateGuard guard(updating);
        if (!guard.entered()) return;
        const T result = std::apply([](auto... x) { return Relation::result(x...); }, operandValues());
        setOutput(pinOut, result);
        setOutput(pinOut2, result);
    }
    void onOutChanged() { solveBack(pinOut, pinOut2); }
    void onOut2Changed() { solveBack(pinOut2, pinOut); }
    void solveBack(const GuiPin<T>& set, GuiPin<T>& copy) {
        const UpdateGuard guard(updating);
        if (!guard.entered()) return;
        const T result = set.getValue();
        const auto solveFirst = [this, result] {
            return std::apply([result](auto... x) { return Relation::solveFirst(result, x...); }, operandValues());
        };
        // Limit writes the bounded value to the operand first, then to the copy.
        if constexpr (kBoundsTheResult<Relation>) {
            const T bounded = solveFirst();
            setOutput(operands[0], bounded);
            setOutput(copy, bounded);
        } else {
            setOutput(copy, result);
            setOutput(operands[0], solveFirst());
        }
    }
    std::array<T, Operands> operandValues() const {
        std::array<T, Operands> values;
        for (std::int32_t i = 0; i < Operands; ++i) values[i] = operands[i].getValue();
        return values;
    }

    GuiPin<T> operands[Operands];
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
using LumGuiMathLimit = GuiTwoWayModule<T, LimitRelation, 3>;
template <class T>
using LumGuiMathAdd = GuiTwoWayModule<T, AddRelation, 2>;
template <class T>
using LumGuiMathSubtract = GuiTwoWayModule<T, SubtractRelation, 2>;
template <class T>
using LumGuiMathMultiply = GuiTwoWayModule<T, MultiplyRelation, 2>;
template <class T>
using LumGuiMathDivide = GuiTwoWayModule<T, DivideRelation, 2>;

}  // namespace kelmath
