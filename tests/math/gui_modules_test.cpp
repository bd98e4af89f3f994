// GUI math modules: what they write back for the values the host sets, two-way solving,
// and writing only what changed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "math_session.h"

namespace {

using lumhost::HostCall;
using mathtest::floatFromBits;
using mathtest::GuiSession;
using mathtest::kInf;
using mathtest::kIntMax;
using mathtest::kIntMin;
using mathtest::kNaN;
using mathtest::pinSet;
using mathtest::PinSet;
using mathtest::PinValue;

struct GuiCase {
    const char* what;
    std::u16string id;
    std::vector<PinSet> changes;  // each set and notified in turn
    std::vector<PinSet> writes;   // what the last change writes, in order
};

// The host's view of a write; NaNs match any NaN, everything else bit for bit.
bool sameWrite(const HostCall& actual, const HostCall& expected) {
    if (actual.kind != expected.kind || actual.pinIndex != expected.pinIndex || actual.size != expected.size ||
        actual.argument != expected.argument) {
        return false;
    }
    if (actual.size == 4 && std::isnan(actual.value<float>()) && std::isnan(expected.value<float>())) return true;
    return actual.bytes == expected.bytes;
}

std::string describe(const std::vector<HostCall>& calls) {
    std::ostringstream out;
    for (const HostCall& call : calls) out << call << "; ";
    return out.str();
}

void expectWrites(const GuiSession& session, const std::vector<HostCall>& actual, const std::vector<PinSet>& expected,
                  const char* what, bool nanBitsToo = false) {
    std::vector<HostCall> wanted;
    for (const PinSet& set : expected) wanted.push_back(session.writeOf(set));
    bool same = actual.size() == wanted.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i) {
        same = nanBitsToo ? actual[i] == wanted[i] : sameWrite(actual[i], wanted[i]);
    }
    EXPECT_TRUE(same) << what << "\n  wrote:    " << describe(actual) << "\n  expected: " << describe(wanted);
}

void runCases(const std::vector<GuiCase>& cases) {
    for (const GuiCase& c : cases) {
        GuiSession session(c.id);
        ASSERT_EQ(session.status, lum::kOk) << c.what;
        std::vector<HostCall> last;
        for (const PinSet& change : c.changes) last = session.change(change);
        expectWrites(session, last, c.writes, c.what);
    }
}

using I = std::int32_t;
const float kBelowMinDivisor = 0.00001f;
const float kAboveMinDivisor = floatFromBits(mathtest::bitsOf(0.00001f) + 1);

