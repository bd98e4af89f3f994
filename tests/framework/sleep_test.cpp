// The sleep handshake: when a module asks the host to sleep, and what wakes it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/dsp_run.h"
#include "support/probe_session.h"

namespace {

using lumhost::EventList;
using lumhost::GuardedBuffer;
using lumhost::RecordingHost;
using lumhost::Ref;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ControlModuleSleep, AsksToSleepOnceEveryBlockAtItsLastSpan) {
    lumhost::ModuleLibrary library(lumtest::libraryPath("LUM_TEST"));
    RecordingHost host;
    auto control = lumhost::createDsp(library.factory(), u"LumTestControl", host.object());
    ASSERT_EQ(control.status, lum::kOk);

    EventList events;
    events.value(10, control::kA, 1.5f).value(20, control::kB, 1.0f);
    control.object->process(32, events.head());
    EXPECT_THAT(host.exchange(), ElementsAre(lumhost::setPinCall(10, control::kSum, 1.5f),
                                             lumhost::setPinCall(20, control::kSum, 2.5f), lumhost::sleepCall()));

    host.clear();
    control.object->process(32, nullptr);
    EXPECT_THAT(host.exchange(), ElementsAre(lumhost::sleepCall()));

    host.clear();
    events.clear();
    events.value(31, control::kA, 1.5f);
    control.object->process(32, events.head());
    EXPECT_THAT(host.exchange(), ElementsAre(lumhost::sleepCall())) << "an unchanged result is not sent";
}

class ProbeSleepTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(session.status, lum::kOk); }
    std::vector<std::string> command(std::int32_t count, std::int32_t time, std::int32_t bits) {
        EventList events;
        events.value(time, probe::kCommand, bits);
        return session.run(count, events);
    }
    lumtest::ProbeSession session;
};

TEST_F(ProbeSleepTest, QuietOutputRunsOneHostBlockThenSleeps) {
    session.host.setBlockSize(64);
    session.traceSpans();
    EXPECT_THAT(
        command(32, 0, probe::kOutQuiet | probe::kMaySleep),
        ElementsAre("onSetPins[command] streaming 0", "getBlockSize()", "streaming(@0, pin 4, off)", "span(0,32)"));
    // The countdown runs out at the end of the second block, which asks to sleep there.
    EXPECT_THAT(session.run(32), ElementsAre("span(0,32)", "sleep()"));
    EXPECT_THAT(session.run(32), ElementsAre("sleep()"));
}

TEST_F(ProbeSleepTest, CountdownIsSplitAcrossSpansAndNeverEndsMidBlock) {
    session.host.setBlockSize(20);
    session.traceSpans();
    EXPECT_THAT(command(32, 0, probe::kOutQuiet | probe::kMaySleep),
                ElementsAre("onSetPins[command] streaming 0", "getBlockSize()", "streaming(@0, pin 4, off)",
                            "span(0,20)", "sleep()"));
    // A span that ends at an event never sleeps: it reloads the countdown for itself.
    EventList events;
    events.value(12, probe::kValue, 1.0f);
    EXPECT_THAT(session.run(32, events), ElementsAre("span(0,12)", "handler(updated)", "onSetPins[value] streaming 0",
                                                     "setPin(@12, double = 2)", "sleep()"));
}

TEST_F(ProbeSleepTest, SleepingModuleIsWokenByTheNextEvent) {
    session.traceSpans();
    EXPECT_THAT(command(16, 0, probe::kMaySleep), ElementsAre("onSetPins[command] streaming 0", "sleep()"));
    EXPECT_THAT(command(16, 0, probe::kNeverSleep), ElementsAre("onSetPins[command] streaming 0", "span(0,16)"));
    EXPECT_THAT(session.run(16), ElementsAre("span(0,16)"));
}

TEST_F(ProbeSleepTest, StreamingInputKeepsAnAutomaticModuleAwake) {
    command(8, 0, probe::kUseTracingSubProcess);
    EXPECT_THAT(session.run(8), ElementsAre("sleep()")) << "nothing streams yet";

    EventList start;
    start.streaming(2, probe::kSignal, true);
    // A span that ends at an event runs the sub-process even in the sleep step.
    EXPECT_THAT(session.run(8, start), ElementsAre("span(0,2)", "onSetPins[signal] streaming 1", "span(2,6)"));
    EXPECT_THAT(session.run(8), ElementsAre("span(0,8)"));

    EventList stop;
    stop.streaming(4, probe::kSignal, false);
    EXPECT_THAT(session.run(8, stop), ElementsAre("span(0,4)", "onSetPins[signal] streaming 0", "sleep()"));
}

