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

struct ControlCase {
    const char* what;
    std::u16string id;
    std::vector<PinSet> inputs;    // all delivered in one event group
    std::optional<PinValue> sent;  // what the first onSetPins sends on Out; none when it equals 0
};

template <class T>
std::optional<PinValue> sends(T value) {
    return PinValue::of(value);
}
const std::optional<PinValue> kNothing;

EventList eventsAt(const DspSession& session, std::int32_t time, const std::vector<PinSet>& inputs) {
    EventList events;
    for (const PinSet& set : inputs) {
        events.bytes(time, session.pin(set.pin), set.value.size, set.value.bytes.data(), false);
    }
    return events;
}

std::vector<HostCall> expectedExchange(const DspSession& session, std::int32_t time,
                                       const std::optional<PinValue>& sent) {
    std::vector<HostCall> calls;
    if (sent) calls.push_back(setPinCall(time, session.pin("Out"), sent->size, sent->bytes.data()));
    calls.push_back(sleepCall());
    return calls;
}

const float kBelowMinDivisor = 0.00001f;  // just below the double 0.00001
const float kAboveMinDivisor = floatFromBits(mathtest::bitsOf(0.00001f) + 1);

const ControlCase kCases[] = {
    {"limit tests the lower bound first",
     u"KelMathLimitDspFloat",
     {pinSet("Value", 4.0f), pinSet("Min", 5.0f), pinSet("Max", 3.0f)},
     sends(5.0f)},
    {"limit above an inverted range",
     u"KelMathLimitDspFloat",
     {pinSet("Value", 6.0f), pinSet("Min", 5.0f), pinSet("Max", 3.0f)},
     sends(3.0f)},
    {"limit below an inverted range",
     u"KelMathLimitDspFloat",
     {pinSet("Value", 2.0f), pinSet("Min", 5.0f), pinSet("Max", 3.0f)},
     sends(5.0f)},
    {"limit passes a NaN value", u"KelMathLimitDspFloat", {pinSet("Value", kNaN), pinSet("Max", 3.0f)}, sends(kNaN)},
    {"limit ignores a NaN bound", u"KelMathLimitDspFloat", {pinSet("Value", 7.0f), pinSet("Max", kNaN)}, sends(7.0f)},
    {"limit int clamps high",
     u"KelMathLimitDspInt",
     {pinSet("Value", std::int32_t{15}), pinSet("Max", std::int32_t{10})},
     sends(std::int32_t{10})},
    {"limit int clamps low",
     u"KelMathLimitDspInt",
     {pinSet("Value", std::int32_t{-1}), pinSet("Max", std::int32_t{10})},
     kNothing},

    {"min of a NaN A is NaN", u"KelMathMinDspFloat", {pinSet("A", kNaN), pinSet("B", 1.0f)}, sends(kNaN)},
    {"min ignores a NaN B", u"KelMathMinDspFloat", {pinSet("A", 2.0f), pinSet("B", kNaN)}, sends(2.0f)},
    {"min float", u"KelMathMinDspFloat", {pinSet("A", 2.0f), pinSet("B", 1.0f)}, sends(1.0f)},
    {"min int", u"KelMathMinDspInt", {pinSet("A", kIntMin), pinSet("B", kIntMax)}, sends(kIntMin)},
    {"max ignores a NaN B", u"KelMathMaxDspFloat", {pinSet("A", 2.0f), pinSet("B", kNaN)}, sends(2.0f)},
    {"max float", u"KelMathMaxDspFloat", {pinSet("A", -2.0f), pinSet("B", -1.0f)}, sends(-1.0f)},
    {"max int", u"KelMathMaxDspInt", {pinSet("A", kIntMin), pinSet("B", kIntMax)}, sends(kIntMax)},

    {"add float", u"KelMathAddDspFloat", {pinSet("A", 1.5f), pinSet("B", 2.0f)}, sends(3.5f)},
    {"add int wraps", u"KelMathAddDspInt", {pinSet("A", kIntMax), pinSet("B", std::int32_t{1})}, sends(kIntMin)},
    {"subtract float", u"KelMathSubtractDspFloat", {pinSet("A", 5.0f), pinSet("B", 3.0f)}, sends(2.0f)},
    {"subtract int wraps",
     u"KelMathSubtractDspInt",
     {pinSet("A", kIntMin), pinSet("B", std::int32_t{1})},
     sends(kIntMax)},
    {"multiply float", u"KelMathMultiplyDspFloat", {pinSet("A", 1.5f), pinSet("B", -4.0f)}, sends(-6.0f)},
    {"multiply int keeps the low 32 bits",
     u"KelMathMultiplyDspInt",
     {pinSet("A", std::int32_t{65536}), pinSet("B", std::int32_t{65537})},
     sends(std::int32_t{65536})},
    {"multiply int overflow",
     u"KelMathMultiplyDspInt",
     {pinSet("A", kIntMax), pinSet("B", std::int32_t{2})},
     sends(std::int32_t{-2})},

    {"divide float by zero gives A", u"KelMathDivideDspFloat", {pinSet("A", 1.0f), pinSet("B", 0.0f)}, sends(1.0f)},
    {"divide float by a negative gives A",
     u"KelMathDivideDspFloat",
     {pinSet("A", 1.0f), pinSet("B", -4.0f)},
     sends(1.0f)},
    {"divide float", u"KelMathDivideDspFloat", {pinSet("A", 1.0f), pinSet("B", 0.5f)}, sends(2.0f)},
    {"divide float by NaN", u"KelMathDivideDspFloat", {pinSet("A", 1.0f), pinSet("B", kNaN)}, sends(kNaN)},
    {"divide float by the float nearest 0.00001",
     u"KelMathDivideDspFloat",
     {pinSet("A", 3.0f), pinSet("B", kBelowMinDivisor)},
     sends(3.0f)},
    {"divide float by the next float up",
     u"KelMathDivideDspFloat",
     {pinSet("A", 3.0f), pinSet("B", kAboveMinDivisor)},
     sends(3.0f / kAboveMinDivisor)},
    {"divide int truncates",
     u"KelMathDivideDspInt",
     {pinSet("A", std::int32_t{7}), pinSet("B", std::int32_t{2})},
     sends(std::int32_t{3})},
    {"divide int truncates toward zero",
     u"KelMathDivideDspInt",
     {pinSet("A", std::int32_t{-7}), pinSet("B", std::int32_t{2})},
     sends(std::int32_t{-3})},
    {"divide int by zero gives A",
     u"KelMathDivideDspInt",
     {pinSet("A", std::int32_t{7}), pinSet("B", std::int32_t{0})},
     sends(std::int32_t{7})},
    {"divide int by -1 gives A, even the most negative",
     u"KelMathDivideDspInt",
     {pinSet("A", kIntMin), pinSet("B", std::int32_t{-1})},
     sends(kIntMin)},

    {"floor", u"KelMathFloorDspFloat", {pinSet("In", -1.5f)}, sends(-2.0f)},
    {"floor of -0.5", u"KelMathFloorDspFloat", {pinSet("In", -0.5f)}, sends(-1.0f)},
    {"ceil", u"KelMathCeilDspFloat", {pinSet("In", -1.5f)}, sends(-1.0f)},
    {"ceil of -0.5 is -0, equal to 0", u"KelMathCeilDspFloat", {pinSet("In", -0.5f)}, kNothing},
    {"nearest 2.5 to even", u"KelMathNearestDspFloat", {pinSet("In", 2.5f)}, sends(2.0f)},
    {"nearest 3.5 to even", u"KelMathNearestDspFloat", {pinSet("In", 3.5f)}, sends(4.0f)},
    {"nearest -2.5 to even", u"KelMathNearestDspFloat", {pinSet("In", -2.5f)}, sends(-2.0f)},
    {"nearest -0.4", u"KelMathNearestDspFloat", {pinSet("In", -0.4f)}, kNothing},

    {"abs float", u"KelMathAbsDspFloat", {pinSet("In", -3.0f)}, sends(3.0f)},
    {"abs float clears a NaN's sign",
     u"KelMathAbsDspFloat",
     {pinSet("In", floatFromBits(0xFFC00001u))},
     sends(floatFromBits(0x7FC00001u))},
    {"abs int", u"KelMathAbsDspInt", {pinSet("In", std::int32_t{-7})}, sends(std::int32_t{7})},
    {"abs int of the most negative", u"KelMathAbsDspInt", {pinSet("In", kIntMin)}, sends(kIntMin)},
    {"invert float negates", u"KelMathInvertDspFloat", {pinSet("In", 2.5f)}, sends(-2.5f)},
    {"invert float of 0 is -0, equal to 0", u"KelMathInvertDspFloat", {pinSet("In", 0.0f)}, kNothing},
    {"invert int", u"KelMathInvertDspInt", {pinSet("In", std::int32_t{5})}, sends(std::int32_t{-5})},
    {"invert int of the most negative", u"KelMathInvertDspInt", {pinSet("In", kIntMin)}, sends(kIntMin)},
    {"invert bool of false", u"KelMathInvertDspBool", {pinSet("In", false)}, sends(true)},
    {"invert bool of true", u"KelMathInvertDspBool", {pinSet("In", true)}, kNothing},
    {"invert bool of a byte 2 is true", u"KelMathInvertDspBool", {{"In", mathtest::byteValue(2)}}, sends(true)},
    {"invert bool of the integer 2 is false", u"KelMathInvertDspBool", {pinSet("In", std::int32_t{2})}, kNothing},
};

