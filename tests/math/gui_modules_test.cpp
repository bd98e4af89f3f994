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

// Pin indices by family.
enum RangePins { kValue = 0, kLo = 1, kHi = 2, kRangeOut = 3, kRangeOut2 = 4 };
enum MinMaxPins { kMinMaxOut = 0, kMinMaxA = 1, kMinMaxB = 2 };
enum TwoWayPins { kA = 0, kB = 1, kOut = 2, kOut2 = 3 };
enum WrapPins { kWrapValue = 0, kDivisor = 1, kModulus = 2, kWrapOut = 3 };
enum UnaryPins { kIn = 0, kUnaryOut = 1 };

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

void expectWrites(const std::vector<HostCall>& actual, const std::vector<PinSet>& expected, const char* what,
                  bool nanBitsToo = false) {
    std::vector<HostCall> wanted;
    for (const PinSet& set : expected) wanted.push_back(mathtest::writeOf(set));
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
        expectWrites(last, c.writes, c.what);
    }
}

using I = std::int32_t;
const float kBelowMinDivisor = 0.00001f;
const float kAboveMinDivisor = floatFromBits(mathtest::bitsOf(0.00001f) + 1);

TEST(GuiBinaryModules, ResultsAndSolvedOperandsAreWrittenInOrder) {
    runCases({
        {"add float",
         u"KelMathAddGuiFloat",
         {pinSet(kA, 1.5f), pinSet(kB, 2.0f)},
         {pinSet(kOut, 3.5f), pinSet(kOut2, 3.5f)}},
        {"add float solves A from Out",
         u"KelMathAddGuiFloat",
         {pinSet(kA, 1.5f), pinSet(kB, 2.0f), pinSet(kOut, 10.0f)},
         {pinSet(kOut2, 10.0f), pinSet(kA, 8.0f)}},
        {"add int wraps",
         u"KelMathAddGuiInt",
         {pinSet(kA, kIntMax), pinSet(kB, I{1})},
         {pinSet(kOut, kIntMin), pinSet(kOut2, kIntMin)}},
        {"add int solves A with wrapping",
         u"KelMathAddGuiInt",
         {pinSet(kB, I{1}), pinSet(kOut2, kIntMin)},
         {pinSet(kOut, kIntMin), pinSet(kA, kIntMax)}},
        {"subtract float",
         u"KelMathSubtractGuiFloat",
         {pinSet(kA, 5.0f), pinSet(kB, 3.0f)},
         {pinSet(kOut, 2.0f), pinSet(kOut2, 2.0f)}},
        {"subtract solves A from Out 2",
         u"KelMathSubtractGuiFloat",
         {pinSet(kA, 5.0f), pinSet(kB, 3.0f), pinSet(kOut2, 10.0f)},
         {pinSet(kOut, 10.0f), pinSet(kA, 13.0f)}},
        {"subtract int wraps",
         u"KelMathSubtractGuiInt",
         {pinSet(kA, kIntMin), pinSet(kB, I{1})},
         {pinSet(kOut, kIntMax), pinSet(kOut2, kIntMax)}},
        {"multiply int wraps",
         u"KelMathMultiplyGuiInt",
         {pinSet(kA, kIntMax), pinSet(kB, I{2})},
         {pinSet(kOut, I{-2}), pinSet(kOut2, I{-2})}},
        {"multiply solves A with the divisor guard",
         u"KelMathMultiplyGuiFloat",
         {pinSet(kOut, 6.0f)},
         {pinSet(kOut2, 6.0f), pinSet(kA, 6.0f)}},
        {"multiply int solves A truncated",
         u"KelMathMultiplyGuiInt",
         {pinSet(kB, I{4}), pinSet(kOut, I{6})},
         {pinSet(kOut2, I{6}), pinSet(kA, I{1})}},
        {"divide float by zero gives A",
         u"KelMathDivideGuiFloat",
         {pinSet(kA, 6.0f)},
         {pinSet(kOut, 6.0f), pinSet(kOut2, 6.0f)}},
        {"divide float by a negative gives A", u"KelMathDivideGuiFloat", {pinSet(kA, 6.0f), pinSet(kB, -2.0f)}, {}},
        {"divide float by the float nearest 0.00001 gives A",
         u"KelMathDivideGuiFloat",
         {pinSet(kA, 6.0f), pinSet(kB, kBelowMinDivisor)},
         {}},
        {"divide float by the next float up",
         u"KelMathDivideGuiFloat",
         {pinSet(kA, 6.0f), pinSet(kB, kAboveMinDivisor)},
         {pinSet(kOut, 6.0f / kAboveMinDivisor), pinSet(kOut2, 6.0f / kAboveMinDivisor)}},
        {"divide int truncates",
         u"KelMathDivideGuiInt",
         {pinSet(kA, I{7}), pinSet(kB, I{2})},
         {pinSet(kOut, I{3}), pinSet(kOut2, I{3})}},
        {"divide int truncates toward zero",
         u"KelMathDivideGuiInt",
         {pinSet(kB, I{2}), pinSet(kA, I{-7})},
         {pinSet(kOut, I{-3}), pinSet(kOut2, I{-3})}},
        {"divide int by a negative gives A",
         u"KelMathDivideGuiInt",
         {pinSet(kB, I{-3}), pinSet(kA, I{7})},
         {pinSet(kOut, I{7}), pinSet(kOut2, I{7})}},
        {"divide int of the most negative by -1",
         u"KelMathDivideGuiInt",
         {pinSet(kB, I{-1}), pinSet(kA, kIntMin)},
         {pinSet(kOut, kIntMin), pinSet(kOut2, kIntMin)}},
        {"divide int solves A",
         u"KelMathDivideGuiInt",
         {pinSet(kB, I{2}), pinSet(kOut, I{4})},
         {pinSet(kOut2, I{4}), pinSet(kA, I{8})}},
    });
}

