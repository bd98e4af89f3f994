// Generated input signals: impulse, sine, logarithmic sweep and white noise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumhost {

// Parses "impulse", "sine:HZ", "sweep" or "noise" and renders `frames` samples at
// `sampleRate`, peak 0.5 (impulse: one sample of 1). Throws UserError for anything else.
std::vector<float> generateSignal(const std::string& signal, std::int32_t sampleRate, std::int64_t frames);

// A sweep from 20 Hz to `endHz` with the frequency rising exponentially.
std::vector<float> logSweep(std::int32_t sampleRate, std::int64_t frames, double endHz);

}  // namespace lumhost