TEST(DspControlModules, FirstResultIsSentAtTheGroupsPositionUnlessItIsZero) {
    for (const ControlCase& c : kCases) {
        DspSession session(c.id);
        ASSERT_EQ(session.status, lum::kOk) << c.what;
        EventList events = eventsAt(session, 5, c.inputs);
        EXPECT_EQ(session.run(16, events), expectedExchange(session, 5, c.sent)) << c.what;
    }
}

// Sets a value first so that a zero result has something to differ from.
struct ZeroCase {
    const char* what;
    std::u16string id;
    PinSet first;
    PinSet second;
    std::optional<PinValue> sent;
};

TEST(DspControlModules, ZeroResultsCarryTheirSignOnceTheOutputHeldSomethingElse) {
    const ZeroCase cases[] = {
        {"nearest -0.4 is +0", u"KelMathNearestDspFloat", pinSet("In", 5.0f), pinSet("In", -0.4f), sends(0.0f)},
        {"nearest -0.5 is +0", u"KelMathNearestDspFloat", pinSet("In", 5.0f), pinSet("In", -0.5f), sends(0.0f)},
        {"ceil -0.5 is -0", u"KelMathCeilDspFloat", pinSet("In", 5.0f), pinSet("In", -0.5f), sends(-0.0f)},
        {"invert 0 is -0", u"KelMathInvertDspFloat", pinSet("In", 5.0f), pinSet("In", 0.0f), sends(-0.0f)},
        {"abs -0 is +0", u"KelMathAbsDspFloat", pinSet("In", 5.0f), pinSet("In", -0.0f), sends(0.0f)},
        {"invert bool of true after false", u"KelMathInvertDspBool", pinSet("In", false), pinSet("In", true),
         sends(false)},
        {"integer result 0", u"KelMathAddDspInt", pinSet("A", std::int32_t{4}), pinSet("B", std::int32_t{-4}),
         sends(std::int32_t{0})},
    };
    for (const ZeroCase& c : cases) {
        DspSession session(c.id);
        ASSERT_EQ(session.status, lum::kOk) << c.what;
        EventList first = eventsAt(session, 0, {c.first});
        session.run(8, first);
        EventList second = eventsAt(session, 3, {c.second});
        EXPECT_EQ(session.run(8, second), expectedExchange(session, 3, c.sent)) << c.what;
    }
}