TEST(GuiBinaryModules, LimitBoundsTheResultAndTheSolvedValue) {
    runCases({
        {"above the range",
         u"KelMathLimitGuiFloat",
         {pinSet(kHi, 10.0f), pinSet(kValue, 15.0f)},
         {pinSet(kRangeOut, 10.0f), pinSet(kRangeOut2, 10.0f)}},
        {"below the range",
         u"KelMathLimitGuiFloat",
         {pinSet(kHi, 10.0f), pinSet(kValue, 15.0f), pinSet(kValue, -1.0f)},
         {pinSet(kRangeOut, 0.0f), pinSet(kRangeOut2, 0.0f)}},
        {"inverted range, below Lo",
         u"KelMathLimitGuiInt",
         {pinSet(kLo, I{10}), pinSet(kValue, I{20}), pinSet(kValue, I{5})},
         {pinSet(kRangeOut, I{10}), pinSet(kRangeOut2, I{10})}},
        {"inverted range, above Lo",
         u"KelMathLimitGuiInt",
         {pinSet(kLo, I{10}), pinSet(kValue, I{20})},
         {pinSet(kRangeOut, I{0}), pinSet(kRangeOut2, I{0})}},
        {"NaN passes",
         u"KelMathLimitGuiFloat",
         {pinSet(kHi, 10.0f), pinSet(kValue, kNaN)},
         {pinSet(kRangeOut, kNaN), pinSet(kRangeOut2, kNaN)}},
        {"a NaN bound is never chosen",
         u"KelMathLimitGuiFloat",
         {pinSet(kHi, kNaN), pinSet(kValue, 15.0f)},
         {pinSet(kRangeOut, 15.0f), pinSet(kRangeOut2, 15.0f)}},
        {"Out set outside the range bounds Value and Out 2",
         u"KelMathLimitGuiFloat",
         {pinSet(kHi, 10.0f), pinSet(kRangeOut, 15.0f)},
         {pinSet(kValue, 10.0f), pinSet(kRangeOut2, 10.0f)}},
        {"Out keeps what the host set",
         u"KelMathLimitGuiFloat",
         {pinSet(kHi, 10.0f), pinSet(kRangeOut, 15.0f), pinSet(kValue, 10.0f)},
         {pinSet(kRangeOut, 10.0f)}},
        {"Out 2 set outside the range bounds Value and Out",
         u"KelMathLimitGuiInt",
         {pinSet(kHi, I{10}), pinSet(kValue, I{5}), pinSet(kRangeOut2, I{-5})},
         {pinSet(kValue, I{0}), pinSet(kRangeOut, I{0})}},
    });
}

