// The filter's responses, measured: sines, constants and impulses through the real module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "biquad_filter/biquad_design.h"
#include "biquad_filter/four_sample_steps.h"
#include "biquad_filter/four_sample_steps_avx2.h"
#include "filter_session.h"
#include "host/signal_generators.h"

namespace {

using namespace filtertest;

constexpr std::size_t kLength = 16384;
constexpr std::size_t kSettled = 8192;
// The gain factors the design's approximation gives at 6 and 12 dB.
constexpr double kV6 = 1.9344100952148438;
constexpr double kV12 = 3.8536109924316406;

// Where a gain is measured: at DC, at half the sample rate, or at a frequency in Hz.
constexpr double kDc = 0.0;
constexpr double kNyquist = -1.0;

double measuredGain(const Design& design, double where) {
    if (where == kDc || where == kNyquist) {
        std::vector<float> input(kLength, 0.5f);
        if (where == kNyquist) {
            for (std::size_t n = 1; n < kLength; n += 2) input[n] = -0.5f;
        }
        return respond(design, input).back() / input.back();
    }
    return amplitudeAt(respond(design, sine(where, kLength)), where, kSettled) / 0.5;
}

std::string describe(const Design& d, double where) {
    const std::string at = where == kDc ? "DC" : where == kNyquist ? "Nyquist" : std::to_string(where) + " Hz";
    return "shape " + std::to_string(d.shape) + " " + std::to_string(d.hz) + " Hz Q " + std::to_string(d.q) + " " +
           std::to_string(d.gainDb) + " dB, " + std::to_string(d.slope + 1) + " sections, at " + at;
}

TEST(FilterResponse, EachShapeReachesItsGainWhereItShould) {
    struct Case {
        Design design;
        double where;
        double expected;
    };
    const Case cases[] = {
        {{kLowPass}, kDc, 1.0},
        {{kLowPass}, 1000.0, 0.707},
        {{kLowPass}, kNyquist, 0.0},
        {{kHighPass}, kDc, 0.0},
        {{kHighPass}, 1000.0, 0.707},
        {{kHighPass}, kNyquist, 1.0},
        {{kBandPass, 1000.0, 1.0}, 1000.0, 1.0},
        {{kBandPass, 3000.0, 4.0}, 3000.0, 1.0},
        {{kBandPass, 1000.0, 1.0}, kDc, 0.0},
        {{kBandPass, 1000.0, 1.0}, kNyquist, 0.0},
        {{kNotch, 1000.0, 1.0}, 1000.0, 0.0},
        {{kNotch, 5000.0, 0.5}, 5000.0, 0.0},
        {{kNotch, 1000.0, 1.0}, kDc, 1.0},
        {{kNotch, 1000.0, 1.0}, kNyquist, 1.0},
        {{kPeak, 1000.0, 1.0, 6.0}, 1000.0, kV6},
        {{kPeak, 1000.0, 1.0, 6.0}, kDc, 1.0},
        {{kPeak, 1000.0, 1.0, -6.0}, 1000.0, 1.0 / kV6},
        // The approximation is not flat at 0 dB: it dips by V(0) at the centre.
        {{kPeak, 1000.0, 1.0, 0.0}, 1000.0, 0.9710078239440918},
        {{kPeak, 2000.0, 3.0, 20.0}, 2000.0, 10.0},
        {{kLowShelf, 200.0, 0.707, 12.0}, kDc, kV12},
        {{kLowShelf, 200.0, 0.707, 12.0}, kNyquist, 1.0},
        {{kLowShelf, 200.0, 0.707, -12.0}, kDc, 1.0 / kV12},
        {{kLowShelf, 200.0, 0.707, -12.0}, kNyquist, 1.0},
        {{kHighShelf, 1000.0, 0.707, 12.0}, kNyquist, kV12},
        {{kHighShelf, 1000.0, 0.707, 12.0}, kDc, 1.0},
        {{kHighShelf, 1000.0, 0.707, -12.0}, kNyquist, 1.0 / kV12},
        {{kHighShelf, 1000.0, 0.707, -12.0}, kDc, 1.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(measuredGain(c.design, c.where), c.expected, 2e-4 * std::max(c.expected, 1.0))
            << describe(c.design, c.where);
    }
}

TEST(FilterResponse, ShelvesIgnoreQ) {
    for (FilterType shape : {kLowShelf, kHighShelf}) {
        const std::vector<float> input = sine(700.0, 4096);
        EXPECT_EQ(respond({shape, 500.0, 0.3, 6.0}, input), respond({shape, 500.0, 8.0, 6.0}, input))
            << "shape " << shape;
    }
}

TEST(FilterResponse, NSectionsGiveTheSingleSectionResponseToThePowerN) {
    const Design designs[] = {{kLowPass, 2000.0}, {kPeak, 1000.0, 2.0, 6.0}, {kHighShelf, 3000.0, 0.707, -6.0}};
    for (const Design& single : designs) {
        for (double hz : {500.0, 2000.0, 6000.0}) {
            const double one = measuredGain(single, hz);
            for (std::int32_t slope = 1; slope <= 3; ++slope) {
                Design chain = single;
                chain.slope = slope;
                const double expected = std::pow(one, slope + 1);
                EXPECT_NEAR(measuredGain(chain, hz), expected, 2e-4 * std::max(expected, 1.0)) << describe(chain, hz);
            }
        }
    }
}

TEST(FilterResponse, ShapeOutsideTheTablePassesTheSignalThroughUnchanged) {
    const std::vector<float> input = sine(1234.0, 2048);
    for (std::int32_t shape : {-1, 7, 1000}) {
        for (std::int32_t slope : {0, 3}) {
            EXPECT_EQ(respond({shape, 1000.0, 0.707, 6.0, slope}, input), input)
                << "shape " << shape << ", slope " << slope;
        }
    }
}

TEST(FilterResponse, ShapeChangeTakesEffectAtItsSpan) {
    FilterSession session;
    session.setDesign({kLowPass});
    session.events.streaming(0, kSignalIn, true);
    session.filter(sine(800.0, 256));
    const std::vector<float> input = sine(5000.0, 64);
    std::copy(input.begin(), input.end(), session.in.data());
    session.events.value(10, kFilterType, std::int32_t{7});
    session.runBlock(64);
    EXPECT_NE(session.out[9], input[9]);
    // The pass-through set empties the low-pass's states within two samples.
    for (std::int32_t i = 12; i < 64; ++i) EXPECT_EQ(session.out[i], input[static_cast<std::size_t>(i)]) << i;
}

TEST(FilterResponse, ReopeningAtAnotherSampleRateDesignsForIt) {
    FilterSession reopened;
    reopened.setDesign({kLowPass, 3000.0});
    reopened.events.streaming(0, kSignalIn, true);
    reopened.filter(std::vector<float>(128, 0.0f));
    reopened.host.setSampleRate(88200.0f);
    reopened.plugin->open();

    FilterSession fresh;
    fresh.host.setSampleRate(88200.0f);
    fresh.plugin->open();
    fresh.setDesign({kLowPass, 3000.0});
    fresh.events.streaming(0, kSignalIn, true);
    fresh.filter(std::vector<float>(128, 0.0f));
    EXPECT_EQ(reopened.filter(impulse(256)), fresh.filter(impulse(256)));
}

TEST(FilterResponse, UnusableSampleRateKeepsTheOneInForce) {
    FilterSession reference;
    reference.setDesign({kLowPass, 3000.0});
    reference.events.streaming(0, kSignalIn, true);
    const std::vector<float> expected = reference.filter(impulse(256));
    for (float rate : {0.0f, -44100.0f, NAN, INFINITY}) {
        FilterSession session;
        session.host.setSampleRate(rate);
        session.plugin->open();
        session.setDesign({kLowPass, 3000.0});
        session.events.streaming(0, kSignalIn, true);
        EXPECT_EQ(session.filter(impulse(256)), expected) << "rate " << rate;
    }
}

TEST(FilterResponse, ModulatedFlavourWithSteadyPinsFiltersAsTheFixedOne) {
    const std::vector<float> input = sine(900.0, 1024);
    for (std::int32_t shape = kLowPass; shape <= kHighShelf; ++shape) {
        for (std::int32_t slope = 0; slope <= 3; ++slope) {
            const Design design{shape, 1500.0, 2.0, -4.5, slope};
            expectAlikeButForRounding(respond(design, input, true), respond(design, input, false),
                                      ::testing::Message() << "shape " << shape << ", slope " << slope);
        }
    }
}

}  // namespace

// The table's design run per sample through a plain serial cascade: what both flavours
// must produce but for rounding, however they schedule the work.
std::vector<float> serialReference(std::int32_t shape, std::int32_t sections, const std::vector<float>& input,
                                   const std::vector<float>& frequency, const std::vector<float>& q, float gain) {
    double s1[4] = {}, s2[4] = {};
    std::vector<float> output;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const Coefficients c =
            calcCoefficients(shape, frequencyFromPin(frequency[i]), qFromPin(q[i]), gainFromPin(gain), kSampleRate);
        double y = input[i];
        for (std::int32_t k = 0; k < sections; ++k) {
            const double x = y;
            y = c.b0 * x + s1[k];
            s1[k] = c.b1 * x - c.a1 * y + s2[k];
            s2[k] = c.b2 * x - c.a2 * y;
        }
        output.push_back(static_cast<float>(y));
    }
    return output;
}

