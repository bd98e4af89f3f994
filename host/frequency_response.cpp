#include "frequency_response.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "dsp_run.h"
#include "numbers.h"

namespace lumhost {

std::vector<ResponsePoint> responseFromImpulse(const std::vector<float>& impulseResponse, std::int32_t sampleRate,
                                               std::int32_t points) {
    std::vector<ResponsePoint> response;
    const double lowest = kLowestResponseHz;
    const double highest = 0.499 * sampleRate;
    // Trailing zeros add nothing: the sums stop at the last sample that is not zero.
    const auto end = std::find_if(impulseResponse.rbegin(), impulseResponse.rend(), [](float sample) {
                         return sample != 0.0f;
                     }).base();
    for (std::int32_t k = 0; k < points; ++k) {
        const double hz = lowest * std::pow(highest / lowest, static_cast<double>(k) / (points - 1));
        // A rotating phasor instead of sin and cos per sample; its drift stays far below
        // what a plot or a test tolerance can see.
        const std::complex<double> rotation = std::polar(1.0, -2.0 * kPi * hz / sampleRate);
        std::complex<double> phasor = 1.0;
        std::complex<double> sum = 0.0;
        for (auto sample = impulseResponse.begin(); sample != end; ++sample) {
            sum += static_cast<double>(*sample) * phasor;
            phasor *= rotation;
        }
        const double magnitude = std::abs(sum);
        response.push_back({hz, 20.0 * std::log10(std::max(magnitude, 1e-12)), std::arg(sum) * 180.0 / kPi});
    }
    return response;
}

ResponsePoint peakOf(const std::vector<ResponsePoint>& points) {
    return *std::max_element(points.begin(), points.end(), [](const ResponsePoint& a, const ResponsePoint& b) {
        return a.magnitudeDb < b.magnitudeDb;
    });
}

void checkResponseSeconds(double seconds) {
    if (!(seconds >= 1.0 / kLowestResponseHz) || seconds > 60.0) {
        throw UserError("impulse length outside 0.1 to 60 seconds (10 Hz, the lowest frequency measured, needs 0.1)");
    }
}

std::vector<ResponsePoint> measureResponse(lum::IMpFactory& factory, const ModuleDescription& module,
                                           std::int32_t sampleRate, std::int32_t blockSize,
                                           const std::vector<PinSetting>& settings, double seconds,
                                           const std::function<void(double)>& progress) {
    checkResponseSeconds(seconds);
    DspRun dsp(factory, module, sampleRate, blockSize, settings);
    if (dsp.audioOutputs().empty()) throw UserError(module.id + " has no audio output to measure");
    if (dsp.highestInputChannel() < 0) {
        throw NoImpulseInput("no audio input of " + module.id + " takes the impulse");
    }
    dsp.requireInputChannels(1);
    const auto frames = static_cast<std::int64_t>(std::llround(seconds * sampleRate));
    std::vector<float> impulse(static_cast<std::size_t>(frames), 0.0f);
    impulse[0] = 1.0f;
    const auto rendered = dsp.render({impulse}, frames, progress);
    const std::string run = describeRun(module.id, settings);
    bool silent = true;
    for (float sample : rendered.front()) {
        if (!std::isfinite(sample)) {
            throw UserError("the impulse response of " + run +
                            " is not finite: the module is unstable with these pins");
        }
        silent = silent && sample == 0.0f;
    }
    if (silent) throw UserError("the impulse response of " + run + " is silent: nothing to measure");
    return responseFromImpulse(rendered.front(), sampleRate);
}

}  // namespace lumhost