TEST(GuiBinaryModules, ResultsAndSolvedOperandsAreWrittenInOrder) {
    runCases({
        {"add float",
         u"KelMathAddGuiFloat",
         {pinSet("A", 1.5f), pinSet("B", 2.0f)},
         {pinSet("Out", 3.5f), pinSet("Out 2", 3.5f)}},
        {"add float solves A from Out",
         u"KelMathAddGuiFloat",
         {pinSet("A", 1.5f), pinSet("B", 2.0f), pinSet("Out", 10.0f)},
         {pinSet("Out 2", 10.0f), pinSet("A", 8.0f)}},
        {"add int wraps",
         u"KelMathAddGuiInt",
         {pinSet("A", kIntMax), pinSet("B", I{1})},
         {pinSet("Out", kIntMin), pinSet("Out 2", kIntMin)}},
        {"add int solves A with wrapping",
         u"KelMathAddGuiInt",
         {pinSet("B", I{1}), pinSet("Out 2", kIntMin)},
         {pinSet("Out", kIntMin), pinSet("A", kIntMax)}},
        {"subtract float",
         u"KelMathSubtractGuiFloat",
         {pinSet("A", 5.0f), pinSet("B", 3.0f)},
         {pinSet("Out", 2.0f), pinSet("Out 2", 2.0f)}},
        {"subtract solves A from Out 2",
         u"KelMathSubtractGuiFloat",
         {pinSet("A", 5.0f), pinSet("B", 3.0f), pinSet("Out 2", 10.0f)},
         {pinSet("Out", 10.0f), pinSet("A", 13.0f)}},
        {"subtract int wraps",
         u"KelMathSubtractGuiInt",
         {pinSet("A", kIntMin), pinSet("B", I{1})},
         {pinSet("Out", kIntMax), pinSet("Out 2", kIntMax)}},
        {"multiply int wraps",
         u"KelMathMultiplyGuiInt",
         {pinSet("A", kIntMax), pinSet("B", I{2})},
         {pinSet("Out", I{-2}), pinSet("Out 2", I{-2})}},
        {"multiply solves A with the divisor guard",
         u"KelMathMultiplyGuiFloat",
         {pinSet("Out", 6.0f)},
         {pinSet("Out 2", 6.0f), pinSet("A", 6.0f)}},
        {"multiply int solves A truncated",
         u"KelMathMultiplyGuiInt",
         {pinSet("B", I{4}), pinSet("Out", I{6})},
         {pinSet("Out 2", I{6}), pinSet("A", I{1})}},
        {"divide float by zero gives A",
         u"KelMathDivideGuiFloat",
         {pinSet("A", 6.0f)},
         {pinSet("Out", 6.0f), pinSet("Out 2", 6.0f)}},
        {"divide float by a negative gives A", u"KelMathDivideGuiFloat", {pinSet("A", 6.0f), pinSet("B", -2.0f)}, {}},
        {"divide float by the float nearest 0.00001 gives A",
         u"KelMathDivideGuiFloat",
         {pinSet("A", 6.0f), pinSet("B", kBelowMinDivisor)},
         {}},
        {"divide float by the next float up",
         u"KelMathDivideGuiFloat",
         {pinSet("A", 6.0f), pinSet("B", kAboveMinDivisor)},
         {pinSet("Out", 6.0f / kAboveMinDivisor), pinSet("Out 2", 6.0f / kAboveMinDivisor)}},
        {"divide int truncates",
         u"KelMathDivideGuiInt",
         {pinSet("A", I{7}), pinSet("B", I{2})},
         {pinSet("Out", I{3}), pinSet("Out 2", I{3})}},
        {"divide int truncates toward zero",
         u"KelMathDivideGuiInt",
         {pinSet("B", I{2}), pinSet("A", I{-7})},
         {pinSet("Out", I{-3}), pinSet("Out 2", I{-3})}},
        {"divide int by a negative gives A",
         u"KelMathDivideGuiInt",
         {pinSet("B", I{-3}), pinSet("A", I{7})},
         {pinSet("Out", I{7}), pinSet("Out 2", I{7})}},
        {"divide int of the most negative by -1",
         u"KelMathDivideGuiInt",
         {pinSet("B", I{-1}), pinSet("A", kIntMin)},
         {pinSet("Out", kIntMin), pinSet("Out 2", kIntMin)}},
        {"divide int solves A",
         u"KelMathDivideGuiInt",
         {pinSet("B", I{2}), pinSet("Out", I{4})},
         {pinSet("Out 2", I{4}), pinSet("A", I{8})}},
    });
}

