// The coefficient design on its own, where the export cannot reach: the worked sets,
// the pre-warp, the gain factor's values and the Q floor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "biquad_filter/biquad_design.h"

namespace {

using biquad::Coefficients;

void expectCoefficients(const Coefficients& actual, const Coefficients& expected, const char* what) {
    const double tolerance = 1e-9;
    EXPECT_NEAR(actual.b0, expected.b0, tolerance * std::fabs(expected.b0)) << what;
    EXPECT_NEAR(actual.b1, expected.b1, tolerance * std::fabs(expected.b1)) << what;
    EXPECT_NEAR(actual.b2, expected.b2, tolerance * std::fabs(expected.b2)) << what;
    EXPECT_NEAR(actual.a1, expected.a1, tolerance * std::fabs(expected.a1)) << what;
    EXPECT_NEAR(actual.a2, expected.a2, tolerance * std::fabs(expected.a2)) << what;
}

TEST(BiquadDesign, WorkedCoefficientSetsAt44100Hz) {
    expectCoefficients(biquad::calcCoefficients(biquad::kLowPass, 1000.0, 0.707, 0.0, 44100.0),
                       {0.004603935028, 0.009207870057, 0.004603935028, -1.799071617, 0.8174873567}, "low-pass");
    expectCoefficients(biquad::calcCoefficients(biquad::kPeak, 1000.0, 1.0, 6.0, 44100.0),
                       {1.061942706, -1.848496916, 0.8054758798, -1.848496916, 0.8674185858}, "peak +6 dB");
    // The shelf ignores Q.
    for (double q : {0.1, 0.707, 12.0}) {
        expectCoefficients(biquad::calcCoefficients(biquad::kLowShelf, 200.0, q, -12.0, 44100.0),
                           {0.9807894261, -1.922059937, 0.9420511071, -1.920946178, 0.9239542921}, "low shelf -12 dB");
    }
}

TEST(BiquadDesign, PreWarpFollowsTheTangentClosely) {
    EXPECT_DOUBLE_EQ(biquad::tanApprox(1000.0, 44100.0), 0.07135868086694883);
    for (double hz : {20.0, 1000.0, 5000.0, 10000.0}) {
        const double exact = std::tan(biquad::kPi * hz / 44100.0);
        EXPECT_NEAR(biquad::tanApprox(hz, 44100.0), exact, 2e-6 * exact) << hz << " Hz";
    }
    EXPECT_EQ(biquad::tanApprox(0.0, 44100.0), 0.0);
}

TEST(BiquadDesign, GainFactorValuesFromTheMagnitude) {
    struct Case {
        double gainDb;
        double expected;
    };
    for (const Case& c : {Case{0.0, 0.9710078239440918}, Case{6.0, 1.9344100952148438}, Case{-6.0, 1.9344100952148438},
                          Case{12.0, 3.8536109924316406}, Case{20.0, 10.0}, Case{-20.0, 10.0}}) {
        EXPECT_EQ(biquad::gainFactor(c.gainDb), c.expected) << c.gainDb << " dB";
    }
}

TEST(BiquadDesign, GainFactorOfNanOrAnUnrepresentableMagnitudeIsTheX86IndefiniteInteger) {
    for (double gainDb :
         {std::numeric_limits<double>::quiet_NaN(), 1.0e7, -1.0e7, std::numeric_limits<double>::infinity()}) {
        const double factor = biquad::gainFactor(gainDb);
        std::uint64_t bits;
        std::memcpy(&bits, &factor, sizeof bits);
        EXPECT_EQ(bits, std::uint64_t{0x80000000} << 32) << gainDb << " dB";
    }
    // 6197 dB is just inside the range: a word of its own (a NaN's pattern), not the indefinite.
    const double factor = biquad::gainFactor(6197.0);
    std::uint64_t bits;
    std::memcpy(&bits, &factor, sizeof bits);
    EXPECT_EQ(bits, std::uint64_t{0x7FFEBC48} << 32);
}

TEST(BiquadDesign, QHasAFloorOfATenth) {
    struct Case {
        float pin;
        double q;
    };
    for (const Case& c : {Case{0.0f, 0.1}, Case{-3.0f, 0.1}, Case{std::numeric_limits<float>::quiet_NaN(), 0.1},
                          Case{0.005f, 0.1}, Case{0.02f, 10.0 * static_cast<double>(0.02f)}, Case{5.0f, 50.0}}) {
        EXPECT_EQ(biquad::qFromPin(c.pin), c.q) << "pin " << c.pin;
    }
}

}  // namespace
