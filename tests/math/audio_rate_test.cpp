// Audio-rate modules: sample formulas, the four-wide and one-sample paths, and the
// streaming and sleep conversation with the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "math_session.h"

namespace {

using lumhost::EventList;
using lumhost::getBlockSizeCall;
using lumhost::setPinStreamingCall;
using lumhost::sleepCall;
using mathtest::kInf;
using mathtest::kNaN;
using mathtest::sameFloat;
using mathtest::SampleBuffer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A value no module computes from the inputs used here.
const float kUntouched = -12345.0f;

// An audio module with a buffer on every pin, the inputs in pin order; `memoryOffset` 1
// makes them unaligned.
class AudioSession : public mathtest::DspSession {
public:
    explicit AudioSession(const std::u16string& id, std::int32_t frames = 64, std::int32_t memoryOffset = 1,
                          bool giveBuffers = true)
        : DspSession(id) {
        for (const lumhost::PinDescription& pin : module.pins) {
            if (pin.direction != lum::kDirectionIn) continue;
            inputPins.push_back(pin.index);
            inputs.push_back(std::make_unique<SampleBuffer>(frames, memoryOffset));
        }
        output = std::make_unique<SampleBuffer>(frames, memoryOffset);
        output->fill(kUntouched);
        if (!plugin || !giveBuffers) return;
        for (std::size_t i = 0; i < inputPins.size(); ++i) plugin->setBuffer(inputPins[i], in(i).data());
        plugin->setBuffer(pin("Out"), output->data());
    }
    SampleBuffer& in(std::size_t i) { return *inputs[i]; }
    SampleBuffer& out() { return *output; }
    std::int32_t inPin(std::size_t i) const { return inputPins[i]; }
    // Every input starts streaming at `time` of a block of `count`.
    std::vector<lumhost::HostCall> startStreaming(std::int32_t count, std::int32_t time = 0) {
        EventList events;
        for (std::int32_t pin : inputPins) events.streaming(time, pin, true);
        return run(count, events);
    }
    bool guardsIntact() const {
        for (const auto& buffer : inputs) {
            if (!buffer->guardsIntact()) return false;
        }
        return output->guardsIntact();
    }