TEST(GuiBinaryModules, LimitBoundsTheResultAndTheSolvedValue) {
    runCases({
        {"above the range",
         u"KelMathLimitGuiFloat",
         {pinSet("Max", 10.0f), pinSet("Value", 15.0f)},
         {pinSet("Out", 10.0f), pinSet("Out 2", 10.0f)}},
        {"below the range",
         u"KelMathLimitGuiFloat",
         {pinSet("Max", 10.0f), pinSet("Value", 15.0f), pinSet("Value", -1.0f)},
         {pinSet("Out", 0.0f), pinSet("Out 2", 0.0f)}},
        {"inverted range, below Min",
         u"KelMathLimitGuiInt",
         {pinSet("Min", I{10}), pinSet("Value", I{20}), pinSet("Value", I{5})},
         {pinSet("Out", I{10}), pinSet("Out 2", I{10})}},
        {"inverted range, above Min",
         u"KelMathLimitGuiInt",
         {pinSet("Min", I{10}), pinSet("Value", I{20})},
         {pinSet("Out", I{0}), pinSet("Out 2", I{0})}},
        {"NaN passes",
         u"KelMathLimitGuiFloat",
         {pinSet("Max", 10.0f), pinSet("Value", kNaN)},
         {pinSet("Out", kNaN), pinSet("Out 2", kNaN)}},
        {"a NaN bound is never chosen",
         u"KelMathLimitGuiFloat",
         {pinSet("Max", kNaN), pinSet("Value", 15.0f)},
         {pinSet("Out", 15.0f), pinSet("Out 2", 15.0f)}},
        {"Out set outside the range bounds Value and Out 2",
         u"KelMathLimitGuiFloat",
         {pinSet("Max", 10.0f), pinSet("Out", 15.0f)},
         {pinSet("Value", 10.0f), pinSet("Out 2", 10.0f)}},
        {"Out keeps what the host set",
         u"KelMathLimitGuiFloat",
         {pinSet("Max", 10.0f), pinSet("Out", 15.0f), pinSet("Value", 10.0f)},
         {pinSet("Out", 10.0f)}},
        {"Out 2 set outside the range bounds Value and Out",
         u"KelMathLimitGuiInt",
         {pinSet("Max", I{10}), pinSet("Value", I{5}), pinSet("Out 2", I{-5})},
         {pinSet("Value", I{0}), pinSet("Out", I{0})}},
    });
}

TEST(GuiBinaryModules, MinAndMaxComputeOneWay) {
    runCases({
        {"min of a NaN A", u"KelMathMinGuiFloat", {pinSet("A", kNaN)}, {pinSet("Out", kNaN)}},
        {"min ignores a NaN B", u"KelMathMinGuiFloat", {pinSet("B", kNaN), pinSet("A", 1.0f)}, {pinSet("Out", 1.0f)}},
        {"min int", u"KelMathMinGuiInt", {pinSet("A", I{5}), pinSet("B", I{-3})}, {pinSet("Out", I{-3})}},
        {"max of a NaN A", u"KelMathMaxGuiFloat", {pinSet("A", kNaN)}, {pinSet("Out", kNaN)}},
        {"max ignores a NaN B", u"KelMathMaxGuiFloat", {pinSet("B", kNaN), pinSet("A", 1.0f)}, {pinSet("Out", 1.0f)}},
        {"max int", u"KelMathMaxGuiInt", {pinSet("A", I{-5}), pinSet("B", I{-3})}, {pinSet("Out", I{-3})}},
        {"a tie of +0 and -0 gives A",
         u"KelMathMaxGuiFloat",
         {pinSet("A", 1.0f), pinSet("A", -0.0f)},
         {pinSet("Out", -0.0f)}},
        {"Out set by the host computes nothing", u"KelMathMinGuiInt", {pinSet("Out", I{7})}, {}},
    });
}