// Runs `blocks` blocks of `block` samples, each split by events into spans of 1, 2, 3
// and the rest, through both flavours of every shape, gain sign and section count. The
// fixed flavour steps four samples at a time (one to three sections with SSE2, one to
// four with AVX2), the modulated flavour designs with one division a sample: both may
// round a float output the other way.
void expectAsTheSerialReference(std::int32_t block, std::size_t blocks) {
    const std::size_t frames = blocks * static_cast<std::size_t>(block);
    const std::vector<float> input = sine(2500.0, frames);
    // 200 Hz to 20 kHz, and Q between 0.2 and 1.2.
    std::vector<float> sweep(frames), wobble(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        sweep[i] = static_cast<float>(20.0 * std::pow(100.0, static_cast<double>(i) / static_cast<double>(frames)));
        wobble[i] = static_cast<float>(0.07 + 0.05 * std::sin(0.01 * static_cast<double>(i)));
    }
    for (const bool modulated : {false, true}) {
        const std::vector<float> frequency = modulated ? sweep : std::vector<float>(frames, 150.0f);
        const std::vector<float> q = modulated ? wobble : std::vector<float>(frames, 0.2f);
        for (std::int32_t shape = kLowPass; shape <= kHighShelf; ++shape) {
            for (const float gain : {0.9f, -0.6f}) {
                for (std::int32_t slope = 0; slope <= 3; ++slope) {
                    FilterSession session(block);
                    session.events.value(0, kFilterType, shape).value(0, kSlope, slope).streaming(0, kSignalIn, true);
                    if (modulated) session.events.streaming(0, kFrequency, true).streaming(0, kQ, true);
                    session.gain.fill(gain);
                    std::vector<float> output;
                    for (std::size_t start = 0; start < frames; start += static_cast<std::size_t>(block)) {
                        // The shape sent again unchanged: only the spans change.
                        for (std::int32_t at : {1, 3, 6}) session.events.value(at, kFilterType, shape);
                        for (std::int32_t i = 0; i < block; ++i) {
                            session.in[i] = input[start + static_cast<std::size_t>(i)];
                            session.frequency[i] = frequency[start + static_cast<std::size_t>(i)];
                            session.q[i] = q[start + static_cast<std::size_t>(i)];
                        }
                        session.runBlock(block);
                        output.insert(output.end(), session.out.data(), session.out.data() + block);
                    }
                    const std::vector<float> reference = serialReference(shape, slope + 1, input, frequency, q, gain);
                    const auto what = ::testing::Message()
                                      << block << "-sample blocks, " << (modulated ? "modulated" : "fixed")
                                      << ", shape " << shape << ", gain " << gain << ", " << slope + 1 << " sections";
                    expectAlikeButForRounding(output, reference, what);
                }
            }
        }
    }
}