TEST(DspControlModules, OneGroupGivesOneUpdateAndEachGroupItsOwnPosition) {
    DspSession session(u"KelMathAddDspFloat");
    const std::int32_t a = session.pin("A"), b = session.pin("B"), out = session.pin("Out");
    EventList together;
    together.value(4, a, 1.0f).value(4, b, 2.0f);
    EXPECT_THAT(session.run(16, together), ElementsAre(setPinCall(4, out, 3.0f), sleepCall()));

    EventList apart;
    apart.value(2, a, 2.0f).value(9, b, 0.5f).value(9, a, 0.5f);
    EXPECT_THAT(session.run(16, apart), ElementsAre(setPinCall(2, out, 4.0f), setPinCall(9, out, 1.0f), sleepCall()));
}

TEST(DspControlModules, UnchangedResultIsNotSentAgainButNaNAlwaysIs) {
    DspSession add(u"KelMathAddDspInt");
    EventList events;
    events.value(1, add.pin("A"), std::int32_t{3});
    add.run(8, events);
    EXPECT_THAT(add.run(8, events), ElementsAre(sleepCall())) << "the same input again";
    EventList swapped;
    swapped.value(1, add.pin("A"), std::int32_t{1}).value(1, add.pin("B"), std::int32_t{2});
    EXPECT_THAT(add.run(8, swapped), ElementsAre(sleepCall())) << "a different sum of the same value";

    DspSession divide(u"KelMathDivideDspFloat");
    EventList nan;
    nan.value(0, divide.pin("B"), kNaN);
    for (int i = 0; i < 3; ++i) {
        const auto calls = divide.run(8, nan);
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].kind, lumhost::HostCallKind::SetPin);
        EXPECT_TRUE(std::isnan(calls[0].value<float>()));
    }
}