TEST(GuiBinaryModules, WrapComputesWhenValueChanges) {
    runCases({
        {"float remainder",
         u"KelMathWrapGuiFloat",
         {pinSet("Modulus", 4.0f), pinSet("Value", 7.5f)},
         {pinSet("Out", 3.5f)}},
        {"float remainder keeps the sign",
         u"KelMathWrapGuiFloat",
         {pinSet("Modulus", 4.0f), pinSet("Value", -7.5f)},
         {pinSet("Out", -3.5f)}},
        {"float modulus below 1 is 1",
         u"KelMathWrapGuiFloat",
         {pinSet("Modulus", 0.5f), pinSet("Value", 2.25f)},
         {pinSet("Out", 0.25f)}},
        {"float divisor",
         u"KelMathWrapGuiFloat",
         {pinSet("Divisor", 2.0f), pinSet("Modulus", 3.0f), pinSet("Value", 9.0f)},
         {pinSet("Out", 1.5f)}},
        {"int",
         u"KelMathWrapGuiInt",
         {pinSet("Divisor", I{2}), pinSet("Modulus", I{3}), pinSet("Value", I{9})},
         {pinSet("Out", I{1})}},
        {"int keeps the sign",
         u"KelMathWrapGuiInt",
         {pinSet("Divisor", I{1}), pinSet("Modulus", I{4}), pinSet("Value", I{-7})},
         {pinSet("Out", I{-3})}},
        {"int modulus of 1 or less gives 0",
         u"KelMathWrapGuiInt",
         {pinSet("Modulus", I{4}), pinSet("Value", I{5}), pinSet("Modulus", I{-2}), pinSet("Value", I{5})},
         {pinSet("Out", I{0})}},
        {"int most negative value",
         u"KelMathWrapGuiInt",
         {pinSet("Divisor", I{-1}), pinSet("Modulus", I{7}), pinSet("Value", kIntMin)},
         {pinSet("Out", I{-2})}},
        {"a new modulus alone writes nothing",
         u"KelMathWrapGuiInt",
         {pinSet("Modulus", I{4}), pinSet("Value", I{7}), pinSet("Modulus", I{3})},
         {}},
        {"it takes effect with the next value",
         u"KelMathWrapGuiInt",
         {pinSet("Modulus", I{4}), pinSet("Value", I{7}), pinSet("Modulus", I{3}), pinSet("Value", I{7})},
         {pinSet("Out", I{1})}},
    });
}

TEST(GuiBinaryModules, OnlyChangedResultsAreWrittenButNaNAlwaysIs) {
    GuiSession add(u"KelMathAddGuiInt");
    add.change("A", I{2});
    expectWrites(add, add.change("A", I{2}), {}, "the same value notified again");
    expectWrites(add, add.change("B", I{0}), {}, "an operand that leaves the sum");
    add.change("Out", I{9});
    expectWrites(add, add.change("Out 2", I{9}), {}, "a result copy that already agrees");

    GuiSession min(u"KelMathMinGuiFloat");
    for (int i = 0; i < 3; ++i) {
        expectWrites(min, min.change("A", kNaN), {pinSet("Out", kNaN)}, "a NaN result on every notification");
    }
}

