// GUI-side modules with one operand (rounding, Abs, Invert) and the linear scalings;
// they share setOutput and the update guard of the binary modules.
#pragma once

#include <cstdint>
#include <type_traits>

#include "gui_binary_modules.h"

namespace kelmath {

// One-way. Pins: 0 In, 1 Out (no handler: a value the host sets there stays).
template <float (*Formula)(float)>
class GuiRoundingModule final : public lum::MpGuiBase {
public:
    explicit GuiRoundingModule(lum::IMpUnknown* host) : MpGuiBase(host) {
        pinIn.initialize(*this, 0, &GuiRoundingModule::onInputChanged);
        pinOut.initialize(*this, 1);
    }

private:
    void onInputChanged() { setOutput(pinOut, Formula(pinIn.getValue())); }

    GuiPin<float> pinIn;
    GuiPin<float> pinOut;
};

// Two-way: each pin drives the other through the same formula. Pins: 0 In, 1 Out.
// Unguarded, as each handler writes only the other pin, so under a host that notifies
// from inside writePin the nested handler still brings the pins into agreement. There a
// value bit-identical to the pin's is not sent again: setOutput resends a NaN every time,
// and a NaN that has gone once round carries the same bits, so the bouncing stops.
template <class T, lum::PinStorage<T> (*Formula)(lum::PinStorage<T>)>
class GuiMirrorModule final : public lum::MpGuiBase {
public:
    explicit GuiMirrorModule(lum::IMpUnknown* host) : MpGuiBase(host) {
        pinIn.initialize(*this, 0, &GuiMirrorModule::onInputChanged);
        pinOut.initialize(*this, 1, &GuiMirrorModule::onOutChanged);
    }

private:
    void onInputChanged() { mirror(pinIn, pinOut); }
    void onOutChanged() { mirror(pinOut, pinIn); }
    void mirror(const GuiPin<T>& from, GuiPin<T>& to) {
        const UpdateGuard guard(writing);
        const lum::PinStorage<T> value = Formula(from.getValue());
        if (!guard.entered() && sameBits(value, to.getValue())) return;
        setOutput(to, value);
    }

    GuiPin<T> pinIn;
    GuiPin<T> pinOut;
    bool writing = false;
};

// How a scaling maps Value onto the result and the result back onto Value.
struct ScaleUpRelation {
    static float result(float value, float lo, float hi) { return scaleUp(value, lo, hi); }
    static float solveValue(float result, float lo, float hi) { return scaleDown(result, lo, hi); }
};
struct ScaleDownRelation {
    static float result(float value, float lo, float hi) { return scaleDown(value, lo, hi); }
    static float solveValue(float result, float lo, float hi) { return scaleUp(result, lo, hi); }
};

// Two-way like Add. Pins: 0 Value, 1 Min, 2 Max, 3 Out, 4 Out 2.
template <class Relation>
class GuiScaleModule final : public lum::MpGuiBase {
public:
    explicit GuiScaleModule(lum::IMpUnknown* host) : MpGuiBase(host) {
        pinValue.initialize(*this, 0, &GuiScaleModule::onInputChanged);
        pinMin.initialize(*this, 1, &GuiScaleModule::onInputChanged);
        pinMax.initialize(*this, 2, &GuiScaleModule::onInputChanged);
        pinOut.initialize(*this, 3, &GuiScaleModule::onOutChanged);
        pinOut2.initialize(*this, 4, &GuiScaleModule::onOut2Changed);
    }

private:
    void onInputChanged() {
        const UpdateGuard guard(updating);
        if (!guard.entered()) return;
        const float result = Relation::result(pinValue.getValue(), pinMin.getValue(), pinMax.getValue());
        setOutput(pinOut, result);
        setOutput(pinOut2, result);
    }
    void onOutChanged() { solveBack(pinOut, pinOut2); }
    void onOut2Changed() { solveBack(pinOut2, pinOut); }
    void solveBack(const GuiPin<float>& set, GuiPin<float>& copy) {
        const UpdateGuard guard(updating);
        if (!guard.entered()) return;
        const float result = set.getValue();
        setOutput(copy, result);
        setOutput(pinValue, Relation::solveValue(result, pinMin.getValue(), pinMax.getValue()));
    }

    GuiPin<float> pinValue;
    GuiPin<float> pinMin;
    GuiPin<float> pinMax;
    GuiPin<float> pinOut;
    GuiPin<float> pinOut2;
    bool updating = false;
};

using LumGuiMathFloor = GuiRoundingModule<&floorToFloat>;
using LumGuiMathCeil = GuiRoundingModule<&ceilToFloat>;
using LumGuiMathNearest = GuiRoundingModule<&nearestMagic>;
using LumGuiMathScaleUp = GuiScaleModule<ScaleUpRelation>;
using LumGuiMathScaleDown = GuiScaleModule<ScaleDownRelation>;
template <class T>
using LumGuiMathAbs = GuiMirrorModule<T, &absolute>;
template <class T>
using LumGuiMathInvert = GuiMirrorModule<T, &invert>;

}  // namespace kelmath
