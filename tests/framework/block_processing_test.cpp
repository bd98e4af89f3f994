// How process splits a block at event times and runs the three event passes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "support/probe_session.h"

namespace {

using lumhost::EventList;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class BlockProcessingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(session.status, lum::kOk);
        session.traceSpans();
    }
    lumtest::ProbeSession session;
    EventList events;
};

TEST_F(BlockProcessingTest, BlockWithoutEventsIsOneSpan) {
    EXPECT_THAT(session.run(32), ElementsAre("span(0,32)"));
    EXPECT_THAT(session.run(0), ElementsAre("span(0,0)"));
}

TEST_F(BlockProcessingTest, EventGroupSplitsTheBlock) {
    events.value(10, probe::kValue, 1.0f).value(10, probe::kFlag, true).value(10, probe::kValue, 2.0f);
    EXPECT_THAT(session.run(32, events),
                ElementsAre("span(0,10)", "handler(updated)", "handler(updated)", "onSetPins[value,flag] streaming 0",
                            "flag byte 1", "setPin(@10, double = 4)", "span(10,22)"));
}

TEST_F(BlockProcessingTest, BlockWithoutEventsStampsAtItsStartNotAtAnEarlierEventTime) {
    events.value(10, probe::kValue, 1.0f);
    session.run(32, events);
    session.run(3);
    for (const lumhost::HostCall& call : session.host.exchange()) EXPECT_EQ(call.position, 0);
}

TEST_F(BlockProcessingTest, EventAtTimeZeroComesBeforeAnySpan) {
    events.value(0, probe::kValue, 1.5f);
    EXPECT_THAT(session.run(16, events), ElementsAre("handler(updated)", "onSetPins[value] streaming 0",
                                                     "setPin(@0, double = 3)", "span(0,16)"));
}

TEST_F(BlockProcessingTest, EachEventTimeIsItsOwnGroup) {
    events.value(4, probe::kValue, 1.0f).value(9, probe::kValue, 1.0f);
    EXPECT_THAT(session.run(12, events),
                ElementsAre("span(0,4)", "handler(updated)", "onSetPins[value] streaming 0", "setPin(@4, double = 2)",
                            "span(4,5)", "handler(updated)", "onSetPins[value] streaming 0", "span(9,3)"));
}

TEST_F(BlockProcessingTest, StreamingAndValueAtOneTimeCallOnSetPinsOnceAfterEveryPin) {
    events.streaming(5, probe::kSignal, true).value(5, probe::kValue, 1.0f);
    EXPECT_THAT(session.run(8, events),
                ElementsAre("span(0,5)", "handler(updated)", "onSetPins[value,signal] streaming 1",
                            "setPin(@5, double = 2)", "span(5,3)"));
}

TEST_F(BlockProcessingTest, GraphStartAndOtherEventsAloneCallNoOnSetPins) {
    events.graphStart(3).raw(6, lum::kEventPinOther, probe::kValue);
    // Graph start: every output announces itself, in pin order.
    EXPECT_THAT(session.run(8, events),
                ElementsAre("span(0,3)", "streaming(@3, pin 4, on)", "trace 0", "setPin(@3, double = 0)", "span(3,3)",
                            "handler(not updated)", "span(6,2)"));
}

TEST_F(BlockProcessingTest, EventAtTheBlockLengthIsNotHandled) {
    events.value(16, probe::kValue, 1.0f);
    EXPECT_THAT(session.run(16, events), ElementsAre("span(0,16)"));
}

TEST_F(BlockProcessingTest, EventPastTheBlockEndEndsTheBlockWithoutOverrun) {
    session.out.fill(-1.0f);
    events.value(4, probe::kValue, 1.0f).value(500, probe::kValue, 2.0f);
    EXPECT_THAT(session.run(8, events), ElementsAre("span(0,4)", "handler(updated)", "onSetPins[value] streaming 0",
                                                    "setPin(@4, double = 2)", "span(4,4)"));
    EXPECT_TRUE(session.out.guardsIntact());
}