TEST(GuiUnaryModules, RoundingIsOneWay) {
    runCases({
        {"floor", u"KelMathFloorGuiFloat", {pinSet("In", -1.5f)}, {pinSet("Out", -2.0f)}},
        {"floor of a whole number", u"KelMathFloorGuiFloat", {pinSet("In", 2.0f)}, {pinSet("Out", 2.0f)}},
        {"floor of -0 equals 0", u"KelMathFloorGuiFloat", {pinSet("In", -0.0f)}, {}},
        {"floor of infinity", u"KelMathFloorGuiFloat", {pinSet("In", -kInf)}, {pinSet("Out", -kInf)}},
        {"ceil", u"KelMathCeilGuiFloat", {pinSet("In", -1.5f)}, {pinSet("Out", -1.0f)}},
        {"ceil up", u"KelMathCeilGuiFloat", {pinSet("In", 1.2f)}, {pinSet("Out", 2.0f)}},
        {"ceil of NaN", u"KelMathCeilGuiFloat", {pinSet("In", kNaN)}, {pinSet("Out", kNaN)}},
        {"nearest 0.5 to even", u"KelMathNearestGuiFloat", {pinSet("In", 0.5f)}, {}},
        {"nearest 1.5 to even", u"KelMathNearestGuiFloat", {pinSet("In", 1.5f)}, {pinSet("Out", 2.0f)}},
        {"nearest 2.5 to even", u"KelMathNearestGuiFloat", {pinSet("In", 2.5f)}, {pinSet("Out", 2.0f)}},
        {"nearest -2.5 to even", u"KelMathNearestGuiFloat", {pinSet("In", -2.5f)}, {pinSet("Out", -2.0f)}},
        {"nearest 2.6", u"KelMathNearestGuiFloat", {pinSet("In", 2.6f)}, {pinSet("Out", 3.0f)}},
        {"nearest just below a half", u"KelMathNearestGuiFloat", {pinSet("In", 0.49999997f)}, {}},
        {"nearest -0.5 is +0",
         u"KelMathNearestGuiFloat",
         {pinSet("In", 5.0f), pinSet("In", -0.5f)},
         {pinSet("Out", 0.0f)}},
        {"nearest wraps past 32 bits",
         u"KelMathNearestGuiFloat",
         {pinSet("In", 3000000000.0f)},
         {pinSet("Out", -1294967296.0f)}},
        {"nearest of 1e20", u"KelMathNearestGuiFloat", {pinSet("In", 1e20f)}, {pinSet("Out", -2147483648.0f)}},
        {"nearest of infinity",
         u"KelMathNearestGuiFloat",
         {pinSet("In", 5.0f), pinSet("In", kInf)},
         {pinSet("Out", 0.0f)}},
        {"Out set by the host computes nothing", u"KelMathNearestGuiFloat", {pinSet("Out", 2.5f)}, {}},
    });
}

TEST(GuiUnaryModules, AbsAndInvertDriveEachOther) {
    runCases({
        {"abs float", u"KelMathAbsGuiFloat", {pinSet("In", -2.0f)}, {pinSet("Out", 2.0f)}},
        {"abs float solves In", u"KelMathAbsGuiFloat", {pinSet("Out", -3.0f)}, {pinSet("In", 3.0f)}},
        {"abs float of -0 equals 0", u"KelMathAbsGuiFloat", {pinSet("In", -0.0f)}, {}},
        {"abs float clears a NaN's sign",
         u"KelMathAbsGuiFloat",
         {pinSet("In", floatFromBits(0xFFC00001u))},
         {pinSet("Out", floatFromBits(0x7FC00001u))}},
        {"abs int", u"KelMathAbsGuiInt", {pinSet("In", I{-9})}, {pinSet("Out", I{9})}},
        {"abs int of the most negative", u"KelMathAbsGuiInt", {pinSet("In", kIntMin)}, {pinSet("Out", kIntMin)}},
        {"invert float", u"KelMathInvertGuiFloat", {pinSet("In", 2.5f)}, {pinSet("Out", -2.5f)}},
        {"invert float solves In", u"KelMathInvertGuiFloat", {pinSet("Out", 4.0f)}, {pinSet("In", -4.0f)}},
        {"invert float of 0 is -0, equal to 0", u"KelMathInvertGuiFloat", {pinSet("In", 0.0f)}, {}},
        {"invert float flips a NaN's sign",
         u"KelMathInvertGuiFloat",
         {pinSet("In", floatFromBits(0x7FC00001u))},
         {pinSet("Out", floatFromBits(0xFFC00001u))}},
        {"invert int", u"KelMathInvertGuiInt", {pinSet("In", I{7})}, {pinSet("Out", I{-7})}},
        {"invert int of the most negative", u"KelMathInvertGuiInt", {pinSet("In", kIntMin)}, {pinSet("Out", kIntMin)}},
        {"invert bool of false", u"KelMathInvertGuiBool", {pinSet("In", false)}, {pinSet("Out", true)}},
        {"invert bool of true",
         u"KelMathInvertGuiBool",
         {pinSet("In", false), pinSet("In", true)},
         {pinSet("Out", false)}},
        {"invert bool solves In", u"KelMathInvertGuiBool", {pinSet("Out", false)}, {pinSet("In", true)}},
        {"invert bool of a byte 2 is true",
         u"KelMathInvertGuiBool",
         {{"In", mathtest::byteValue(2)}},
         {pinSet("Out", true)}},
        {"invert bool of the integer 7 is false", u"KelMathInvertGuiBool", {pinSet("In", I{7})}, {}},
    });
}

