#include "signal_generators.h"

#include <cmath>
#include <random>

#include "numbers.h"
#include "pin_value.h"
#include "text.h"
#include "user_error.h"

namespace lumhost {
namespace {

constexpr float kPeak = 0.5f;

}  // namespace

std::vector<float> logSweep(std::int32_t sampleRate, std::int64_t frames, double endHz) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    const double startHz = 20.0;
    const double seconds = static_cast<double>(frames) / sampleRate;
    const double rate = std::log(endHz / startHz) / seconds;
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double phase = 2.0 * kPi * startHz * (std::exp(rate * t) - 1.0) / rate;
        samples[static_cast<std::size_t>(i)] = kPeak * static_cast<float>(std::sin(phase));
    }
    return samples;
}

std::vector<float> generateSignal(const std::string& signal, std::int32_t sampleRate, std::int64_t frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames), 0.0f);
    if (signal == "impulse") {
        if (frames > 0) samples[0] = 1.0f;
    } else if (startsWith(signal, "sine:")) {
        const float hz = parseFloat(signal.substr(5), "signal sine");
        if (!(hz > 0.0f) || hz >= sampleRate / 2.0f) {
            throw UserError("signal sine: " + signal.substr(5) + " Hz is not between 0 and half the sample rate");
        }
        for (std::int64_t i = 0; i < frames; ++i) {
            samples[static_cast<std::size_t>(i)] =
                kPeak * static_cast<float>(std::sin(2.0 * kPi * hz * static_cast<double>(i) / sampleRate));
        }
    } else if (signal == "sweep") {
        samples = logSweep(sampleRate, frames, 0.45 * sampleRate);
    } else if (signal == "noise") {
        std::mt19937 random(1);  // the same noise every run
        std::uniform_real_distribution<float> uniform(-kPeak, kPeak);
        for (float& sample : samples) sample = uniform(random);
    } else {
        throw UserError("unknown signal '" + signal + "' (impulse, sine:HZ, sweep or noise)");
    }
    return samples;
}

}  // namespace lumhost