TEST(GuiBinaryModules, MinAndMaxComputeOneWay) {
    runCases({
        {"min of a NaN A", u"KelMathMinGuiFloat", {pinSet(kMinMaxA, kNaN)}, {pinSet(kMinMaxOut, kNaN)}},
        {"min ignores a NaN B",
         u"KelMathMinGuiFloat",
         {pinSet(kMinMaxB, kNaN), pinSet(kMinMaxA, 1.0f)},
         {pinSet(kMinMaxOut, 1.0f)}},
        {"min int",
         u"KelMathMinGuiInt",
         {pinSet(kMinMaxA, I{5}), pinSet(kMinMaxB, I{-3})},
         {pinSet(kMinMaxOut, I{-3})}},
        {"max of a NaN A", u"KelMathMaxGuiFloat", {pinSet(kMinMaxA, kNaN)}, {pinSet(kMinMaxOut, kNaN)}},
        {"max ignores a NaN B",
         u"KelMathMaxGuiFloat",
         {pinSet(kMinMaxB, kNaN), pinSet(kMinMaxA, 1.0f)},
         {pinSet(kMinMaxOut, 1.0f)}},
        {"max int",
         u"KelMathMaxGuiInt",
         {pinSet(kMinMaxA, I{-5}), pinSet(kMinMaxB, I{-3})},
         {pinSet(kMinMaxOut, I{-3})}},
        {"a tie of +0 and -0 gives A",
         u"KelMathMaxGuiFloat",
         {pinSet(kMinMaxA, 1.0f), pinSet(kMinMaxA, -0.0f)},
         {pinSet(kMinMaxOut, -0.0f)}},
        {"Out set by the host computes nothing", u"KelMathMinGuiInt", {pinSet(kMinMaxOut, I{7})}, {}},
    });
}

TEST(GuiBinaryModules, WrapComputesWhenValueChanges) {
    runCases({
        {"float remainder",
         u"KelMathWrapGuiFloat",
         {pinSet(kModulus, 4.0f), pinSet(kWrapValue, 7.5f)},
         {pinSet(kWrapOut, 3.5f)}},
        {"float remainder keeps the sign",
         u"KelMathWrapGuiFloat",
         {pinSet(kModulus, 4.0f), pinSet(kWrapValue, -7.5f)},
         {pinSet(kWrapOut, -3.5f)}},
        {"float modulus below 1 is 1",
         u"KelMathWrapGuiFloat",
         {pinSet(kModulus, 0.5f), pinSet(kWrapValue, 2.25f)},
         {pinSet(kWrapOut, 0.25f)}},
        {"float divisor",
         u"KelMathWrapGuiFloat",
         {pinSet(kDivisor, 2.0f), pinSet(kModulus, 3.0f), pinSet(kWrapValue, 9.0f)},
         {pinSet(kWrapOut, 1.5f)}},
        {"int",
         u"KelMathWrapGuiInt",
         {pinSet(kDivisor, I{2}), pinSet(kModulus, I{3}), pinSet(kWrapValue, I{9})},
         {pinSet(kWrapOut, I{1})}},
        {"int keeps the sign",
         u"KelMathWrapGuiInt",
         {pinSet(kDivisor, I{1}), pinSet(kModulus, I{4}), pinSet(kWrapValue, I{-7})},
         {pinSet(kWrapOut, I{-3})}},
        {"int modulus of 1 or less gives 0",
         u"KelMathWrapGuiInt",
         {pinSet(kModulus, I{4}), pinSet(kWrapValue, I{5}), pinSet(kModulus, I{-2}), pinSet(kWrapValue, I{5})},
         {pinSet(kWrapOut, I{0})}},
        {"int most negative value",
         u"KelMathWrapGuiInt",
         {pinSet(kDivisor, I{-1}), pinSet(kModulus, I{7}), pinSet(kWrapValue, kIntMin)},
         {pinSet(kWrapOut, I{-2})}},
        {"a new modulus alone writes nothing",
         u"KelMathWrapGuiInt",
         {pinSet(kModulus, I{4}), pinSet(kWrapValue, I{7}), pinSet(kModulus, I{3})},
         {}},
        {"it takes effect with the next value",
         u"KelMathWrapGuiInt",
         {pinSet(kModulus, I{4}), pinSet(kWrapValue, I{7}), pinSet(kModulus, I{3}), pinSet(kWrapValue, I{7})},
         {pinSet(kWrapOut, I{1})}},
    });
}