TEST(FilterResponse, BothFlavoursFilterAsTheSerialCascadeOfTheTableDesign) {
    // Odd block lengths, so spans end on every phase of any pairing of samples or
    // sections; short spans too short to fill a pipelined chain, and long ones that the
    // modulated flavour designs in many batches.
    expectAsTheSerialReference(61, 7);
    expectAsTheSerialReference(4099, 2);
}

namespace {

// The four-sample steps of one instruction set, on spans of a fixed set.
using FourSampleFilter = double (*)(const StepStorage&, const Coefficients&, double*, const float*, float*,
                                    std::int32_t);

template <std::int32_t Sections>
double sse2Steps(const StepStorage& step, const Coefficients& c, double* states, const float* in, float* out,
                 std::int32_t frames) {
    return filterInFourSampleSteps<Sections>(step.narrow(), c, states, in, out, frames);
}

#if BIQUAD_HAS_AVX2
template <std::int32_t Sections>
[[gnu::target("avx2,fma")]] double avx2Steps(const StepStorage& step, const Coefficients& c, double* states,
                                             const float* in, float* out, std::int32_t frames) {
    return filterInFourSampleStepsAvx2<Sections>(step.wide(), c, states, in, out, frames);
}
#endif

struct InstructionSet {
    const char* name;
    bool wide;
    std::int32_t maxSections;
    FourSampleFilter filters[4];
};

std::vector<InstructionSet> instructionSetsHere() {
    std::vector<InstructionSet> sets{{"SSE2", false, 3, {&sse2Steps<1>, &sse2Steps<2>, &sse2Steps<3>, nullptr}}};
#if BIQUAD_HAS_AVX2
    if (processorHasAvx2Fma()) {
        sets.push_back({"AVX2+FMA", true, 4, {&avx2Steps<1>, &avx2Steps<2>, &avx2Steps<3>, &avx2Steps<4>}});
    }
#endif
    return sets;
}

}  // namespace

