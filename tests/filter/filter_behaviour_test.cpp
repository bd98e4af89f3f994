// How the filter runs over time: modulation, the idle path, holding, sleep and recovery.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "filter_session.h"

namespace {

using namespace filtertest;
using lumhost::getBlockSizeCall;
using lumhost::HostCall;
using lumhost::setPinStreamingCall;
using lumhost::sleepCall;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Lt;

constexpr std::int32_t kBlock = 64;

std::vector<float> block(const lumhost::GuardedBuffer& buffer) {
    return std::vector<float>(buffer.data(), buffer.data() + buffer.frames());
}

// Three filters fed the same block whose frequency or gain pin jumps at sample 32:
// `streamed` with that pin streaming, `split` not streaming but with a span boundary at
// 32, `whole` not streaming and one span.
struct JumpAtSample32 {
    JumpAtSample32(Design design, Pin jumping, float before, float after) {
        for (FilterSession* session : {&streamed, &split, &whole}) {
            session->setDesign(design);
            session->events.streaming(0, kSignalIn, true);
            if (session == &streamed) session->events.streaming(0, jumping, true);
            // Any value event splits the span; the shape is sent again unchanged.
            if (session == &split) session->events.value(32, kFilterType, design.shape);
            lumhost::GuardedBuffer& pin = jumping == kFrequency ? session->frequency : session->gain;
            for (std::int32_t i = 0; i < kBlock; ++i) pin[i] = i < 32 ? before : after;
            const std::vector<float> input = sine(3000.0, kBlock);
            std::copy(input.begin(), input.end(), session->in.data());
            session->runBlock(kBlock);
        }
    }
    FilterSession streamed, split, whole;
};

TEST(FilterModulation, StreamingFrequencyChangesTheResponseWithinTheSpan) {
    for (std::int32_t slope : {0, 3}) {
        JumpAtSample32 jump({kLowPass, 0.0, 0.707, 0.0, slope}, kFrequency, 50.0f, 1000.0f);
        expectAlikeButForRounding(block(jump.streamed.out), block(jump.split.out), ::testing::Message() << slope);
        EXPECT_NE(block(jump.streamed.out), block(jump.whole.out)) << slope;
    }
}

TEST(FilterModulation, StreamingGainChangesOnlyAtSpanStarts) {
    JumpAtSample32 jump({kPeak, 3000.0, 1.0, 0.0}, kGain, 0.0f, 1.5f);
    expectAlikeButForRounding(block(jump.streamed.out), block(jump.whole.out), ::testing::Message());
    EXPECT_NE(block(jump.streamed.out), block(jump.split.out));
}

class FilterIdleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(session.status, lum::kOk);
        session.setDesign({kLowPass});
        session.events.streaming(0, kSignalIn, true);
    }
    std::vector<HostCall> stopInput() {
        session.events.streaming(0, kSignalIn, false);
        return session.runBlock(kBlock);
    }
    FilterSession session;
};

TEST_F(FilterIdleTest, SettledOutputHoldsTheInputStopsStreamingAndSleepsAfterOneCountdown) {
    session.filter(std::vector<float>(40 * kBlock, 0.5f));
    session.out.fill(-1.0f);
    EXPECT_THAT(stopInput(), ElementsAre(setPinStreamingCall(0, kSignalOut, true), getBlockSizeCall(),
                                         setPinStreamingCall(kBlock - 1, kSignalOut, false)));
    EXPECT_THAT(block(session.out), Each(0.5f));

    // The hold runs for one host block under the sleep step, which then asks to sleep.
    session.out.fill(-1.0f);
    EXPECT_THAT(session.runBlock(kBlock), ElementsAre(sleepCall()));
    EXPECT_THAT(block(session.out), Each(0.5f));
    session.out.fill(-1.0f);
    EXPECT_THAT(session.runBlock(kBlock), ElementsAre(sleepCall()));
    EXPECT_THAT(block(session.out), Each(-1.0f));
    EXPECT_TRUE(session.out.guardsIntact());

    // Woken by the input: the sections start from rest.
    session.events.streaming(0, kSignalIn, true);
    const std::vector<float> restarted = session.filter(impulse(4 * kBlock));
    EXPECT_EQ(restarted, respond({kLowPass}, impulse(4 * kBlock)));
    EXPECT_THAT(session.host.exchange(), IsEmpty()) << "streaming again, so no sleep";
}