TEST_F(ProbeSleepTest, SubProcessChosenDuringTheSleepStepTakesOverAfterIt) {
    session.host.setBlockSize(8);
    session.traceSpans();
    command(8, 0, probe::kOutQuiet | probe::kMaySleep);
    // Choosing the sub-process again while the countdown runs keeps the sleep step.
    EXPECT_THAT(command(16, 0, probe::kUseTracingSubProcess), ElementsAre("onSetPins[command] streaming 0", "sleep()"));
    EXPECT_THAT(command(16, 0, probe::kOutStreaming | probe::kNeverSleep),
                ElementsAre("onSetPins[command] streaming 0", "streaming(@0, pin 4, on)", "span(0,16)"));
}

TEST_F(ProbeSleepTest, NonPositiveHostBlockSizeDoesNotWedgeTheSleepStep) {
    for (std::int32_t blockSize : {0, -7}) {
        session.host.setBlockSize(blockSize);
        session.traceSpans();
        EXPECT_THAT(
            command(16, 0, probe::kOutQuiet | probe::kMaySleep),
            ElementsAre("onSetPins[command] streaming 0", "getBlockSize()", "streaming(@0, pin 4, off)", "sleep()"));
        EXPECT_THAT(session.run(16), ElementsAre("sleep()"));
    }
}

// The audio-rate pattern of the math library, on the test library's gain module.
class GainSleepTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto created = lumhost::createDsp(library.factory(), u"LumTestGain", host.object());
        ASSERT_EQ(created.status, lum::kOk);
        gain = std::move(created.object);
        gain->setBuffer(gain::kIn, in.data());
        gain->setBuffer(gain::kOut, out.data());
        in.fill(0.5f);
    }
    lumhost::ModuleLibrary library{lumtest::libraryPath("LUM_TEST")};
    RecordingHost host;
    GuardedBuffer in{64};
    GuardedBuffer out{64};
    Ref<lum::IMpPlugin> gain;
};

TEST_F(GainSleepTest, StreamingInputStreamsOutputAndStoppedInputSleepsAfterOneBlock) {
    host.setBlockSize(64);
    EventList start;
    start.graphStart(0).value(0, gain::kGain, 2.0f).streaming(0, gain::kIn, true);
    gain->process(64, start.head());
    EXPECT_THAT(host.exchange(), ElementsAre(lumhost::setPinStreamingCall(0, gain::kOut, true),
                                             lumhost::setPinStreamingCall(0, gain::kOut, true)));
    EXPECT_EQ(out[63], 1.0f);

    for (int block = 0; block < 3; ++block) {
        host.clear();
        gain->process(64, nullptr);
        EXPECT_THAT(host.exchange(), IsEmpty());
    }

    EventList stop;
    stop.streaming(16, gain::kIn, false);
    host.clear();
    out.fill(0.0f);
    gain->process(64, stop.head());
    EXPECT_THAT(host.exchange(),
                ElementsAre(lumhost::getBlockSizeCall(), lumhost::setPinStreamingCall(16, gain::kOut, false)));
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[63], 1.0f);

    host.clear();
    out.fill(0.0f);
    gain->process(64, nullptr);
    EXPECT_THAT(host.exchange(), ElementsAre(lumhost::sleepCall()));
    EXPECT_EQ(out[15], 1.0f) << "the countdown from sample 16 reaches into this block";
    EXPECT_EQ(out[16], 0.0f);
    EXPECT_TRUE(out.guardsIntact());
}

// The host's own block-by-block run: a sleeping module is left alone with its output held,
// and a live change reaches it as the next block's event.
TEST(LiveRunSleep, HeldOutputUntilALiveChangeWakesTheModule) {
    lumhost::ModuleLibrary library(lumtest::libraryPath("LUM_TEST"));
    const auto description = lumhost::readLibraryDescription(lumhost::descriptionPath(library.path()));
    lumhost::DspRun run(library.factory(), *description.findModule("LumTestGain"), 48000, 4, {{"In", "0.5"}});
    auto nextBlock = [&] {
        const bool ran = run.processBlock(nullptr, 0, 4);
        return std::make_pair(ran, run.outputBlock(0)[3]);
    };
    run.change({"Gain", "2"});  // before the first block: after the graph start's values
    ASSERT_EQ(nextBlock(), std::make_pair(true, 1.0f));
    int blocks = 1;
    while (nextBlock().first && blocks < 100) ++blocks;
    EXPECT_LT(blocks, 100) << "never slept";
    EXPECT_EQ(nextBlock(), std::make_pair(false, 1.0f));

    run.change({"Gain", "3"});
    EXPECT_EQ(nextBlock(), std::make_pair(true, 1.5f));
    run.change({"In", "0.25"});  // a new constant, announced as not streaming
    EXPECT_EQ(nextBlock(), std::make_pair(true, 0.75f));

    EXPECT_THROW(run.change({"Out", "1"}), lumhost::UserError);
    EXPECT_THROW(run.change({"Gain", "loud"}), lumhost::UserError);
    EXPECT_THROW(run.processBlock(nullptr, 0, 5), lumhost::UserError);
}

}  // namespace