TEST(FilterResponse, TheProcessorQueryFindsAvx2WhereThisProcessorHasIt) {
    // Not a check of the module's choice, which the forced-SSE2 run of these tests covers:
    // it says in the log which instruction sets the step tests below ran.
    std::cout << "four-sample steps tested here with:";
    for (const InstructionSet& set : instructionSetsHere()) std::cout << " " << set.name;
    std::cout << (sse2Forced() ? " (the module forced to SSE2)" : "") << "\n";
}

// The module's fixed flavour gives exactly the bits of the steps it should choose: AVX2
// and FMA where the processor has them, unless the environment forces SSE2 (four
// sections then run the pipelined chain, which matches the serial recurrence).
TEST(FilterResponse, FixedFlavourTakesTheStepsOfTheInstructionSetChosen) {
    const bool wide = processorHasAvx2Fma() && !sse2Forced();
    const std::vector<float> input = lumhost::generateSignal("noise", 44100, 64 * 8);
    const Design design{kPeak, 1500.0, 2.0, 4.5};
    // As the module designs it, from the pins' float samples.
    const Coefficients c = calcCoefficients(design.shape, frequencyFromPin(static_cast<float>(design.hz / 10.0)),
                                            qFromPin(static_cast<float>(design.q / 10.0)),
                                            gainFromPin(static_cast<float>(design.gainDb / 10.0)), kSampleRate);
    StepStorage step;
    if (wide) {
        step.store(widened(fourSampleStepOf(c)));
    } else {
        step.store(fourSampleStepOf(c));
    }
    for (std::int32_t sections = 1; sections <= 4; ++sections) {
        FilterSession session(64);
        session.setDesign({design.shape, design.hz, design.q, design.gainDb, sections - 1});
        session.events.streaming(0, kSignalIn, true);
        const std::vector<float> output = session.filter(input);
        std::vector<float> expected(input.size());
        double states[8] = {};
        for (std::size_t start = 0; start < input.size(); start += 64) {
#if BIQUAD_HAS_AVX2
            if (wide) {
                const FourSampleFilter filters[] = {&avx2Steps<1>, &avx2Steps<2>, &avx2Steps<3>, &avx2Steps<4>};
                filters[sections - 1](step, c, states, &input[start], &expected[start], 64);
                continue;
            }
#endif
            if (sections <= 3) {
                const FourSampleFilter filters[] = {&sse2Steps<1>, &sse2Steps<2>, &sse2Steps<3>};
                filters[sections - 1](step, c, states, &input[start], &expected[start], 64);
            } else {
                SharedSet set(c);
                filterInSeries<4>(set, states, &input[start], &expected[start], 64);
            }
        }
        EXPECT_EQ(output, expected) << (wide ? "AVX2+FMA, " : "SSE2, ") << sections << " sections";
    }
}