TEST_F(FilterIdleTest, RingingOutputIsFilteredUntilItSettles) {
    std::vector<float> step(2 * kBlock, 0.0f);
    std::fill(step.begin() + kBlock, step.end(), 1.0f);
    session.filter(step);
    FilterSession reference;
    reference.setDesign({kLowPass});
    reference.events.streaming(0, kSignalIn, true);
    reference.filter(step);

    session.in.fill(1.0f);
    reference.in.fill(1.0f);
    session.events.streaming(0, kSignalIn, false);
    for (std::int32_t blocks = 1;; ++blocks) {
        ASSERT_LT(blocks, 40) << "never settled";
        const std::vector<HostCall> heard = session.runBlock(kBlock);
        reference.runBlock(kBlock);
        if (std::find(heard.begin(), heard.end(), setPinStreamingCall(kBlock - 1, kSignalOut, false)) != heard.end()) {
            EXPECT_GT(blocks, 1) << "a step 64 samples old is still ringing";
            EXPECT_THAT(block(session.out), Each(1.0f));
            break;
        }
        ASSERT_EQ(block(session.out), block(reference.out)) << "block " << blocks;
    }
}

TEST(FilterSettling, StreamingOffIsDeclaredAtTheSettlingSpansLastSample) {
    FilterSession session;
    session.out.fill(7.0f);
    session.events.streaming(0, kSignalIn, false);
    EXPECT_THAT(session.runBlock(18), ElementsAre(setPinStreamingCall(0, kSignalOut, true), getBlockSizeCall(),
                                                  setPinStreamingCall(17, kSignalOut, false)));
    EXPECT_EQ(session.out[17], 0.0f);
    EXPECT_EQ(session.out[18], 7.0f);

    // An empty span looks back across the block boundary and fills nothing.
    FilterSession empty;
    empty.out.fill(7.0f);
    empty.events.streaming(0, kSignalIn, false);
    EXPECT_THAT(empty.runBlock(0), ElementsAre(setPinStreamingCall(0, kSignalOut, true), getBlockSizeCall(),
                                               getBlockSizeCall(), setPinStreamingCall(kBlock - 1, kSignalOut, false)));
    EXPECT_THAT(block(empty.out), Each(7.0f));
}

// A constant input settles where the chain itself comes to rest, from the first block
// and after a stream alike, and the module then sleeps.
TEST(FilterSettling, ConstantInputHoldsTheChainsDcLevelThenSleeps) {
    constexpr double kShelfLevel6Db = 1.9344100952148438;  // V at 6 dB
    const struct {
        Design design;
        double sectionGain;
    } cases[] = {
        {{kLowPass}, 1.0},
        {{kHighPass}, 0.0},
        {{kBandPass, 1000.0, 2.0}, 0.0},
        {{kNotch}, 1.0},
        {{kPeak, 1000.0, 1.0, 6.0}, 1.0},
        {{kLowShelf, 200.0, 0.707, 6.0}, kShelfLevel6Db},
        {{kLowShelf, 200.0, 0.707, -6.0}, 1.0 / kShelfLevel6Db},
        {{kHighShelf, 5000.0, 0.707, 6.0}, 1.0},
    };
    for (const auto& c : cases) {
        for (std::int32_t slope : {0, 3}) {
            for (bool afterStream : {false, true}) {
                Design design = c.design;
                design.slope = slope;
                FilterSession session;
                session.setDesign(design);
                if (afterStream) {
                    session.events.streaming(0, kSignalIn, true);
                    session.filter(sine(440.0, 8 * kBlock));
                    session.events.streaming(0, kSignalIn, false);
                }
                session.in.fill(0.5f);
                const double expected = 0.5 * std::pow(c.sectionGain, slope + 1);
                const auto context = ::testing::Message()
                                     << "shape " << design.shape << " gain " << design.gainDb << " slope " << slope
                                     << (afterStream ? " after a stream" : "");
                bool settled = false;
                for (std::int32_t blocks = 0; blocks < 400 && !settled; ++blocks) {
                    const std::vector<HostCall> heard = session.runBlock(kBlock);
                    settled = std::find(heard.begin(), heard.end(),
                                        setPinStreamingCall(kBlock - 1, kSignalOut, false)) != heard.end();
                }
                ASSERT_TRUE(settled) << context;
                EXPECT_NEAR(session.out[kBlock - 1], expected, 1e-6 * std::fabs(expected)) << context;
                EXPECT_THAT(block(session.out), Each(session.out[kBlock - 1])) << context;
                session.runBlock(kBlock);
                EXPECT_THAT(session.runBlock(kBlock), ElementsAre(sleepCall())) << context;
            }
        }
    }
}

