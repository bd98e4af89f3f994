// The KEL_MATH catalogue: every module identifier with its class, registered at load
// time in this order, the GUI side first.
#include "audio_rate_modules.h"
#include "dsp_control_modules.h"
#include "framework/module_registration.h"
#include "gui_binary_modules.h"
#include "gui_unary_modules.h"

namespace {

using namespace kelmath;
using lum::createModule;
using lum::registerDspCreator;
using lum::registerGuiCreator;
using std::int32_t;

const int32_t kRegistered[] = {
    registerGuiCreator(u"KelMathLimitGuiFloat", &createModule<LumGuiMathLimit<float>>),
    registerGuiCreator(u"KelMathLimitGuiInt", &createModule<LumGuiMathLimit<int32_t>>),
    registerGuiCreator(u"KelMathMinGuiFloat", &createModule<LumGuiMathMin<float>>),
    registerGuiCreator(u"KelMathMinGuiInt", &createModule<LumGuiMathMin<int32_t>>),
    registerGuiCreator(u"KelMathMaxGuiFloat", &createModule<LumGuiMathMax<float>>),
    registerGuiCreator(u"KelMathMaxGuiInt", &createModule<LumGuiMathMax<int32_t>>),
    registerGuiCreator(u"KelMathAddGuiFloat", &createModule<LumGuiMathAdd<float>>),
    registerGuiCreator(u"KelMathAddGuiInt", &createModule<LumGuiMathAdd<int32_t>>),
    registerGuiCreator(u"KelMathSubtractGuiFloat", &createModule<LumGuiMathSubtract<float>>),
    registerGuiCreator(u"KelMathSubtractGuiInt", &createModule<LumGuiMathSubtract<int32_t>>),
    registerGuiCreator(u"KelMathMultiplyGuiFloat", &createModule<LumGuiMathMultiply<float>>),
    registerGuiCreator(u"KelMathMultiplyGuiInt", &createModule<LumGuiMathMultiply<int32_t>>),
    registerGuiCreator(u"KelMathDivideGuiFloat", &createModule<LumGuiMathDivide<float>>),
    registerGuiCreator(u"KelMathDivideGuiInt", &createModule<LumGuiMathDivide<int32_t>>),
    registerGuiCreator(u"KelMathFloorGuiFloat", &createModule<LumGuiMathFloor>),
    registerGuiCreator(u"KelMathCeilGuiFloat", &createModule<LumGuiMathCeil>),
    registerGuiCreator(u"KelMathNearestGuiFloat", &createModule<LumGuiMathNearest>),
    registerGuiCreator(u"KelMathScaleUpGuiFloat", &createModule<LumGuiMathScaleUp>),
    registerGuiCreator(u"KelMathScaleDownGuiFloat", &createModule<LumGuiMathScaleDown>),
    registerGuiCreator(u"KelMathWrapGuiFloat", &createModule<LumWrapGuiValue<float>>),
    registerGuiCreator(u"KelMathWrapGuiInt", &createModule<LumWrapGuiValue<int32_t>>),
    registerGuiCreator(u"KelMathAbsGuiFloat", &createModule<LumGuiMathAbs<float>>),
    registerGuiCreator(u"KelMathAbsGuiInt", &createModule<LumGuiMathAbs<int32_t>>),
    registerGuiCreator(u"KelMathInvertGuiFloat", &createModule<LumGuiMathInvert<float>>),
    registerGuiCreator(u"KelMathInvertGuiInt", &createModule<LumGuiMathInvert<int32_t>>),
    registerGuiCreator(u"KelMathInvertGuiBool", &createModule<LumGuiMathInvert<bool>>),
    registerDspCreator(u"KelMathLimitAudio", &createModule<LumAudioMathLimit>),
    registerDspCreator(u"KelMathLimitDspFloat", &createModule<LumDspMathLimit<float>>),
    registerDspCreator(u"KelMathLimitDspInt", &createModule<LumDspMathLimit<int32_t>>),
    registerDspCreator(u"KelMathMinAudio", &createModule<LumAudioMathMin>),
    registerDspCreator(u"KelMathMinDspFloat", &createModule<LumDspMathMin<float>>),
    registerDspCreator(u"KelMathMinDspInt", &createModule<LumDspMathMin<int32_t>>),
    registerDspCreator(u"KelMathMaxAudio", &createModule<LumAudioMathMax>),
    registerDspCreator(u"KelMathMaxDspFloat", &createModule<LumDspMathMax<float>>),
    registerDspCreator(u"KelMathMaxDspInt", &createModule<LumDspMathMax<int32_t>>),
    registerDspCreator(u"KelMathAddDspFloat", &createModule<LumDspMathAdd<float>>),
    registerDspCreator(u"KelMathAddDspInt", &createModule<LumDspMathAdd<int32_t>>),
    registerDspCreator(u"KelMathSubtractAudio", &createModule<LumAudioMathSubtract>),
    registerDspCreator(u"KelMathSubtractDspFloat", &createModule<LumDspMathSubtract<float>>),
    registerDspCreator(u"KelMathSubtractDspInt", &createModule<LumDspMathSubtract<int32_t>>),
    registerDspCreator(u"KelMathMultiplyAudio", &createModule<LumAudioMathMultiply>),
    registerDspCreator(u"KelMathMultiplyDspFloat", &createModule<LumDspMathMultiply<float>>),
    registerDspCreator(u"KelMathMultiplyDspInt", &createModule<LumDspMathMultiply<int32_t>>),
    registerDspCreator(u"KelMathDivideAudio", &createModule<LumAudioMathDivide>),
    registerDspCreator(u"KelMathDivideDspFloat", &createModule<LumDspMathDivide<float>>),
    registerDspCreator(u"KelMathDivideDspInt", &createModule<LumDspMathDivide<int32_t>>),
    registerDspCreator(u"KelMathFloorAudio", &createModule<LumAudioMathFloor>),
    registerDspCreator(u"KelMathFloorDspFloat", &createModule<LumDspMathFloor>),
    registerDspCreator(u"KelMathCeilAudio", &createModule<LumAudioMathCeil>),
    registerDspCreator(u"KelMathCeilDspFloat", &createModule<LumDspMathCeil>),
    registerDspCreator(u"KelMathNearestAudio", &createModule<LumAudioMathNearest>),
    registerDspCreator(u"KelMathNearestDspFloat", &createModule<LumDspMathNearest>),
    registerDspCreator(u"KelMathAbsAudio", &createModule<LumAudioMathAbs>),
    registerDspCreator(u"KelMathAbsDspFloat", &createModule<LumDspMathAbs<float>>),
    registerDspCreator(u"KelMathAbsDspInt", &createModule<LumDspMathAbs<int32_t>>),
    registerDspCreator(u"KelMathInvertAudio", &createModule<LumAudioMathInvert>),
    registerDspCreator(u"KelMathInvertDspFloat", &createModule<LumDspMathInvert<float>>),
    registerDspCreator(u"KelMathInvertDspInt", &createModule<LumDspMathInvert<int32_t>>),
    registerDspCreator(u"KelMathInvertDspBool", &createModule<LumDspMathInvert<bool>>),
};
static_assert(sizeof kRegistered / sizeof kRegistered[0] == 59, "the catalogue has 59 identifiers");

}  // namespace