// The four-sample steps of each instruction set the processor runs, against the serial
// recurrence in double over 2 s of noise, spans split at odd places: the states never
// drift from the serial ones by more than 1e-9 of their RMS, poles near z = 1 included,
// and the float outputs round alike but for a few.
TEST(FilterResponse, FourSampleStepsStayWithinRoundingOfTheSerialRecurrence) {
    const Coefficients designs[] = {
        calcCoefficients(kLowPass, 100.0, 20.0, 0.0, kSampleRate),
        calcCoefficients(kLowPass, 1000.0, 0.707, 0.0, kSampleRate),
        calcCoefficients(kPeak, 1000.0, 1.0, 6.0, kSampleRate),
        calcCoefficients(kHighPass, 10000.0, 0.707, 0.0, kSampleRate),
        calcCoefficients(kLowShelf, 200.0, 0.707, -12.0, kSampleRate),
    };
    const std::vector<float> input = lumhost::generateSignal("noise", 44100, 88200);
    const std::int32_t spans[] = {1, 2, 3, 5, 7, 61, 1021};
    for (const InstructionSet& set : instructionSetsHere()) {
        for (const Coefficients& c : designs) {
            StepStorage step;
            if (set.wide) {
                step.store(widened(fourSampleStepOf(c)));
            } else {
                step.store(fourSampleStepOf(c));
            }
            for (std::int32_t sections = 1; sections <= set.maxSections; ++sections) {
                const auto what = ::testing::Message()
                                  << set.name << ", b0 " << c.b0 << ", " << sections << " sections";
                double states[8] = {};
                double serial[8] = {};
                std::vector<float> output(input.size()), reference;
                double largestDrift = 0.0, sumOfSquares = 0.0;
                std::int64_t spanEnds = 0;
                for (std::size_t start = 0, n = 0; start < input.size(); ++n) {
                    const std::int32_t span =
                        std::min(spans[n % std::size(spans)], static_cast<std::int32_t>(input.size() - start));
                    set.filters[sections - 1](step, c, states, &input[start], &output[start], span);
                    for (std::int32_t i = 0; i < span; ++i) {
                        double y = input[start + static_cast<std::size_t>(i)];
                        for (std::int32_t k = 0; k < sections; ++k) y = section(c, y, serial[2 * k], serial[2 * k + 1]);
                        reference.push_back(static_cast<float>(y));
                    }
                    for (std::int32_t k = 0; k < 2 * sections; ++k) {
                        largestDrift = std::max(largestDrift, std::fabs(states[k] - serial[k]));
                        sumOfSquares += serial[k] * serial[k];
                    }
                    spanEnds += 2 * sections;
                    start += static_cast<std::size_t>(span);
                }
                const double rms = std::sqrt(sumOfSquares / static_cast<double>(spanEnds));
                EXPECT_LE(largestDrift, 1e-9 * rms) << what;
                expectAlikeButForRounding(output, reference, what);
            }
        }
    }
}