TEST(FilterSettling, NonFiniteOutputSettlesOnTheInputValue) {
    FilterSession session;
    session.setDesign({kLowPass});
    session.events.streaming(0, kSignalIn, true);
    session.in.fill(NAN);
    session.runBlock(kBlock);
    session.in.fill(0.25f);
    session.events.streaming(0, kSignalIn, false);
    EXPECT_THAT(session.runBlock(kBlock), ElementsAre(setPinStreamingCall(0, kSignalOut, true), getBlockSizeCall(),
                                                      setPinStreamingCall(kBlock - 1, kSignalOut, false)));
    EXPECT_THAT(block(session.out), Each(0.25f));
}

TEST(FilterSlope, SlopeOutsideZeroToThreeKeepsTheRunningChain) {
    const std::vector<float> input = sine(2500.0, 8 * kBlock);
    const std::vector<float> expected = respond({kLowPass, 2000.0, 0.707, 0.0, 1}, input);
    FilterSession session;
    session.setDesign({kLowPass, 2000.0, 0.707, 0.0, 1});
    session.events.streaming(0, kSignalIn, true);
    std::vector<float> output = session.filter(std::vector<float>(input.begin(), input.begin() + 4 * kBlock));
    session.events.value(0, kSlope, std::int32_t{9});
    const std::vector<float> rest = session.filter(std::vector<float>(input.begin() + 4 * kBlock, input.end()));
    output.insert(output.end(), rest.begin(), rest.end());
    EXPECT_EQ(output, expected);
    // The input stops while the chain still rings: the chain in force rings on, every
    // sample written.
    session.events.streaming(0, kSignalIn, false);
    session.in.fill(0.0f);
    session.out.fill(1e9f);
    session.runBlock(kBlock);
    EXPECT_THAT(std::vector<float>(session.out.data(), session.out.data() + kBlock), Each(Lt(1.0f)));
}

// Found by dsp_session_fuzz: a host that has not given a buffer yet (or gave null) must
// not crash the filter; the span is left alone.
TEST(FilterRobustness, MissingBuffersAreLeftAlone) {
    for (std::int32_t missing : {kSignalIn, kFrequency, kQ, kGain, kSignalOut}) {
        FilterSession session;
        session.plugin->setBuffer(missing, nullptr);
        session.setDesign({kLowPass, 500.0, 0.707, 0.0, 1});
        session.events.graphStart(0).streaming(0, kSignalIn, true).streaming(0, kFrequency, true);
        session.in.fill(0.5f);
        session.runBlock(kBlock);
        session.events.streaming(0, kSignalIn, false).streaming(0, kFrequency, false);
        session.runBlock(kBlock);
        session.runBlock(0);
        EXPECT_TRUE(session.in.guardsIntact() && session.out.guardsIntact()) << "pin " << missing;
    }
}

// Found by dsp_session_fuzz: an empty block on the idle step wraps position -1 by the
// host's block size, and -1 + INT32_MIN must not overflow into a read past the buffers.
TEST(FilterRobustness, EmptyIdleBlockWithTheLeastHostBlockSizeStaysInTheBuffers) {
    FilterSession session;
    session.setDesign({kLowPass, 500.0, 0.707, 0.0, 1});
    session.events.graphStart(0);
    session.host.setBlockSize(std::numeric_limits<std::int32_t>::min());
    for (const HostCall& call : session.runBlock(0)) {
        if (call.kind == lumhost::HostCallKind::SetPinStreaming) {
            EXPECT_EQ(call.position, 0);
        }
    }
    EXPECT_TRUE(session.in.guardsIntact() && session.out.guardsIntact());
}

TEST(FilterRecovery, NonFiniteInputIsClearedWithinTwelveSpans) {
    for (float bad : {INFINITY, -INFINITY, NAN}) {
        for (std::int32_t slope : {0, 3}) {
            FilterSession session;
            session.setDesign({kHighPass, 500.0, 0.707, 0.0, slope});
            session.events.streaming(0, kSignalIn, true);
            session.filter(sine(440.0, 7 * kBlock));
            session.in.fill(0.0f);
            session.in[10] = bad;
            session.runBlock(kBlock);
            ASSERT_FALSE(std::isfinite(session.out[kBlock - 1])) << "the bad sample reaches the output";
            session.in.fill(0.0f);
            std::int32_t spans = 1;
            for (; !std::isfinite(session.out[kBlock - 1]) && spans <= 13; ++spans) session.runBlock(kBlock);
            EXPECT_LE(spans, 12) << bad << ", slope " << slope;
            session.filter(std::vector<float>(40 * kBlock, 0.0f));
            EXPECT_EQ(session.out[kBlock - 1], 0.0f) << bad << ", slope " << slope;
        }
    }
}

}  // namespace
