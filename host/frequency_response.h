// Magnitude and phase of a module measured from its impulse response, and drawing them.
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

// The response at `points` log-spaced frequencies from 10 Hz to just below Nyquist,
// from an impulse response (the module's output for a unit impulse at sample 0).
std::vector<ResponsePoint> responseFromImpulse(const std::vector<float>& impulseResponse, std::int32_t sampleRate,
                                               std::int32_t points = 400);

// The peak of a curve (highest magnitude).
ResponsePoint peakOf(const std::vector<ResponsePoint>& points);

// Writes "hz,magnitude_db,phase_deg" rows; temporary file then rename. Throws UsageError.
void writeResponseCsv(const std::string& path, const std::vector<ResponsePoint>& points);

// Draws the curves with gnuplot into a PNG: log frequency axis, dB. Throws UsageError
// when gnuplot is missing or fails.
void plotResponses(const std::string& pngPath, const std::string& title, const std::vector<ResponseCurve>& curves);

}  // namespace lumhost