    std::vector<std::int32_t> inputPins;
    std::vector<std::unique_ptr<SampleBuffer>> inputs;
    std::unique_ptr<SampleBuffer> output;
};

struct FormulaCase {
    const char* what;
    std::u16string id;
    std::vector<float> inputs;  // in pin order
    float expected;
};

const FormulaCase kFormulaCases[] = {
    {"limit tests the upper bound first", u"KelMathLimitAudio", {4.0f, 5.0f, 3.0f}, 3.0f},
    {"limit above an inverted range", u"KelMathLimitAudio", {6.0f, 5.0f, 3.0f}, 3.0f},
    {"limit below an inverted range", u"KelMathLimitAudio", {2.0f, 5.0f, 3.0f}, 5.0f},
    {"limit in range", u"KelMathLimitAudio", {0.25f, -1.0f, 1.0f}, 0.25f},
    {"limit passes a NaN", u"KelMathLimitAudio", {kNaN, 5.0f, 3.0f}, kNaN},
    {"min", u"KelMathMinAudio", {2.0f, 1.0f}, 1.0f},
    {"min of a NaN A", u"KelMathMinAudio", {kNaN, 1.0f}, kNaN},
    {"min ignores a NaN B", u"KelMathMinAudio", {1.0f, kNaN}, 1.0f},
    {"max", u"KelMathMaxAudio", {1.0f, 2.0f}, 2.0f},
    {"max ignores a NaN B", u"KelMathMaxAudio", {1.0f, kNaN}, 1.0f},
    {"subtract", u"KelMathSubtractAudio", {0.5f, 0.25f}, 0.25f},
    {"multiply scales by ten", u"KelMathMultiplyAudio", {0.5f, 0.2f}, 1.0f},
    {"divide scales the divisor by ten", u"KelMathDivideAudio", {0.5f, 0.05f}, 1.0f},
    {"divide by zero", u"KelMathDivideAudio", {0.5f, 0.0f}, kInf},
    {"divide a negative by zero", u"KelMathDivideAudio", {-0.5f, 0.0f}, -kInf},
    {"divide zero by zero", u"KelMathDivideAudio", {0.0f, 0.0f}, kNaN},
    {"floor in units of 0.1", u"KelMathFloorAudio", {-0.01f}, -1.0f * 0.1f},
    {"floor", u"KelMathFloorAudio", {0.19f}, 1.0f * 0.1f},
    {"floor of a negative half", u"KelMathFloorAudio", {-0.15f}, -2.0f * 0.1f},
    {"ceil in units of 0.1", u"KelMathCeilAudio", {0.01f}, 1.0f * 0.1f},
    {"ceil of a negative half", u"KelMathCeilAudio", {-0.15f}, -1.0f * 0.1f},
    {"nearest", u"KelMathNearestAudio", {0.26f}, 3.0f * 0.1f},
    {"nearest negative", u"KelMathNearestAudio", {-0.26f}, -3.0f * 0.1f},
    {"nearest of an even half", u"KelMathNearestAudio", {0.25f}, 2.0f * 0.1f},
    {"abs", u"KelMathAbsAudio", {-0.5f}, 0.5f},
    {"abs of -0", u"KelMathAbsAudio", {-0.0f}, 0.0f},
    {"invert negates", u"KelMathInvertAudio", {0.5f}, -0.5f},
    {"invert of 0", u"KelMathInvertAudio", {0.0f}, -0.0f},
};

// Seven samples: a group of four and three through the one-sample formula.
TEST(AudioRateModules, EverySampleOfTheSpanFollowsTheFormula) {
    for (const FormulaCase& c : kFormulaCases) {
        AudioSession session(c.id, 7);
        ASSERT_EQ(session.status, lum::kOk) << c.what;
        for (std::size_t i = 0; i < c.inputs.size(); ++i) session.in(i).fill(c.inputs[i]);
        session.startStreaming(7);
        for (std::int32_t i = 0; i < 7; ++i) {
            EXPECT_TRUE(sameFloat(session.out()[i], c.expected))
                << c.what << " sample " << i << ": " << session.out()[i] << " expected " << c.expected;
        }
        EXPECT_TRUE(session.guardsIntact()) << c.what;
    }
}

// Runs one block of `count` split into spans at `cuts`; every input stays streaming.
void runSpans(AudioSession& session, std::int32_t count, const std::vector<std::int32_t>& cuts) {
    EventList events;
    for (std::int32_t time : cuts) events.streaming(time, session.inPin(0), true);
    session.run(count, events);
}

std::vector<std::int32_t> cutsEvery(std::int32_t step, std::int32_t count) {
    std::vector<std::int32_t> cuts;
    for (std::int32_t time = step; time < count; time += step) cuts.push_back(time);
    return cuts;
}

struct SplitCase {
    const char* what;
    std::u16string id;
    float input;
    float fourWide;   // what a lane of a group of four gives
    float oneSample;  // what the remainder of a span gives
};

TEST(AudioRateModules, FourWideAndOneSamplePathsDifferWhereTheyRoundDifferently) {
    const SplitCase cases[] = {
        {"odd half toward zero in lanes, to even alone", u"KelMathNearestAudio", 0.15f, 0.1f, 2.0f * 0.1f},
        {"negative odd half", u"KelMathNearestAudio", -0.15f, -0.1f, -2.0f * 0.1f},
        {"floor of -0 loses its sign in lanes", u"KelMathFloorAudio", -0.0f, 0.0f, -0.0f},
        {"ceil of a small negative is +0 in lanes", u"KelMathCeilAudio", -0.04f, 0.0f, -0.0f},
        {"an even half agrees", u"KelMathNearestAudio", 0.25f, 2.0f * 0.1f, 2.0f * 0.1f},
    };
    // Spans (start, length): lengths 0, 1, 3, 4, 5 and 63 at aligned and odd positions.
    const std::pair<std::int32_t, std::int32_t> spans[] = {{0, 0}, {0, 1}, {0, 3}, {0, 4},  {0, 5}, {0, 63},
                                                           {1, 3}, {3, 4}, {5, 5}, {1, 63}, {4, 1}, {7, 0}};
    for (const SplitCase& c : cases) {
        for (const auto& [start, length] : spans) {
            AudioSession session(c.id, 70);
            session.in(0).fill(c.input);
            session.startStreaming(0);
            const std::int32_t count = start + length;
            const bool cut = start > 0 && length > 0;
            runSpans(session, count, cut ? std::vector<std::int32_t>{start} : std::vector<std::int32_t>{});
            // Each span has its own groups of four, counted from its first sample.
            const std::vector<std::pair<std::int32_t, std::int32_t>> ran =
                cut ? std::vector<std::pair<std::int32_t, std::int32_t>>{{0, start}, {start, length}}
                    : std::vector<std::pair<std::int32_t, std::int32_t>>{{0, count}};
            for (const auto& [from, frames] : ran) {
                for (std::int32_t i = 0; i < frames; ++i) {
                    const float expected = i < frames / 4 * 4 ? c.fourWide : c.oneSample;
                    EXPECT_TRUE(sameFloat(session.out()[from + i], expected))
                        << c.what << ": span (" << from << ", " << frames << ") sample " << i << " gave "
                        << session.out()[from + i];
                }
            }
            for (std::int32_t i = count; i < 70; ++i) ASSERT_EQ(session.out()[i], kUntouched) << c.what;
            EXPECT_TRUE(session.guardsIntact()) << c.what;
        }
    }
}

TEST(AudioRateModules, FourWideAndOneSamplePathsAgreeOnOrdinaryValues) {
    constexpr std::int32_t kFrames = 64;
    for (const char16_t* id :
         {u"KelMathDivideAudio", u"KelMathFloorAudio", u"KelMathCeilAudio", u"KelMathNearestAudio"}) {
        AudioSession lanes(id, kFrames);
        AudioSession single(id, kFrames);
        for (AudioSession* session : {&lanes, &single}) {
            for (std::int32_t i = 0; i < kFrames; ++i) {
                session->in(0)[i] = static_cast<float>(i - 31) * 0.0371f + static_cast<float>(i % 7) * 1e-4f;
                if (session->inputs.size() > 1) session->in(1)[i] = static_cast<float>(i % 9 - 4) * 0.013f;
            }
            session->startStreaming(0);
        }
        lanes.run(kFrames);
        runSpans(single, kFrames, cutsEvery(3, kFrames));
        for (std::int32_t i = 0; i < kFrames; ++i) {
            const float a = lanes.out()[i];
            const float b = single.out()[i];
            EXPECT_TRUE(a == b || (std::isnan(a) && std::isnan(b)))
                << mathtest::narrow(id) << " sample " << i << ": " << a << " vs " << b;
        }
    }
}

TEST(AudioRateModules, QuietInputsComputeOneHostBlockThenSleep) {
    AudioSession session(u"KelMathSubtractAudio", 32);
    session.host.setBlockSize(64);
    session.in(0).fill(0.5f);
    session.in(1).fill(0.25f);
    EventList quiet;
    quiet.streaming(0, session.pin("A"), false);
    EXPECT_THAT(session.run(32, quiet),
                ElementsAre(getBlockSizeCall(), setPinStreamingCall(0, session.pin("Out"), false)));
    EXPECT_EQ(session.out()[31], 0.25f);

    session.out().fill(kUntouched);
    EXPECT_THAT(session.run(32), ElementsAre(sleepCall()));
    EXPECT_EQ(session.out()[0], 0.25f);
    EXPECT_EQ(session.out()[31], 0.25f);

    session.out().fill(kUntouched);
    EXPECT_THAT(session.run(32), ElementsAre(sleepCall()));
    EXPECT_EQ(session.out()[0], kUntouched) << "asleep, nothing is computed";
}

TEST(AudioRateModules, OneStreamingInputKeepsTheOutputStreamingAndTheModuleAwake) {
    AudioSession session(u"KelMathMultiplyAudio", 16);
    EventList start;
    start.streaming(3, session.pin("B"), true);
    EXPECT_THAT(session.run(16, start), ElementsAre(setPinStreamingCall(3, session.pin("Out"), true)));
    for (int block = 0; block < 5; ++block) {
        session.in(0).fill(0.1f * static_cast<float>(block));
        session.in(1).fill(1.0f);
        EXPECT_THAT(session.run(16), IsEmpty());
        EXPECT_EQ(session.out()[15], (1.0f * (0.1f * static_cast<float>(block))) * 10.0f);
    }
}

TEST(AudioRateModules, OutputStaysStreamingUntilTheLastInputStops) {
    AudioSession session(u"KelMathLimitAudio", 32);
    session.host.setBlockSize(40);
    const std::int32_t out = session.pin("Out");
    EXPECT_THAT(session.startStreaming(32), ElementsAre(setPinStreamingCall(0, out, true)));

    EventList oneStops;
    oneStops.streaming(10, session.pin("Min"), false);
    EXPECT_THAT(session.run(32, oneStops), ElementsAre(setPinStreamingCall(10, out, true)));
    EventList twoStop;
    twoStop.streaming(4, session.pin("Value"), false).streaming(4, session.pin("Max"), false);
    EXPECT_THAT(session.run(32, twoStop), ElementsAre(getBlockSizeCall(), setPinStreamingCall(4, out, false)));

    // 28 samples of the countdown of 40 ran after the stop; 12 more, then sleep.
    session.out().fill(kUntouched);
    EXPECT_THAT(session.run(32), ElementsAre(sleepCall()));
    EXPECT_NE(session.out()[11], kUntouched);
    EXPECT_EQ(session.out()[12], kUntouched);
}

TEST(AudioRateModules, GraphStartDeclaresStreamingBeforeTheRealState) {
    AudioSession session(u"KelMathFloorAudio", 16);
    EventList start;
    const std::int32_t out = session.pin("Out");
    start.graphStart(0).streaming(0, session.pin("In"), false);
    EXPECT_THAT(session.run(16, start),
                ElementsAre(setPinStreamingCall(0, out, true), getBlockSizeCall(), setPinStreamingCall(0, out, false)));
}

TEST(AudioRateModules, NothingIsWrittenBeforeTheFirstPinUpdate) {
    AudioSession session(u"KelMathAbsAudio", 16);
    session.in(0).fill(-1.0f);
    EXPECT_THAT(session.run(16), ElementsAre(sleepCall()));
    EXPECT_EQ(session.out()[0], kUntouched);
}

TEST(AudioRateModules, SleepingModuleWakesOnAStreamingStartMidBlock) {
    AudioSession session(u"KelMathInvertAudio", 32);
    session.host.setBlockSize(8);
    session.in(0).fill(0.75f);
    EventList quiet;
    quiet.streaming(0, session.pin("In"), false);
    session.run(32, quiet);
    ASSERT_THAT(session.run(32), ElementsAre(sleepCall()));

    session.out().fill(kUntouched);
    EventList start;
    start.streaming(10, session.pin("In"), true);
    EXPECT_THAT(session.run(32, start), ElementsAre(setPinStreamingCall(10, session.pin("Out"), true)));
    EXPECT_EQ(session.out()[10], -0.75f);
    EXPECT_EQ(session.out()[31], -0.75f);
}

TEST(AudioRateModules, EmptyBlocksWriteNothing) {
    for (const char16_t* id : {u"KelMathDivideAudio", u"KelMathNearestAudio", u"KelMathMaxAudio"}) {
        AudioSession session(id, 8);
        session.startStreaming(0);
        EXPECT_THAT(session.run(0), IsEmpty());
        EXPECT_EQ(session.out()[0], kUntouched);
        EXPECT_TRUE(session.guardsIntact());
    }
}

TEST(AudioRateModules, MissingBuffersAreLeftAlone) {
    for (const char16_t* id : {u"KelMathLimitAudio", u"KelMathMinAudio", u"KelMathSubtractAudio", u"KelMathDivideAudio",
                               u"KelMathCeilAudio", u"KelMathAbsAudio"}) {
        AudioSession session(id, 8, 0, false);
        EXPECT_THAT(session.startStreaming(8), ElementsAre(setPinStreamingCall(0, session.pin("Out"), true)));
        EXPECT_THAT(session.run(8), IsEmpty());
    }
}

}  // namespace