TEST(GuiBinaryModules, OnlyChangedResultsAreWrittenButNaNAlwaysIs) {
    GuiSession add(u"KelMathAddGuiInt");
    add.change(kA, I{2});
    expectWrites(add.change(kA, I{2}), {}, "the same value notified again");
    expectWrites(add.change(kB, I{0}), {}, "an operand that leaves the sum");
    add.change(kOut, I{9});
    expectWrites(add.change(kOut2, I{9}), {}, "a result copy that already agrees");

    GuiSession min(u"KelMathMinGuiFloat");
    for (int i = 0; i < 3; ++i) {
        expectWrites(min.change(kMinMaxA, kNaN), {pinSet(kMinMaxOut, kNaN)}, "a NaN result on every notification");
    }
}

TEST(GuiUnaryModules, RoundingIsOneWay) {
    runCases({
        {"floor", u"KelMathFloorGuiFloat", {pinSet(kIn, -1.5f)}, {pinSet(kUnaryOut, -2.0f)}},
        {"floor of a whole number", u"KelMathFloorGuiFloat", {pinSet(kIn, 2.0f)}, {pinSet(kUnaryOut, 2.0f)}},
        {"floor of -0 equals 0", u"KelMathFloorGuiFloat", {pinSet(kIn, -0.0f)}, {}},
        {"floor of infinity", u"KelMathFloorGuiFloat", {pinSet(kIn, -kInf)}, {pinSet(kUnaryOut, -kInf)}},
        {"ceil", u"KelMathCeilGuiFloat", {pinSet(kIn, -1.5f)}, {pinSet(kUnaryOut, -1.0f)}},
        {"ceil up", u"KelMathCeilGuiFloat", {pinSet(kIn, 1.2f)}, {pinSet(kUnaryOut, 2.0f)}},
        {"ceil of NaN", u"KelMathCeilGuiFloat", {pinSet(kIn, kNaN)}, {pinSet(kUnaryOut, kNaN)}},
        {"nearest 0.5 to even", u"KelMathNearestGuiFloat", {pinSet(kIn, 0.5f)}, {}},
        {"nearest 1.5 to even", u"KelMathNearestGuiFloat", {pinSet(kIn, 1.5f)}, {pinSet(kUnaryOut, 2.0f)}},
        {"nearest 2.5 to even", u"KelMathNearestGuiFloat", {pinSet(kIn, 2.5f)}, {pinSet(kUnaryOut, 2.0f)}},
        {"nearest -2.5 to even", u"KelMathNearestGuiFloat", {pinSet(kIn, -2.5f)}, {pinSet(kUnaryOut, -2.0f)}},
        {"nearest 2.6", u"KelMathNearestGuiFloat", {pinSet(kIn, 2.6f)}, {pinSet(kUnaryOut, 3.0f)}},
        {"nearest just below a half", u"KelMathNearestGuiFloat", {pinSet(kIn, 0.49999997f)}, {}},
        {"nearest -0.5 is +0",
         u"KelMathNearestGuiFloat",
         {pinSet(kIn, 5.0f), pinSet(kIn, -0.5f)},
         {pinSet(kUnaryOut, 0.0f)}},
        {"nearest wraps past 32 bits",
         u"KelMathNearestGuiFloat",
         {pinSet(kIn, 3000000000.0f)},
         {pinSet(kUnaryOut, -1294967296.0f)}},
        {"nearest of 1e20", u"KelMathNearestGuiFloat", {pinSet(kIn, 1e20f)}, {pinSet(kUnaryOut, -2147483648.0f)}},
        {"nearest of infinity",
         u"KelMathNearestGuiFloat",
         {pinSet(kIn, 5.0f), pinSet(kIn, kInf)},
         {pinSet(kUnaryOut, 0.0f)}},
        {"Out set by the host computes nothing", u"KelMathNearestGuiFloat", {pinSet(kUnaryOut, 2.5f)}, {}},
    });
}

