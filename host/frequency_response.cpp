#include "frequency_response.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>

#include "dsp_run.h"
#include "numbers.h"

namespace lumhost {

ResponsePoint ImpulseResponse::at(double hz) const {
    // A rotating phasor instead of sin and cos per sample; its drift stays far below what a
    // plot or a test tolerance can see.
    const std::complex<double> rotation = std::polar(1.0, -2.0 * kPi * hz / sampleRate);
    std::complex<double> phasor = 1.0;
    std::complex<double> sum = 0.0;
    for (double sample : samples) {
        sum += sample * phasor;
        phasor *= rotation;
    }
    return {hz, 20.0 * std::log10(std::max(std::abs(sum), 1e-12)), std::arg(sum) * 180.0 / kPi};
}

std::vector<ResponsePoint> ImpulseResponse::curve(std::int32_t points) const {
    const double lowest = kLowestResponseHz;
    const double highest = 0.499 * sampleRate;
    std::vector<ResponsePoint> response;
    for (std::int32_t k = 0; k < points; ++k) {
        response.push_back(at(lowest * std::pow(highest / lowest, static_cast<double>(k) / (points - 1))));
    }
    return response;
}

ResponsePoint ImpulseResponse::peak(const std::vector<ResponsePoint>& curve) const {
    const auto highest =
        std::max_element(curve.begin(), curve.end(),
                         [](const ResponsePoint& a, const ResponsePoint& b) { return a.magnitudeDb < b.magnitudeDb; });
    // The true peak lies between the neighbours of the highest point: a golden-section
    // search there, on a log frequency axis as the curve is spaced.
    double low = std::log((highest == curve.begin() ? highest : highest - 1)->hz);
    double high = std::log((highest + 1 == curve.end() ? highest : highest + 1)->hz);
    const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
    // Each step keeps one inner point and its transform, so it costs one transform.
    double left = high - ratio * (high - low), right = low + ratio * (high - low);
    ResponsePoint atLeft = at(std::exp(left)), atRight = at(std::exp(right));
    ResponsePoint best = *highest;
    for (int step = 0;; ++step) {
        for (const ResponsePoint& point : {atLeft, atRight}) {
            if (point.magnitudeDb > best.magnitudeDb) best = point;
        }
        if (step == 40 || high - low <= 1e-9) break;
        if (atLeft.magnitudeDb < atRight.magnitudeDb) {
            low = left;
            left = right, atLeft = atRight;
            right = low + ratio * (high - low);
            atRight = at(std::exp(right));
        } else {
            high = right;
            right = left, atRight = atLeft;
            left = high - ratio * (high - low);
            atLeft = at(std::exp(left));
        }
    }
    return best;
}

void checkResponseSeconds(double seconds) {
    if (!(seconds >= 1.0 / kLowestResponseHz) || seconds > 60.0) {
        throw UserError("impulse length outside 0.1 to 60 seconds (10 Hz, the lowest frequency measured, needs 0.1)");
    }
}

ImpulseResponse measureImpulseResponse(lum::IMpFactory& factory, const ModuleDescription& module,
                                       std::int32_t sampleRate, std::int32_t blockSize,
                                       const std::vector<PinSetting>& settings, double seconds,
                                       const std::function<void(double)>& progress) {
    checkResponseSeconds(seconds);
    const auto frames = static_cast<std::int64_t>(std::llround(seconds * sampleRate));
    // Silence, a unit impulse and a half one, each through a fresh instance.
    constexpr float kSizes[] = {0.0f, 1.0f, 0.5f};
    std::vector<std::vector<float>> outputs;
    for (float size : kSizes) {
        DspRun dsp(factory, module, sampleRate, blockSize, settings);
        if (dsp.audioOutputs().empty()) throw UserError(module.id + " has no audio output to measure");
        if (dsp.highestInputChannel() < 0) {
            throw NoImpulseInput("no audio input of " + module.id + " takes the impulse");
        }
        dsp.requireInputChannels(1);
        std::vector<float> impulse(static_cast<std::size_t>(frames), 0.0f);
        impulse[0] = size;
        const double part = static_cast<double>(outputs.size());
        outputs.push_back(std::move(dsp.render({impulse}, frames,
                                               [&](double done) {
                                                   if (progress) progress((part + done) / std::size(kSizes));
                                               })
                                        .front()));
    }
    const std::string run = describeRun(module, settings);
    ImpulseResponse response{{}, sampleRate};
    double largest = 0.0, disproportion = 0.0;
    for (std::size_t i = 0; i < outputs[0].size(); ++i) {
        if (!std::isfinite(outputs[0][i]) || !std::isfinite(outputs[1][i]) || !std::isfinite(outputs[2][i])) {
            throw UserError("the impulse response of " + run +
                            " is not finite: the module is unstable with these pins");
        }
        const double whole = double{outputs[1][i]} - outputs[0][i];
        response.samples.push_back(whole);
        largest = std::max(largest, std::fabs(whole));
        disproportion = std::max(disproportion, std::fabs(whole - 2.0 * (double{outputs[2][i]} - outputs[0][i])));
    }
    if (largest == 0.0) throw UserError("the impulse response of " + run + " is silent: nothing to measure");
    // Float rounding of the module's own arithmetic stays far below this.
    if (disproportion > 1e-4 * largest) {
        throw UserError("the output of " + run +
                        " is not proportional to the impulse: the module is not linear with these pins, "
                        "so it has no frequency response");
    }
    // Trailing zeros add nothing to the transforms.
    while (response.samples.back() == 0.0) response.samples.pop_back();
    return response;
}

}  // namespace lumhost