TEST_F(BlockProcessingTest, LateEventsJoinTheGroupWhereTheBlockHasGot) {
    events.value(6, probe::kValue, 1.0f).value(2, probe::kValue, 3.0f).value(2, probe::kFlag, true);
    EXPECT_THAT(session.run(10, events),
                ElementsAre("span(0,6)", "handler(updated)", "handler(updated)", "onSetPins[value,flag] streaming 0",
                            "flag byte 1", "setPin(@6, double = 6)", "span(6,4)"));
}

TEST_F(BlockProcessingTest, NegativeBlockLengthProcessesNothing) {
    events.value(0, probe::kValue, 1.0f);
    EXPECT_THAT(session.run(-5, events),
                ElementsAre("handler(updated)", "onSetPins[value] streaming 0", "setPin(@0, double = 2)", "span(0,0)"));
}

TEST_F(BlockProcessingTest, UnregisteredPinChangesNothingButStillCallsOnSetPins) {
    events.value(2, 77, 1.0f).streaming(2, -3, true);
    EXPECT_THAT(session.run(4, events), ElementsAre("span(0,2)", "onSetPins[] streaming 0", "span(2,2)"));
}

TEST_F(BlockProcessingTest, UpdatedFlagsClearAfterTheGroup) {
    events.value(1, probe::kValue, 1.0f).value(3, probe::kCommand, std::int32_t{0});
    EXPECT_THAT(session.run(4, events),
                ElementsAre("span(0,1)", "handler(updated)", "onSetPins[value] streaming 0", "setPin(@1, double = 2)",
                            "span(1,2)", "onSetPins[command] streaming 0", "span(3,1)"));
}

TEST_F(BlockProcessingTest, SpansCoverTheBlockExactly) {
    session.signal.fill(0.25f);
    session.out.fill(0.0f);
    events.value(3, probe::kValue, 1.0f).value(60, probe::kValue, 2.0f);
    session.run(64, events);
    for (std::int32_t i = 0; i < 64; ++i) EXPECT_EQ(session.out[i], 0.25f) << "sample " << i;
    EXPECT_EQ(session.out[64], 0.0f);
    EXPECT_TRUE(session.out.guardsIntact());
}

// A broken host's list: process handles a bounded number of events, then finishes the
// block as after its last handled group.
TEST_F(BlockProcessingTest, EndlessListIsCutAtTheEventBudget) {
    for (std::int32_t i = 0; i < lum::kMaxEventsPerProcess + 100; ++i) events.value(2, probe::kValue, 1.0f);
    const auto heard = session.run(8, events);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "handler(updated)"), lum::kMaxEventsPerProcess);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "onSetPins[value] streaming 0"), 1);
    EXPECT_EQ(heard.front(), "span(0,2)");
    EXPECT_EQ(heard.back(), "span(2,6)");
}

TEST_F(BlockProcessingTest, ListLoopingBackOnItselfEndsAndTheBlockIsFinished) {
    session.signal.fill(0.5f);
    session.out.fill(0.0f);
    events.value(2, probe::kValue, 1.0f).value(5, probe::kValue, 2.0f);
    // The host's records are its own to link: loop the last one back to the first.
    const lum::HostEvent* first = events.head();
    const_cast<lum::HostEvent*>(first->next)->next = first;
    session.host.clear();
    session.plugin->process(8, first);
    const auto heard = lumtest::transcript(session.host.exchange());
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "handler(updated)"), lum::kMaxEventsPerProcess);
    EXPECT_EQ(heard.back(), "span(5,3)");
    for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(session.out[i], 0.5f) << "sample " << i;
    EXPECT_TRUE(session.out.guardsIntact());
}

TEST(BlockProcessingSetup, UnregisteredBufferIsRefused) {
    lumtest::ProbeSession session;
    float samples[4] = {};
    EXPECT_EQ(session.plugin->setBuffer(probe::kSignal, samples), lum::kOk);
    EXPECT_EQ(session.plugin->setBuffer(99, samples), lum::kFailed);
    EXPECT_EQ(session.plugin->open(), lum::kOk);
    EXPECT_EQ(session.plugin->receiveMessage(1, 2, nullptr), lum::kOk);
    EXPECT_THAT(session.host.exchange(), IsEmpty());
}

}  // namespace