TEST(GuiUnaryModules, ScalingsMapBothWaysWithoutClamping) {
    runCases({
        {"scale up",
         u"KelMathScaleUpGuiFloat",
         {pinSet("Min", 10.0f), pinSet("Max", 20.0f), pinSet("Value", 0.25f)},
         {pinSet("Out", 12.5f), pinSet("Out 2", 12.5f)}},
        {"scale up solves Value from Out 2",
         u"KelMathScaleUpGuiFloat",
         {pinSet("Min", 10.0f), pinSet("Max", 20.0f), pinSet("Value", 0.25f), pinSet("Out 2", 15.0f)},
         {pinSet("Out", 15.0f), pinSet("Value", 0.5f)}},
        {"scale down",
         u"KelMathScaleDownGuiFloat",
         {pinSet("Min", 10.0f), pinSet("Max", 20.0f), pinSet("Value", 12.5f)},
         {pinSet("Out", 0.25f), pinSet("Out 2", 0.25f)}},
        {"scale down extrapolates",
         u"KelMathScaleDownGuiFloat",
         {pinSet("Min", 10.0f), pinSet("Max", 20.0f), pinSet("Value", 30.0f)},
         {pinSet("Out", 2.0f), pinSet("Out 2", 2.0f)}},
        {"scale down solves Value from Out",
         u"KelMathScaleDownGuiFloat",
         {pinSet("Min", 10.0f), pinSet("Max", 20.0f), pinSet("Out", 0.5f)},
         {pinSet("Out 2", 0.5f), pinSet("Value", 15.0f)}},
        {"scale down of an empty range",
         u"KelMathScaleDownGuiFloat",
         {pinSet("Min", 10.0f), pinSet("Max", 10.0f), pinSet("Value", 12.0f)},
         {pinSet("Out", kInf), pinSet("Out 2", kInf)}},
        {"scale down of an empty range at its point",
         u"KelMathScaleDownGuiFloat",
         {pinSet("Min", 10.0f), pinSet("Max", 10.0f), pinSet("Value", 10.0f), pinSet("Value", 10.0f)},
         {pinSet("Out", kNaN), pinSet("Out 2", kNaN)}},
        {"scale up solves Value of an empty range",
         u"KelMathScaleUpGuiFloat",
         {pinSet("Min", 10.0f), pinSet("Max", 10.0f), pinSet("Out", 11.0f)},
         {pinSet("Out 2", 11.0f), pinSet("Value", kInf)}},
    });
}

// A host that answers every writePin by setting and notifying that pin of the module at
// once, as a user interface that echoes values would.
class EchoingGuiHost final : public lum::IMpGuiHost {
public:
    static constexpr int kMaxDepth = 32;

    std::int32_t LUM_CALL queryInterface(const lum::Guid* iid, void** out) override {
        if (out == nullptr) return lum::kFailed;
        const bool answered = iid != nullptr && (*iid == lum::kIidMpGuiHost || *iid == lum::kIidMpUnknown);
        *out = answered ? this : nullptr;
        return answered ? lum::kOk : lum::kNotFound;
    }
    std::int32_t LUM_CALL addRef() override { return 1; }
    std::int32_t LUM_CALL release() override { return 1; }
    std::int32_t LUM_CALL writePin(std::int32_t pinIndex, std::int32_t size, const void* data,
                                   std::int32_t voice) override {
        writes.push_back(lumhost::writePinCall(pinIndex, size, data));
        writes.back().argument = voice;
        if (depth >= kMaxDepth) {
            runaway = true;
            return lum::kOk;
        }
        ++depth;
        module->setPin(pinIndex, 0, size, data);
        module->notifyPin(pinIndex, 0);
        --depth;
        return lum::kOk;
    }

