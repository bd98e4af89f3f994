// DSP control-value modules: what they send the host for the values they are given,
// when, at which position, and what they keep to themselves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "math_session.h"

namespace {

using lumhost::EventList;
using lumhost::HostCall;
using lumhost::setPinCall;
using lumhost::sleepCall;
using mathtest::DspSession;
using mathtest::floatFromBits;
using mathtest::kIntMax;
using mathtest::kIntMin;
using mathtest::kNaN;
using mathtest::pinSet;
using mathtest::PinSet;
using mathtest::PinValue;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Pin indices by family.
enum LimitPins { kValue = 0, kMin = 1, kMax = 2, kLimitOut = 3 };
enum MinMaxPins { kMinMaxOut = 0, kMinMaxA = 1, kMinMaxB = 2 };
enum TwoInputPins { kA = 0, kB = 1, kTwoOut = 2 };
enum OneInputPins { kIn = 0, kOneOut = 1 };

struct ControlCase {
    const char* what;
    std::u16string id;
    std::vector<PinSet> inputs;  // all delivered in one event group
    std::int32_t outPin;
    std::optional<PinValue> sent;  // what the first onSetPins sends; none when it equals 0
};

template <class T>
std::optional<PinValue> sends(T value) {
    return PinValue::of(value);
}
const std::optional<PinValue> kNothing;

EventList eventsAt(std::int32_t time, const std::vector<PinSet>& inputs) {
    EventList events;
    for (const PinSet& set : inputs) events.bytes(time, set.pin, set.value.size, set.value.bytes.data(), false);
    return events;
}

std::vector<HostCall> expectedExchange(std::int32_t time, std::int32_t outPin, const std::optional<PinValue>& sent) {
    std::vector<HostCall> calls;
    if (sent) calls.push_back(setPinCall(time, outPin, sent->size, sent->bytes.data()));
    calls.push_back(sleepCall());
    return calls;
}

const float kBelowMinDivisor = 0.00001f;  // just below the double 0.00001
const float kAboveMinDivisor = floatFromBits(mathtest::bitsOf(0.00001f) + 1);

const ControlCase kCases[] = {
    {"limit tests the lower bound first",
     u"KelMathLimitDspFloat",
     {pinSet(kValue, 4.0f), pinSet(kMin, 5.0f), pinSet(kMax, 3.0f)},
     kLimitOut,
     sends(5.0f)},
    {"limit above an inverted range",
     u"KelMathLimitDspFloat",
     {pinSet(kValue, 6.0f), pinSet(kMin, 5.0f), pinSet(kMax, 3.0f)},
     kLimitOut,
     sends(3.0f)},
    {"limit below an inverted range",
     u"KelMathLimitDspFloat",
     {pinSet(kValue, 2.0f), pinSet(kMin, 5.0f), pinSet(kMax, 3.0f)},
     kLimitOut,
     sends(5.0f)},
    {"limit passes a NaN value",
     u"KelMathLimitDspFloat",
     {pinSet(kValue, kNaN), pinSet(kMax, 3.0f)},
     kLimitOut,
     sends(kNaN)},
    {"limit ignores a NaN bound",
     u"KelMathLimitDspFloat",
     {pinSet(kValue, 7.0f), pinSet(kMax, kNaN)},
     kLimitOut,
     sends(7.0f)},
    {"limit int clamps high",
     u"KelMathLimitDspInt",
     {pinSet(kValue, std::int32_t{15}), pinSet(kMax, std::int32_t{10})},
     kLimitOut,
     sends(std::int32_t{10})},
    {"limit int clamps low",
     u"KelMathLimitDspInt",
     {pinSet(kValue, std::int32_t{-1}), pinSet(kMax, std::int32_t{10})},
     kLimitOut,
     kNothing},

    {"min of a NaN A is NaN",
     u"KelMathMinDspFloat",
     {pinSet(kMinMaxA, kNaN), pinSet(kMinMaxB, 1.0f)},
     kMinMaxOut,
     sends(kNaN)},
    {"min ignores a NaN B",
     u"KelMathMinDspFloat",
     {pinSet(kMinMaxA, 2.0f), pinSet(kMinMaxB, kNaN)},
     kMinMaxOut,
     sends(2.0f)},
    {"min float", u"KelMathMinDspFloat", {pinSet(kMinMaxA, 2.0f), pinSet(kMinMaxB, 1.0f)}, kMinMaxOut, sends(1.0f)},
    {"min int",
     u"KelMathMinDspInt",
     {pinSet(kMinMaxA, kIntMin), pinSet(kMinMaxB, kIntMax)},
     kMinMaxOut,
     sends(kIntMin)},
    {"max ignores a NaN B",
     u"KelMathMaxDspFloat",
     {pinSet(kMinMaxA, 2.0f), pinSet(kMinMaxB, kNaN)},
     kMinMaxOut,
     sends(2.0f)},
    {"max float", u"KelMathMaxDspFloat", {pinSet(kMinMaxA, -2.0f), pinSet(kMinMaxB, -1.0f)}, kMinMaxOut, sends(-1.0f)},
    {"max int",
     u"KelMathMaxDspInt",
     {pinSet(kMinMaxA, kIntMin), pinSet(kMinMaxB, kIntMax)},
     kMinMaxOut,
     sends(kIntMax)},

    {"add float", u"KelMathAddDspFloat", {pinSet(kA, 1.5f), pinSet(kB, 2.0f)}, kTwoOut, sends(3.5f)},
    {"add int wraps", u"KelMathAddDspInt", {pinSet(kA, kIntMax), pinSet(kB, std::int32_t{1})}, kTwoOut, sends(kIntMin)},
    {"subtract float", u"KelMathSubtractDspFloat", {pinSet(kA, 5.0f), pinSet(kB, 3.0f)}, kTwoOut, sends(2.0f)},
    {"subtract int wraps",
     u"KelMathSubtractDspInt",
     {pinSet(kA, kIntMin), pinSet(kB, std::int32_t{1})},
     kTwoOut,
     sends(kIntMax)},
    {"multiply float", u"KelMathMultiplyDspFloat", {pinSet(kA, 1.5f), pinSet(kB, -4.0f)}, kTwoOut, sends(-6.0f)},
    {"multiply int keeps the low 32 bits",
     u"KelMathMultiplyDspInt",
     {pinSet(kA, std::int32_t{65536}), pinSet(kB, std::int32_t{65537})},
     kTwoOut,
     sends(std::int32_t{65536})},
    {"multiply int overflow",
     u"KelMathMultiplyDspInt",
     {pinSet(kA, kIntMax), pinSet(kB, std::int32_t{2})},
     kTwoOut,
     sends(std::int32_t{-2})},

    {"divide float by zero gives A",
     u"KelMathDivideDspFloat",
     {pinSet(kA, 1.0f), pinSet(kB, 0.0f)},
     kTwoOut,
     sends(1.0f)},
    {"divide float by a negative gives A",
     u"KelMathDivideDspFloat",
     {pinSet(kA, 1.0f), pinSet(kB, -4.0f)},
     kTwoOut,
     sends(1.0f)},
    {"divide float", u"KelMathDivideDspFloat", {pinSet(kA, 1.0f), pinSet(kB, 0.5f)}, kTwoOut, sends(2.0f)},
    {"divide float by NaN", u"KelMathDivideDspFloat", {pinSet(kA, 1.0f), pinSet(kB, kNaN)}, kTwoOut, sends(kNaN)},
    {"divide float by the float nearest 0.00001",
     u"KelMathDivideDspFloat",
     {pinSet(kA, 3.0f), pinSet(kB, kBelowMinDivisor)},
     kTwoOut,
     sends(3.0f)},
    {"divide float by the next float up",
     u"KelMathDivideDspFloat",
     {pinSet(kA, 3.0f), pinSet(kB, kAboveMinDivisor)},
     kTwoOut,
     sends(3.0f / kAboveMinDivisor)},
    {"divide int truncates",
     u"KelMathDivideDspInt",
     {pinSet(kA, std::int32_t{7}), pinSet(kB, std::int32_t{2})},
     kTwoOut,
     sends(std::int32_t{3})},
    {"divide int truncates toward zero",
     u"KelMathDivideDspInt",
     {pinSet(kA, std::int32_t{-7}), pinSet(kB, std::int32_t{2})},
     kTwoOut,
     sends(std::int32_t{-3})},
    {"divide int by zero gives A",
     u"KelMathDivideDspInt",
     {pinSet(kA, std::int32_t{7}), pinSet(kB, std::int32_t{0})},
     kTwoOut,
     sends(std::int32_t{7})},
    {"divide int by -1 gives A, even the most negative",
     u"KelMathDivideDspInt",
     {pinSet(kA, kIntMin), pinSet(kB, std::int32_t{-1})},
     kTwoOut,
     sends(kIntMin)},

    {"floor", u"KelMathFloorDspFloat", {pinSet(kIn, -1.5f)}, kOneOut, sends(-2.0f)},
    {"floor of -0.5", u"KelMathFloorDspFloat", {pinSet(kIn, -0.5f)}, kOneOut, sends(-1.0f)},
    {"ceil", u"KelMathCeilDspFloat", {pinSet(kIn, -1.5f)}, kOneOut, sends(-1.0f)},
    {"ceil of -0.5 is -0, equal to 0", u"KelMathCeilDspFloat", {pinSet(kIn, -0.5f)}, kOneOut, kNothing},
    {"nearest 2.5 to even", u"KelMathNearestDspFloat", {pinSet(kIn, 2.5f)}, kOneOut, sends(2.0f)},
    {"nearest 3.5 to even", u"KelMathNearestDspFloat", {pinSet(kIn, 3.5f)}, kOneOut, sends(4.0f)},
    {"nearest -2.5 to even", u"KelMathNearestDspFloat", {pinSet(kIn, -2.5f)}, kOneOut, sends(-2.0f)},
    {"nearest -0.4", u"KelMathNearestDspFloat", {pinSet(kIn, -0.4f)}, kOneOut, kNothing},

    {"abs float", u"KelMathAbsDspFloat", {pinSet(kIn, -3.0f)}, kOneOut, sends(3.0f)},
    {"abs float clears a NaN's sign",
     u"KelMathAbsDspFloat",
     {pinSet(kIn, floatFromBits(0xFFC00001u))},
     kOneOut,
     sends(floatFromBits(0x7FC00001u))},
    {"abs int", u"KelMathAbsDspInt", {pinSet(kIn, std::int32_t{-7})}, kOneOut, sends(std::int32_t{7})},
    {"abs int of the most negative", u"KelMathAbsDspInt", {pinSet(kIn, kIntMin)}, kOneOut, sends(kIntMin)},
    {"invert float negates", u"KelMathInvertDspFloat", {pinSet(kIn, 2.5f)}, kOneOut, sends(-2.5f)},
    {"invert float of 0 is -0, equal to 0", u"KelMathInvertDspFloat", {pinSet(kIn, 0.0f)}, kOneOut, kNothing},
    {"invert int", u"KelMathInvertDspInt", {pinSet(kIn, std::int32_t{5})}, kOneOut, sends(std::int32_t{-5})},
    {"invert int of the most negative", u"KelMathInvertDspInt", {pinSet(kIn, kIntMin)}, kOneOut, sends(kIntMin)},
    {"invert bool of false", u"KelMathInvertDspBool", {pinSet(kIn, false)}, kOneOut, sends(true)},
    {"invert bool of true", u"KelMathInvertDspBool", {pinSet(kIn, true)}, kOneOut, kNothing},
    {"invert bool of a byte 2 is true", u"KelMathInvertDspBool", {{kIn, PinValue::byte(2)}}, kOneOut, sends(true)},
    {"invert bool of the integer 2 is false",
     u"KelMathInvertDspBool",
     {pinSet(kIn, std::int32_t{2})},
     kOneOut,
     kNothing},
};

TEST(DspControlModules, FirstResultIsSentAtTheGroupsPositionUnlessItIsZero) {
    for (const ControlCase& c : kCases) {
        DspSession session(c.id);
        ASSERT_EQ(session.status, lum::kOk) << c.what;
        EventList events = eventsAt(5, c.inputs);
        EXPECT_EQ(session.run(16, events), expectedExchange(5, c.outPin, c.sent)) << c.what;
    }
}

// Sets a value first so that a zero result has something to differ from.
struct ZeroCase {
    const char* what;
    std::u16string id;
    PinSet first;
    PinSet second;
    std::int32_t outPin;
    std::optional<PinValue> sent;
};

TEST(DspControlModules, ZeroResultsCarryTheirSignOnceTheOutputHeldSomethingElse) {
    const ZeroCase cases[] = {
        {"nearest -0.4 is +0", u"KelMathNearestDspFloat", pinSet(kIn, 5.0f), pinSet(kIn, -0.4f), kOneOut, sends(0.0f)},
        {"nearest -0.5 is +0", u"KelMathNearestDspFloat", pinSet(kIn, 5.0f), pinSet(kIn, -0.5f), kOneOut, sends(0.0f)},
        {"ceil -0.5 is -0", u"KelMathCeilDspFloat", pinSet(kIn, 5.0f), pinSet(kIn, -0.5f), kOneOut, sends(-0.0f)},
        {"invert 0 is -0", u"KelMathInvertDspFloat", pinSet(kIn, 5.0f), pinSet(kIn, 0.0f), kOneOut, sends(-0.0f)},
        {"abs -0 is +0", u"KelMathAbsDspFloat", pinSet(kIn, 5.0f), pinSet(kIn, -0.0f), kOneOut, sends(0.0f)},
        {"invert bool of true after false", u"KelMathInvertDspBool", pinSet(kIn, false), pinSet(kIn, true), kOneOut,
         sends(false)},
        {"integer result 0", u"KelMathAddDspInt", pinSet(kA, std::int32_t{4}), pinSet(kB, std::int32_t{-4}), kTwoOut,
         sends(std::int32_t{0})},
    };
    for (const ZeroCase& c : cases) {
        DspSession session(c.id);
        ASSERT_EQ(session.status, lum::kOk) << c.what;
        EventList first = eventsAt(0, {c.first});
        session.run(8, first);
        EventList second = eventsAt(3, {c.second});
        EXPECT_EQ(session.run(8, second), expectedExchange(3, c.outPin, c.sent)) << c.what;
    }
}

TEST(DspControlModules, OneGroupGivesOneUpdateAndEachGroupItsOwnPosition) {
    DspSession session(u"KelMathAddDspFloat");
    EventList together;
    together.value(4, kA, 1.0f).value(4, kB, 2.0f);
    EXPECT_THAT(session.run(16, together), ElementsAre(setPinCall(4, kTwoOut, 3.0f), sleepCall()));

    EventList apart;
    apart.value(2, kA, 2.0f).value(9, kB, 0.5f).value(9, kA, 0.5f);
    EXPECT_THAT(session.run(16, apart),
                ElementsAre(setPinCall(2, kTwoOut, 4.0f), setPinCall(9, kTwoOut, 1.0f), sleepCall()));
}

TEST(DspControlModules, UnchangedResultIsNotSentAgainButNaNAlwaysIs) {
    DspSession add(u"KelMathAddDspInt");
    EventList events;
    events.value(1, kA, std::int32_t{3});
    add.run(8, events);
    EXPECT_THAT(add.run(8, events), ElementsAre(sleepCall())) << "the same input again";
    EventList swapped;
    swapped.value(1, kA, std::int32_t{1}).value(1, kB, std::int32_t{2});
    EXPECT_THAT(add.run(8, swapped), ElementsAre(sleepCall())) << "a different sum of the same value";

    DspSession divide(u"KelMathDivideDspFloat");
    EventList nan;
    nan.value(0, kB, kNaN);
    for (int i = 0; i < 3; ++i) {
        const auto calls = divide.run(8, nan);
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].kind, lumhost::HostCallKind::SetPin);
        EXPECT_TRUE(std::isnan(calls[0].value<float>()));
    }
}

