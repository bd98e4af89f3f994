// Magnitude and phase of a module measured from its impulse response.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pin_value.h"
#include "user_error.h"

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

// Throws UserError for an impulse response length outside 0.1 (the lowest frequency's
// period) to 60 seconds.
void checkResponseSeconds(double seconds);

// The response at `points` log-spaced frequencies from kLowestResponseHz to just below Nyquist,
// from an impulse response (the module's output for a unit impulse at sample 0).
std::vector<ResponsePoint> responseFromImpulse(const std::vector<float>& impulseResponse, std::int32_t sampleRate,
                                               std::int32_t points = 400);

// What measureResponse throws when no audio input of the module takes the impulse.
class NoImpulseInput : public UserError {
public:
    using UserError::UserError;
};

// The response of `module` with `settings`, from `seconds` of its output for a unit impulse
// on the input that takes the signal, rendered in blocks of `blockSize`. Throws UserError
// when no input takes the impulse, or the response is silent or not finite.
std::vector<ResponsePoint> measureResponse(lum::IMpFactory& factory, const ModuleDescription& module,
                                           std::int32_t sampleRate, std::int32_t blockSize,
                                           const std::vector<PinSetting>& settings, double seconds,
                                           const std::function<void(double)>& progress = {});

// The peak of a curve (highest magnitude).
ResponsePoint peakOf(const std::vector<ResponsePoint>& points);

}  // namespace lumhost
