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

// How a scaling maps Value onto the result and the result back onto Value; two-way
// like Add, with the range as the other operands.
struct ScaleUpRelation {
    static float result(float value, float lo, float hi) { return scaleUp(value, lo, hi); }
    static float solveFirst(float result, float, float lo, float hi) { return scaleDown(result, lo, hi); }
};
struct ScaleDownRelation {
    static float result(float value, float lo, float hi) { return scaleDown(value, lo, hi); }
    static float solveFirst(float result, float, float lo, float hi) { return scaleUp(result, lo, hi); }
};

using LumGuiMathFloor = GuiRoundingModule<&floorToFloat>;
using LumGuiMathCeil = GuiRoundingModule<&ceilToFloat>;
using LumGuiMathNearest = GuiRoundingModule<&nearestMagic>;
using LumGuiMathScaleUp = GuiTwoWayModule<float, ScaleUpRelation, 3>;
using LumGuiMathScaleDown = GuiTwoWayModule<float, ScaleDownRelation, 3>;
template <class T>
using LumGuiMathAbs = GuiMirrorModule<T, &absolute>;
template <class T>
using LumGuiMathInvert = GuiMirrorModule<T, &invert>;

}  // namespace kelmath
