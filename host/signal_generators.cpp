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
constexpr double kSweepStartHz = 20.0;

}  // namespace

SignalGenerator::SignalGenerator(const std::string& signal, std::int32_t sampleRate, std::int64_t frames)
    : sampleRate_(sampleRate), frames_(frames), uniform_(-kPeak, kPeak) {
    if (signal == "impulse") {
        kind_ = Kind::Impulse;
    } else if (startsWith(signal, "sine:")) {
        kind_ = Kind::Sine;
        const float hz = parseFloat(signal.substr(5), "signal sine");
        if (!(hz > 0.0f) || hz >= sampleRate / 2.0f) {
            throw UserError("signal sine: " + signal.substr(5) + " Hz is not between 0 and half the sample rate");
        }
        hz_ = hz;
    } else if (signal == "sweep") {
        kind_ = Kind::Sweep;
        sweepRate_ = std::log(0.45 * sampleRate / kSweepStartHz) / (static_cast<double>(frames) / sampleRate);
    } else if (signal == "noise") {
        kind_ = Kind::Noise;
    } else {
        throw UserError("unknown signal '" + signal + "' (impulse, sine:HZ, sweep or noise)");
    }
}

float SignalGenerator::sampleAt(std::int64_t i) {
    switch (kind_) {
        case Kind::Impulse: return i == 0 ? 1.0f : 0.0f;
        case Kind::Sine:
            return kPeak * static_cast<float>(std::sin(2.0 * kPi * hz_ * static_cast<double>(i) / sampleRate_));
        case Kind::Sweep: {
            const double t = static_cast<double>(i) / sampleRate_;
            return kPeak * static_cast<float>(
                               std::sin(2.0 * kPi * kSweepStartHz * (std::exp(sweepRate_ * t) - 1.0) / sweepRate_));
        }
        case Kind::Noise: return uniform_(random_);
    }
    return 0.0f;
}

void SignalGenerator::fill(float* samples, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i, ++position_) {
        samples[i] = position_ < frames_ ? sampleAt(position_) : 0.0f;
    }
}

std::vector<float> generateSignal(const std::string& signal, std::int32_t sampleRate, std::int64_t frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    SignalGenerator(signal, sampleRate, frames).fill(samples.data(), frames);
    return samples;
}

}  // namespace lumhost