TEST(DspControlModules, GraphStartSendsTheHeldOutputBeforeTheGroupsResult) {
    DspSession session(u"KelMathMultiplyDspFloat");
    const std::int32_t out = session.pin("Out");
    EventList start;
    start.graphStart(0);
    EXPECT_THAT(session.run(8, start), ElementsAre(setPinCall(0, out, 0.0f), sleepCall()));

    EventList withValues;
    withValues.value(2, session.pin("A"), 3.0f).graphStart(2).value(2, session.pin("B"), 2.0f);
    EXPECT_THAT(session.run(8, withValues),
                ElementsAre(setPinCall(2, out, 0.0f), setPinCall(2, out, 6.0f), sleepCall()));

    EventList again;
    again.graphStart(0);
    EXPECT_THAT(session.run(8, again), ElementsAre(setPinCall(0, out, 6.0f), sleepCall()));
}

TEST(DspControlModules, BoolOutputIsOneByteAndMinMaxSendOnTheirFirstPin) {
    DspSession invert(u"KelMathInvertDspBool");
    EventList start;
    start.graphStart(0).value(0, invert.pin("In"), std::uint8_t{0});
    EXPECT_THAT(invert.run(8, start), ElementsAre(setPinCall(0, invert.pin("Out"), std::uint8_t{0}),
                                                  setPinCall(0, invert.pin("Out"), std::uint8_t{1}), sleepCall()));

    DspSession max(u"KelMathMaxDspInt");
    EventList values;
    values.value(6, max.pin("B"), std::int32_t{9});
    EXPECT_THAT(max.run(8, values), ElementsAre(setPinCall(6, max.pin("Out"), std::int32_t{9}), sleepCall()));
    EXPECT_EQ(max.pin("Out"), 0) << "Min and Max send on their first pin";
}

TEST(DspControlModules, SleepInEveryBlockAndWakeForTheNextEvent) {
    DspSession session(u"KelMathLimitDspInt");
    EXPECT_THAT(session.run(32), ElementsAre(sleepCall()));
    EXPECT_THAT(session.run(32), ElementsAre(sleepCall()));
    EventList events;
    events.value(31, session.pin("Min"), std::int32_t{4});
    EXPECT_THAT(session.run(32, events), ElementsAre(setPinCall(31, session.pin("Out"), std::int32_t{4}), sleepCall()));
    EventList atEnd;
    atEnd.value(32, session.pin("Min"), std::int32_t{8});
    EXPECT_THAT(session.run(32, atEnd), IsEmpty()) << "an event at the block length is not handled";
}

}  // namespace
