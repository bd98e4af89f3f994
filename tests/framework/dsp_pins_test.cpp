// DSP pins toward the host: how values and streaming states are taken and declared.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "support/probe_session.h"

namespace {

using lumhost::EventList;
using ::testing::ElementsAre;

class DspPinsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(session.status, lum::kOk);
        session.traceSpans();
    }
    // Handles one event at time 0 of a one-sample block.
    std::vector<std::string> deliver(lum::HostEvent event) {
        event.time = 0;
        event.next = nullptr;
        session.host.clear();
        session.plugin->process(1, &event);
        return lumtest::transcript(session.host.exchange());
    }
    static lum::HostEvent valueEvent(std::int32_t pinIndex, std::int32_t size, const void* inlineBytes,
                                     const void* data) {
        lum::HostEvent event{0, lum::kEventPinSet, pinIndex, size, {}, data, nullptr};
        if (inlineBytes != nullptr) std::memcpy(event.inlineData, inlineBytes, 4);
        return event;
    }
    lumtest::ProbeSession session;
};

TEST_F(DspPinsTest, FloatValueComesInlineOrFromTheDataPointer) {
    const float inlineValue = 1.0f;
    const float pointedValue = 3.0f;
    EXPECT_THAT(deliver(valueEvent(probe::kValue, 4, &inlineValue, nullptr)),
                ElementsAre("handler(updated)", "onSetPins[value] streaming 0", "setPin(@0, double = 2)", "span(0,1)"));
    EXPECT_THAT(deliver(valueEvent(probe::kValue, 4, &inlineValue, &pointedValue)),
                ElementsAre("handler(updated)", "onSetPins[value] streaming 0", "setPin(@0, double = 6)", "span(0,1)"));
}

TEST_F(DspPinsTest, BoolReadsFourBytesAsAnIntegerAndOtherSizesAsTheFirstByte) {
    struct Case {
        std::int32_t size;
        std::int32_t word;
        const char* expected;
    };
    for (const Case& c : {Case{4, 2, "flag byte 1"}, Case{4, 0x100, "flag byte 1"}, Case{1, 0, "flag byte 0"},
                          Case{1, 7, "flag byte 7"}, Case{2, 0x0100, "flag byte 0"}}) {
        EXPECT_THAT(deliver(valueEvent(probe::kFlag, c.size, &c.word, nullptr)),
                    ElementsAre("onSetPins[flag] streaming 0", c.expected, "span(0,1)"))
            << "size " << c.size << ", word " << c.word;
    }
}

TEST_F(DspPinsTest, OversizedValueCopiesOnlyThePinsOwnBytes) {
    std::vector<float> payload(1024, 7.0f);
    payload[0] = 2.0f;
    EXPECT_THAT(deliver(valueEvent(probe::kValue, 4096, nullptr, payload.data())),
                ElementsAre("handler(updated)", "onSetPins[value] streaming 0", "setPin(@0, double = 4)", "span(0,1)"));
    const std::uint8_t bytes[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_THAT(deliver(valueEvent(probe::kFlag, 8, nullptr, bytes)),
                ElementsAre("onSetPins[flag] streaming 0", "flag byte 1", "span(0,1)"));
}

TEST_F(DspPinsTest, NegativeOrZeroSizeChangesNoValue) {
    const float value = 5.0f;
    for (std::int32_t size : {-4, -1, 0}) {
        EXPECT_THAT(deliver(valueEvent(probe::kValue, size, &value, &value)),
                    ElementsAre("handler(updated)", "onSetPins[value] streaming 0", "span(0,1)"))
            << "size " << size;
    }
    EXPECT_THAT(deliver(valueEvent(probe::kFlag, 0, &value, nullptr)),
                ElementsAre("onSetPins[flag] streaming 0", "flag byte 0", "span(0,1)"));
}

TEST_F(DspPinsTest, StreamingStartOnAStreamingInputIsFlaggedButNotCounted) {
    EventList events;
    events.streaming(0, probe::kSignal, true);
    EXPECT_THAT(session.run(1, events), ElementsAre("onSetPins[signal] streaming 1", "span(0,1)"));
    EXPECT_THAT(session.run(1, events), ElementsAre("onSetPins[signal] streaming 1", "span(0,1)"));
    events.clear();
    events.streaming(0, probe::kSignal, false);
    EXPECT_THAT(session.run(1, events), ElementsAre("onSetPins[signal] streaming 0", "span(0,1)"));
}

TEST_F(DspPinsTest, QuietOutputInformsTheHostEveryTimeButCountsOnce) {
    EventList events;
    events.value(0, probe::kCommand, std::int32_t{probe::kOutStreaming});
    EXPECT_THAT(session.run(1, events),
                ElementsAre("onSetPins[command] streaming 0", "streaming(@0, pin 4, on)", "span(0,1)"));
    events.clear();
    events.value(0, probe::kCommand, std::int32_t{probe::kOutQuiet}).value(0, probe::kValue, 0.0f);
    const auto quiet = ElementsAre("handler(updated)", "onSetPins[value,command] streaming 1", "getBlockSize()",
                                   "streaming(@0, pin 4, off)", "span(0,1)");
    EXPECT_THAT(session.run(1, events), quiet);
    // streaming 1 again: the second quiet declaration did not count a change.
    EXPECT_THAT(session.run(1, events), ElementsAre("handler(updated)", "onSetPins[value,command] streaming 0",
                                                    "getBlockSize()", "streaming(@0, pin 4, off)", "span(0,1)"));
    EXPECT_THAT(session.run(1, events), ElementsAre("handler(updated)", "onSetPins[value,command] streaming 0",
                                                    "getBlockSize()", "streaming(@0, pin 4, off)", "span(0,1)"));
}

TEST_F(DspPinsTest, InputStreamingFlagStartsSetAndClearsAfterAStreamingEvent) {
    lumtest::ProbeSession fresh;
    EventList events;
    events.value(0, probe::kValue, 0.0f);
    EXPECT_THAT(fresh.run(1, events),
                ElementsAre("handler(updated)", "onSetPins[value,signal] streaming 0", "sleep()"));
    events.streaming(0, probe::kSignal, false);
    fresh.run(1, events);
    events.clear();
    events.value(0, probe::kValue, 0.0f);
    EXPECT_THAT(fresh.run(1, events), ElementsAre("handler(updated)", "onSetPins[value] streaming 0", "sleep()"));
}

}  // namespace