TEST(GuiUnaryModules, AbsAndInvertDriveEachOther) {
    runCases({
        {"abs float", u"KelMathAbsGuiFloat", {pinSet(kIn, -2.0f)}, {pinSet(kUnaryOut, 2.0f)}},
        {"abs float solves In", u"KelMathAbsGuiFloat", {pinSet(kUnaryOut, -3.0f)}, {pinSet(kIn, 3.0f)}},
        {"abs float of -0 equals 0", u"KelMathAbsGuiFloat", {pinSet(kIn, -0.0f)}, {}},
        {"abs float clears a NaN's sign",
         u"KelMathAbsGuiFloat",
         {pinSet(kIn, floatFromBits(0xFFC00001u))},
         {pinSet(kUnaryOut, floatFromBits(0x7FC00001u))}},
        {"abs int", u"KelMathAbsGuiInt", {pinSet(kIn, I{-9})}, {pinSet(kUnaryOut, I{9})}},
        {"abs int of the most negative", u"KelMathAbsGuiInt", {pinSet(kIn, kIntMin)}, {pinSet(kUnaryOut, kIntMin)}},
        {"invert float", u"KelMathInvertGuiFloat", {pinSet(kIn, 2.5f)}, {pinSet(kUnaryOut, -2.5f)}},
        {"invert float solves In", u"KelMathInvertGuiFloat", {pinSet(kUnaryOut, 4.0f)}, {pinSet(kIn, -4.0f)}},
        {"invert float of 0 is -0, equal to 0", u"KelMathInvertGuiFloat", {pinSet(kIn, 0.0f)}, {}},
        {"invert float flips a NaN's sign",
         u"KelMathInvertGuiFloat",
         {pinSet(kIn, floatFromBits(0x7FC00001u))},
         {pinSet(kUnaryOut, floatFromBits(0xFFC00001u))}},
        {"invert int", u"KelMathInvertGuiInt", {pinSet(kIn, I{7})}, {pinSet(kUnaryOut, I{-7})}},
        {"invert int of the most negative",
         u"KelMathInvertGuiInt",
         {pinSet(kIn, kIntMin)},
         {pinSet(kUnaryOut, kIntMin)}},
        {"invert bool of false", u"KelMathInvertGuiBool", {pinSet(kIn, false)}, {pinSet(kUnaryOut, true)}},
        {"invert bool of true",
         u"KelMathInvertGuiBool",
         {pinSet(kIn, false), pinSet(kIn, true)},
         {pinSet(kUnaryOut, false)}},
        {"invert bool solves In", u"KelMathInvertGuiBool", {pinSet(kUnaryOut, false)}, {pinSet(kIn, true)}},
        {"invert bool of a byte 2 is true",
         u"KelMathInvertGuiBool",
         {{kIn, PinValue::byte(2)}},
         {pinSet(kUnaryOut, true)}},
        {"invert bool of the integer 7 is false", u"KelMathInvertGuiBool", {pinSet(kIn, I{7})}, {}},
    });
}

