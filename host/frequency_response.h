// Magnitude and phase of a module measured from its impulse response.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumhost {

struct ResponsePoint {
    double hz;
    double magnitudeDb;
    double phaseDegrees;
};

struct ResponseCurve {
    std::string label;
    std::vector<ResponsePoint> points;
};

// The lowest frequency measured: an impulse response shorter than its period cannot show it.
constexpr double kLowestResponseHz = 10.0;

// The response at `points` log-spaced frequencies from kLowestResponseHz to just below Nyquist,
// from an impulse response (the module's output for a unit impulse at sample 0).
std::vector<ResponsePoint> responseFromImpulse(const std::vector<float>& impulseResponse, std::int32_t sampleRate,
                                               std::int32_t points = 400);

// The peak of a curve (highest magnitude).
ResponsePoint peakOf(const std::vector<ResponsePoint>& points);

}  // namespace lumhost