    lum::IMpUserInterface* module = nullptr;
    std::vector<HostCall> writes;
    int depth = 0;
    bool runaway = false;
};

struct EchoCase {
    const char* what;
    std::u16string id;
    PinSet change;
    std::vector<PinSet> writes;
};

// Guarded modules ignore the nested notification; Abs and Invert run it, so both pins end
// consistent, and a NaN stops once it has gone round with the same bits.
TEST(GuiModules, HostNotifyingFromInsideWritePinSettles) {
    const float kNegativeNaN = floatFromBits(0xFFC00001u);
    const float kPositiveNaN = floatFromBits(0x7FC00001u);
    const EchoCase cases[] = {
        {"add", u"KelMathAddGuiFloat", pinSet("A", 2.0f), {pinSet("Out", 2.0f), pinSet("Out 2", 2.0f)}},
        {"limit", u"KelMathLimitGuiInt", pinSet("Min", I{3}), {pinSet("Out", I{3}), pinSet("Out 2", I{3})}},
        {"scale", u"KelMathScaleUpGuiFloat", pinSet("Out", 3.0f), {pinSet("Out 2", 3.0f), pinSet("Value", kInf)}},
        {"abs float of a negative Out",
         u"KelMathAbsGuiFloat",
         pinSet("Out", -7.0f),
         {pinSet("In", 7.0f), pinSet("Out", 7.0f)}},
        {"abs int of a negative Out",
         u"KelMathAbsGuiInt",
         pinSet("Out", I{-7}),
         {pinSet("In", I{7}), pinSet("Out", I{7})}},
        {"abs int of a negative In",
         u"KelMathAbsGuiInt",
         pinSet("In", I{-3}),
         {pinSet("Out", I{3}), pinSet("In", I{3})}},
        {"invert bool of an Out byte 2",
         u"KelMathInvertGuiBool",
         {"Out", mathtest::byteValue(2)},
         {pinSet("In", true), pinSet("Out", false)}},
        {"invert int is its own inverse", u"KelMathInvertGuiInt", pinSet("In", I{5}), {pinSet("Out", I{-5})}},
        {"abs of a negative NaN on In",
         u"KelMathAbsGuiFloat",
         pinSet("In", kNegativeNaN),
         {pinSet("Out", kPositiveNaN), pinSet("In", kPositiveNaN)}},
        {"abs of a negative NaN on Out",
         u"KelMathAbsGuiFloat",
         pinSet("Out", kNegativeNaN),
         {pinSet("In", kPositiveNaN), pinSet("Out", kPositiveNaN)}},
        {"abs of a positive NaN on In",
         u"KelMathAbsGuiFloat",
         pinSet("In", kPositiveNaN),
         {pinSet("Out", kPositiveNaN)}},
        {"invert of a NaN on Out",
         u"KelMathInvertGuiFloat",
         pinSet("Out", kNaN),
         {pinSet("In", floatFromBits(0xFFC00000u))}},
        {"invert of a negative NaN on In",
         u"KelMathInvertGuiFloat",
         pinSet("In", kNegativeNaN),
         {pinSet("Out", kPositiveNaN)}},
    };
    for (const EchoCase& c : cases) {
        EchoingGuiHost echo;
        GuiSession session(c.id, &echo);
        ASSERT_EQ(session.status, lum::kOk) << c.what;
        echo.module = session.gui.get();
        const std::int32_t pin = session.pin(c.change.pin);
        session.gui->setPin(pin, 0, c.change.value.size, c.change.value.bytes.data());
        session.gui->notifyPin(pin, 0);
        EXPECT_FALSE(echo.runaway) << c.what;
        expectWrites(session, echo.writes, c.writes, c.what, /*nanBitsToo=*/true);
    }
}

}  // namespace
