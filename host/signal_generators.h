// Generated input signals: impulse, sine, logarithmic sweep and white noise.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace lumhost {

// "impulse", "sine:HZ", "sweep" or "noise", `frames` samples long at `sampleRate`, peak 0.5
// (impulse: one sample of 1), made piece by piece so a long signal needs no memory.
class SignalGenerator {
public:
    // Throws UserError for a signal it does not know.
    SignalGenerator(const std::string& signal, std::int32_t sampleRate, std::int64_t frames);
    // The next `count` samples; silence past the end.
    void fill(float* samples, std::int64_t count);

private:
    enum class Kind { Impulse, Sine, Sweep, Noise };
    float sampleAt(std::int64_t i);

    Kind kind_;
    std::int32_t sampleRate_;
    std::int64_t frames_;
    std::int64_t position_ = 0;
    double hz_ = 0.0;         // the sine's
    double sweepRate_ = 0.0;  // the sweep's exponential rise per second, from 20 Hz to 0.45 of the rate
    std::mt19937 random_{1};  // the same noise every run
    std::uniform_real_distribution<float> uniform_;
};

// The whole of a generated signal.
std::vector<float> generateSignal(const std::string& signal, std::int32_t sampleRate, std::int64_t frames);

}  // namespace lumhost
