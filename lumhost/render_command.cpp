#include <cmath>
#include <cstdio>

#include "audio_file.h"
#include "commands.h"
#include "host/dsp_run.h"
#include "host/signal_generators.h"

namespace lumhost {
namespace {

constexpr double kMaxSeconds = 600.0;

double peakDb(const std::vector<float>& samples) {
    float peak = 0.0f;
    for (float sample : samples) peak = std::fmax(peak, std::fabs(sample));
    return peak > 0.0f ? 20.0 * std::log10(peak) : -INFINITY;
}

}  // namespace

int renderCommand(const RunSettings& run, const std::string& outPath, const std::string& inPath,
                  const std::string& signal, double seconds) {
    if (!(seconds > 0.0) || seconds > kMaxSeconds) {
        throw UsageError("length of " + std::to_string(seconds) + " seconds is outside 0 to 600");
    }
    const LoadedLibrary loaded(run.libraryPath);
    AudioData input;
    std::int32_t sampleRate = run.sampleRate;
    if (!inPath.empty()) {
        input = readAudioFile(inPath);
        if (!run.sampleRateGiven) sampleRate = input.sampleRate;
    }
    DspRun dsp(loaded.library, loaded.module(run.moduleId), sampleRate, run.blockSize, parsePinSettings(run.pins));
    std::int64_t frames = static_cast<std::int64_t>(std::llround(seconds * sampleRate));
    if (!inPath.empty()) {
        if (dsp.inputChannelsUsed() > static_cast<std::int32_t>(input.channels.size())) {
            throw UsageError(inPath + " has " + std::to_string(input.channels.size()) + " channels; the pins read " +
                             std::to_string(dsp.inputChannelsUsed()));
        }
        frames = static_cast<std::int64_t>(input.channels.front().size());
    } else {
        const std::vector<float> generated = generateSignal(signal, sampleRate, frames);
        input.channels.assign(static_cast<std::size_t>(std::max(dsp.inputChannelsUsed(), 1)), generated);
    }
    AudioData output;
    output.sampleRate = sampleRate;
    output.channels = dsp.render(input.channels, frames);
    writeAudioFile(outPath, output);

    std::printf("wrote %s: %lld frames at %d Hz, %zu channel(s)", outPath.c_str(), static_cast<long long>(frames),
                sampleRate, output.channels.size());
    for (std::size_t c = 0; c < output.channels.size(); ++c) {
        std::printf("%s %s peak %.1f dBFS", c == 0 ? ";" : ",", dsp.audioOutputs()[c].name.c_str(),
                    peakDb(output.channels[c]));
    }
    std::printf("; asleep for %lld blocks\n", static_cast<long long>(dsp.blocksAsleep()));
    return 0;
}

}  // namespace lumhost
