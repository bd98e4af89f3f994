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

// What a unit impulse at sample 0 adds to a module's output, with the sample rate: the output
// for silence is subtracted, so a constant the module adds of its own is no part of it.
struct ImpulseResponse {
    std::vector<double> samples;
    std::int32_t sampleRate = 0;

    // The response at exactly `hz`: the transform of the impulse response there.
    ResponsePoint at(double hz) const;
    // `points` log-spaced frequencies from kLowestResponseHz to just below Nyquist.
    std::vector<ResponsePoint> curve(std::int32_t points = 400) const;
    // The highest magnitude, refined between the points of `curve`.
    ResponsePoint peak(const std::vector<ResponsePoint>& curve) const;
};

// What measureImpulseResponse throws when no audio input of the module takes the impulse.
class NoImpulseInput : public UserError {
public:
    using UserError::UserError;
};

// The impulse response of `module` with `settings` over `seconds`, rendered in blocks of
// `blockSize`, on the input that takes the signal. Throws UserError when no input takes the
// impulse, or the response is silent, not finite, or not proportional to the impulse's size
// (a module that is not linear has no frequency response).
ImpulseResponse measureImpulseResponse(lum::IMpFactory& factory, const ModuleDescription& module,
                                       std::int32_t sampleRate, std::int32_t blockSize,
                                       const std::vector<PinSetting>& settings, double seconds,
                                       const std::function<void(double)>& progress = {});

}  // namespace lumhost
