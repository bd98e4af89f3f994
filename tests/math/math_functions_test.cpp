// The four-wide rounding lanes against the one-sample formulas over many values, which
// the library's export reaches only a few samples at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "math_modules/math_functions.h"

namespace {

using kelmath::audioCeil;
using kelmath::audioFloor;
using kelmath::audioNearest;

float lane(__m128 (*four)(__m128), float x) {
    alignas(16) float out[4];
    _mm_store_ps(out, four(_mm_set1_ps(x)));
    return out[0];
}

// Samples whose y = x * 10 lies well inside the 32-bit range, on a grid of sixteenths
// (many exact halves and whole numbers) and at random.
std::vector<float> sweep() {
    std::vector<float> values;
    for (int k = -40000; k <= 40000; ++k) values.push_back(static_cast<float>(k) / 160.0f);
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> wide(-2.0e8f, 2.0e8f);
    std::uniform_real_distribution<float> narrow(-3.0f, 3.0f);
    for (int i = 0; i < 100000; ++i) values.push_back(i % 2 == 0 ? wide(random) : narrow(random));
    return values;
}

bool isOddHalf(float y) {
    const double fraction = static_cast<double>(y) - std::trunc(static_cast<double>(y));
    return std::fabs(fraction) == 0.5 && std::fmod(std::trunc(static_cast<double>(y)), 2.0) != 0.0;
}

TEST(FourWideLanes, FloorAndCeilEqualTheOneSampleFormulasUpToTheSignOfZero) {
    for (float x : sweep()) {
        const float floorLane = lane(&kelmath::audioFloor4, x);
        const float ceilLane = lane(&kelmath::audioCeil4, x);
        ASSERT_EQ(floorLane, audioFloor(x)) << x;
        ASSERT_EQ(ceilLane, audioCeil(x)) << x;
        ASSERT_FALSE(std::signbit(floorLane) && floorLane == 0.0f) << x;
        ASSERT_FALSE(std::signbit(ceilLane) && ceilLane == 0.0f) << x;
    }
}

TEST(FourWideLanes, NearestDiffersOnlyOnOddHalvesWhichGoTowardZero) {
    int oddHalves = 0;
    for (float x : sweep()) {
        const float y = x * kelmath::audioScale;
        const float nearestLane = lane(&kelmath::audioNearest4, x);
        if (isOddHalf(y)) {
            ++oddHalves;
            ASSERT_EQ(nearestLane, static_cast<float>(std::trunc(static_cast<double>(y))) * kelmath::audioUnit) << x;
            ASSERT_NE(nearestLane, audioNearest(x)) << x;
        } else {
            ASSERT_EQ(nearestLane, audioNearest(x)) << x;
        }
    }
    EXPECT_GT(oddHalves, 1000) << "the sweep must reach the halves";
}

TEST(FourWideLanes, NearestJustAboveAHalfRoundsAway) {
    const float x = std::nextafter(0.15f, 1.0f);
    ASSERT_GT(x * kelmath::audioScale, 1.5f);
    EXPECT_EQ(lane(&kelmath::audioNearest4, x), 2.0f * 0.1f);
    EXPECT_EQ(lane(&kelmath::audioNearest4, -x), -2.0f * 0.1f);
}

TEST(FourWideLanes, DivideEqualsTheOneSampleFormula) {
    const float values[] = {0.5f, -0.25f, 0.0f, -0.0f, 1e-30f, 3.0e38f, 1e-45f, 0.05f, 7.0f};
    for (float a : values) {
        for (float b : values) {
            alignas(16) float out[4];
            _mm_store_ps(out, kelmath::audioDivide4(_mm_set1_ps(a), _mm_set1_ps(b)));
            const float one = kelmath::audioDivide(a, b);
            EXPECT_TRUE(out[0] == one || (std::isnan(out[0]) && std::isnan(one))) << a << " / " << b;
        }
    }
}

}  // namespace