TEST(GuiUnaryModules, ScalingsMapBothWaysWithoutClamping) {
    runCases({
        {"scale up",
         u"KelMathScaleUpGuiFloat",
         {pinSet(kLo, 10.0f), pinSet(kHi, 20.0f), pinSet(kValue, 0.25f)},
         {pinSet(kRangeOut, 12.5f), pinSet(kRangeOut2, 12.5f)}},
        {"scale up solves Value from Out 2",
         u"KelMathScaleUpGuiFloat",
         {pinSet(kLo, 10.0f), pinSet(kHi, 20.0f), pinSet(kValue, 0.25f), pinSet(kRangeOut2, 15.0f)},
         {pinSet(kRangeOut, 15.0f), pinSet(kValue, 0.5f)}},
        {"scale down",
         u"KelMathScaleDownGuiFloat",
         {pinSet(kLo, 10.0f), pinSet(kHi, 20.0f), pinSet(kValue, 12.5f)},
         {pinSet(kRangeOut, 0.25f), pinSet(kRangeOut2, 0.25f)}},
        {"scale down extrapolates",
         u"KelMathScaleDownGuiFloat",
         {pinSet(kLo, 10.0f), pinSet(kHi, 20.0f), pinSet(kValue, 30.0f)},
         {pinSet(kRangeOut, 2.0f), pinSet(kRangeOut2, 2.0f)}},
        {"scale down solves Value from Out",
         u"KelMathScaleDownGuiFloat",
         {pinSet(kLo, 10.0f), pinSet(kHi, 20.0f), pinSet(kRangeOut, 0.5f)},
         {pinSet(kRangeOut2, 0.5f), pinSet(kValue, 15.0f)}},
        {"scale down of an empty range",
         u"KelMathScaleDownGuiFloat",
         {pinSet(kLo, 10.0f), pinSet(kHi, 10.0f), pinSet(kValue, 12.0f)},
         {pinSet(kRangeOut, kInf), pinSet(kRangeOut2, kInf)}},
        {"scale down of an empty range at its point",
         u"KelMathScaleDownGuiFloat",
         {pinSet(kLo, 10.0f), pinSet(kHi, 10.0f), pinSet(kValue, 10.0f), pinSet(kValue, 10.0f)},
         {pinSet(kRangeOut, kNaN), pinSet(kRangeOut2, kNaN)}},
        {"scale up solves Value of an empty range",
         u"KelMathScaleUpGuiFloat",
         {pinSet(kLo, 10.0f), pinSet(kHi, 10.0f), pinSet(kRangeOut, 11.0f)},
         {pinSet(kRangeOut2, 11.0f), pinSet(kValue, kInf)}},
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
        {"add", u"KelMathAddGuiFloat", pinSet(kA, 2.0f), {pinSet(kOut, 2.0f), pinSet(kOut2, 2.0f)}},
        {"limit", u"KelMathLimitGuiInt", pinSet(kLo, I{3}), {pinSet(kRangeOut, I{3}), pinSet(kRangeOut2, I{3})}},
        {"scale", u"KelMathScaleUpGuiFloat", pinSet(kRangeOut, 3.0f), {pinSet(kRangeOut2, 3.0f), pinSet(kValue, kInf)}},
        {"abs float of a negative Out",
         u"KelMathAbsGuiFloat",
         pinSet(kUnaryOut, -7.0f),
         {pinSet(kIn, 7.0f), pinSet(kUnaryOut, 7.0f)}},
        {"abs int of a negative Out",
         u"KelMathAbsGuiInt",
         pinSet(kUnaryOut, I{-7}),
         {pinSet(kIn, I{7}), pinSet(kUnaryOut, I{7})}},
        {"abs int of a negative In",
         u"KelMathAbsGuiInt",
         pinSet(kIn, I{-3}),
         {pinSet(kUnaryOut, I{3}), pinSet(kIn, I{3})}},
        {"invert bool of an Out byte 2",
         u"KelMathInvertGuiBool",
         {kUnaryOut, PinValue::byte(2)},
         {pinSet(kIn, true), pinSet(kUnaryOut, false)}},
        {"invert int is its own inverse", u"KelMathInvertGuiInt", pinSet(kIn, I{5}), {pinSet(kUnaryOut, I{-5})}},
        {"abs of a negative NaN on In",
         u"KelMathAbsGuiFloat",
         pinSet(kIn, kNegativeNaN),
         {pinSet(kUnaryOut, kPositiveNaN), pinSet(kIn, kPositiveNaN)}},
        {"abs of a negative NaN on Out",
         u"KelMathAbsGuiFloat",
         pinSet(kUnaryOut, kNegativeNaN),
         {pinSet(kIn, kPositiveNaN), pinSet(kUnaryOut, kPositiveNaN)}},
        {"abs of a positive NaN on In",
         u"KelMathAbsGuiFloat",
         pinSet(kIn, kPositiveNaN),
         {pinSet(kUnaryOut, kPositiveNaN)}},
        {"invert of a NaN on Out",
         u"KelMathInvertGuiFloat",
         pinSet(kUnaryOut, kNaN),
         {pinSet(kIn, floatFromBits(0xFFC00000u))}},
        {"invert of a negative NaN on In",
         u"KelMathInvertGuiFloat",
         pinSet(kIn, kNegativeNaN),
         {pinSet(kUnaryOut, kPositiveNaN)}},
    };
    for (const EchoCase& c : cases) {
        EchoingGuiHost echo;
        GuiSession session(c.id, &echo);
        ASSERT_EQ(session.status, lum::kOk) << c.what;
        echo.module = session.gui.get();
        session.gui->setPin(c.change.pin, 0, c.change.value.size, c.change.value.bytes.data());
        session.gui->notifyPin(c.change.pin, 0);
        EXPECT_FALSE(echo.runaway) << c.what;
        expectWrites(echo.writes, c.writes, c.what, /*nanBitsToo=*/true);
    }
}

}  // namespace