TEST(DspControlModules, GraphStartSendsTheHeldOutputBeforeTheGroupsResult) {
    DspSession session(u"KelMathMultiplyDspFloat");
    EventList start;
    start.graphStart(0);
    EXPECT_THAT(session.run(8, start), ElementsAre(setPinCall(0, kTwoOut, 0.0f), sleepCall()));

    EventList withValues;
    withValues.value(2, kA, 3.0f).graphStart(2).value(2, kB, 2.0f);
    EXPECT_THAT(session.run(8, withValues),
                ElementsAre(setPinCall(2, kTwoOut, 0.0f), setPinCall(2, kTwoOut, 6.0f), sleepCall()));

    EventList again;
    again.graphStart(0);
    EXPECT_THAT(session.run(8, again), ElementsAre(setPinCall(0, kTwoOut, 6.0f), sleepCall()));
}

TEST(DspControlModules, BoolOutputIsOneByteAndMinMaxSendOnTheirFirstPin) {
    DspSession invert(u"KelMathInvertDspBool");
    EventList start;
    start.graphStart(0).value(0, kIn, std::uint8_t{0});
    EXPECT_THAT(invert.run(8, start), ElementsAre(setPinCall(0, kOneOut, std::uint8_t{0}),
                                                  setPinCall(0, kOneOut, std::uint8_t{1}), sleepCall()));

    DspSession max(u"KelMathMaxDspInt");
    EventList values;
    values.value(6, kMinMaxB, std::int32_t{9});
    EXPECT_THAT(max.run(8, values), ElementsAre(setPinCall(6, kMinMaxOut, std::int32_t{9}), sleepCall()));
}

TEST(DspControlModules, SleepInEveryBlockAndWakeForTheNextEvent) {
    DspSession session(u"KelMathLimitDspInt");
    EXPECT_THAT(session.run(32), ElementsAre(sleepCall()));
    EXPECT_THAT(session.run(32), ElementsAre(sleepCall()));
    EventList events;
    events.value(31, kMin, std::int32_t{4});
    EXPECT_THAT(session.run(32, events), ElementsAre(setPinCall(31, kLimitOut, std::int32_t{4}), sleepCall()));
    EventList atEnd;
    atEnd.value(32, kMin, std::int32_t{8});
    EXPECT_THAT(session.run(32, atEnd), IsEmpty()) << "an event at the block length is not handled";
}

}  // namespace
