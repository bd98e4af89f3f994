// The KEL_MATH catalogue: every module identifier beside its class and side, in
// registration order, the GUI side first. The library registers it at load time; the
// tests read it.
#pragma once

#include <cstdint>

#include "audio_rate_modules.h"
#include "dsp_control_modules.h"
#include "framework/module_registration.h"
#include "gui_binary_modules.h"
#include "gui_unary_modules.h"

namespace kelmath {

struct CatalogueEntry {
    const char16_t* id;
    lum::Subtype side;
    lum::CreatorFunction create;
};

inline constexpr CatalogueEntry kCatalogue[] = {
    {u"KelMathLimitGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathLimit<float>>},
    {u"KelMathLimitGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathLimit<std::int32_t>>},
    {u"KelMathMinGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathMin<float>>},
    {u"KelMathMinGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathMin<std::int32_t>>},
    {u"KelMathMaxGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathMax<float>>},
    {u"KelMathMaxGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathMax<std::int32_t>>},
    {u"KelMathAddGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathAdd<float>>},
    {u"KelMathAddGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathAdd<std::int32_t>>},
    {u"KelMathSubtractGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathSubtract<float>>},
    {u"KelMathSubtractGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathSubtract<std::int32_t>>},
    {u"KelMathMultiplyGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathMultiply<float>>},
    {u"KelMathMultiplyGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathMultiply<std::int32_t>>},
    {u"KelMathDivideGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathDivide<float>>},
    {u"KelMathDivideGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathDivide<std::int32_t>>},
    {u"KelMathFloorGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathFloor>},
    {u"KelMathCeilGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathCeil>},
    {u"KelMathNearestGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathNearest>},
    {u"KelMathScaleUpGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathScaleUp>},
    {u"KelMathScaleDownGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathScaleDown>},
    {u"KelMathWrapGuiFloat", lum::kSubtypeGui, &lum::createModule<LumWrapGuiValue<float>>},
    {u"KelMathWrapGuiInt", lum::kSubtypeGui, &lum::createModule<LumWrapGuiValue<std::int32_t>>},
    {u"KelMathAbsGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathAbs<float>>},
    {u"KelMathAbsGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathAbs<std::int32_t>>},
    {u"KelMathInvertGuiFloat", lum::kSubtypeGui, &lum::createModule<LumGuiMathInvert<float>>},
    {u"KelMathInvertGuiInt", lum::kSubtypeGui, &lum::createModule<LumGuiMathInvert<std::int32_t>>},
    {u"KelMathInvertGuiBool", lum::kSubtypeGui, &lum::createModule<LumGuiMathInvert<bool>>},
    {u"KelMathLimitAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathLimit>},
    {u"KelMathLimitDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathLimit<float>>},
    {u"KelMathLimitDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathLimit<std::int32_t>>},
    {u"KelMathMinAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathMin>},
    {u"KelMathMinDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathMin<float>>},
    {u"KelMathMinDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathMin<std::int32_t>>},
    {u"KelMathMaxAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathMax>},
    {u"KelMathMaxDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathMax<float>>},
    {u"KelMathMaxDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathMax<std::int32_t>>},
    {u"KelMathAddDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathAdd<float>>},
    {u"KelMathAddDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathAdd<std::int32_t>>},
    {u"KelMathSubtractAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathSubtract>},
    {u"KelMathSubtractDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathSubtract<float>>},
    {u"KelMathSubtractDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathSubtract<std::int32_t>>},
    {u"KelMathMultiplyAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathMultiply>},
    {u"KelMathMultiplyDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathMultiply<float>>},
    {u"KelMathMultiplyDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathMultiply<std::int32_t>>},
    {u"KelMathDivideAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathDivide>},
    {u"KelMathDivideDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathDivide<float>>},
    {u"KelMathDivideDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathDivide<std::int32_t>>},
    {u"KelMathFloorAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathFloor>},
    {u"KelMathFloorDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathFloor>},
    {u"KelMathCeilAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathCeil>},
    {u"KelMathCeilDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathCeil>},
    {u"KelMathNearestAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathNearest>},
    {u"KelMathNearestDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathNearest>},
    {u"KelMathAbsAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathAbs>},
    {u"KelMathAbsDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathAbs<float>>},
    {u"KelMathAbsDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathAbs<std::int32_t>>},
    {u"KelMathInvertAudio", lum::kSubtypeDsp, &lum::createModule<LumAudioMathInvert>},
    {u"KelMathInvertDspFloat", lum::kSubtypeDsp, &lum::createModule<LumDspMathInvert<float>>},
    {u"KelMathInvertDspInt", lum::kSubtypeDsp, &lum::createModule<LumDspMathInvert<std::int32_t>>},
    {u"KelMathInvertDspBool", lum::kSubtypeDsp, &lum::createModule<LumDspMathInvert<bool>>},
};

}  // namespace kelmath
