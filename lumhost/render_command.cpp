#include <cmath>
#include <cstdio>
#include <functional>

#include "audio_file.h"
#include "commands.h"
#include "host/dsp_run.h"
#include "host/output_file.h"
#include "host/signal_generators.h"
#include "progress_line.h"

namespace lumhost {
namespace {

constexpr double kMaxSeconds = 600.0;

struct Level {
    double peakDb = -INFINITY;  // of the finite samples
    std::int64_t nonFinite = 0;
};

Level levelOf(const std::vector<float>& samples) {
    Level level;
    float peak = 0.0f;
    for (float sample : samples) {
        if (std::isfinite(sample)) {
            peak = std::fmax(peak, std::fabs(sample));
        } else {
            ++level.nonFinite;
        }
    }
    if (peak > 0.0f) level.peakDb = 20.0 * std::log10(peak);
    return level;
}

struct Channel {
    std::string name;
    std::vector<float> samples;
};

// Runs one module instance over `input` and appends its outputs to `channels`.
void renderInto(DspRun& dsp, const std::vector<std::vector<float>>& input, std::int64_t frames,
                const std::string& suffix, std::vector<Channel>& channels, std::int64_t& blocksAsleep,
                const std::function<void(double)>& progress) {
    auto rendered = dsp.render(input, frames, progress);
    for (std::size_t o = 0; o < rendered.size(); ++o) {
        channels.push_back({dsp.audioOutputs()[o].name + suffix, std::move(rendered[o])});
    }
    blocksAsleep += dsp.blocksAsleep();
}

void report(const OutputFile& out, const AudioFormat& format, std::int64_t frames, std::int32_t sampleRate,
            const std::vector<Channel>& channels, std::int64_t blocksAsleep) {
    // With the audio on standard output, the summary goes beside the warnings.
    std::FILE* summary = out.isStandardOutput() ? stderr : stdout;
    std::fprintf(summary, "wrote %s (%s): %lld frames at %d Hz, %zu channel(s)", out.path().c_str(),
                 format.name.c_str(), static_cast<long long>(frames), sampleRate, channels.size());
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const Level level = levelOf(channels[c].samples);
        std::fprintf(summary, "%s %s ", c == 0 ? ";" : ",", channels[c].name.c_str());
        if (level.nonFinite > 0) {
            std::fprintf(summary, "not finite");
        } else {
            std::fprintf(summary, "peak %.1f dBFS", level.peakDb);
        }
    }
    std::fprintf(summary, "; asleep for %lld blocks\n", static_cast<long long>(blocksAsleep));
    std::fflush(summary);
    for (const Channel& channel : channels) {
        const Level level = levelOf(channel.samples);
        if (level.nonFinite > 0) {
            std::fprintf(stderr, "lumhost: warning: %s: %lld of %zu samples are not finite (NaN or infinity)\n",
                         channel.name.c_str(), static_cast<long long>(level.nonFinite), channel.samples.size());
        }
        if (format.fixedPoint && level.peakDb > 0.0) {
            std::fprintf(stderr, "lumhost: warning: %s: peak %+.1f dBFS clipped in %s\n", channel.name.c_str(),
                         level.peakDb, format.name.c_str());
        }
    }
}

}  // namespace

int renderCommand(const RunSettings& run, const std::string& outPath, const std::string& inPath,
                  const std::string& signal, double seconds, double tailSeconds, bool replaceExisting) {
    if (!inPath.empty() && run.sampleRateGiven) {
        throw UserError("--rate does not resample: " + inPath + " is rendered at its own rate");
    }
    if (inPath.empty() && (!(seconds > 0.0) || seconds > kMaxSeconds)) {
        throw UserError("length of " + std::to_string(seconds) + " seconds is outside 0 to 600");
    }
    if (!(tailSeconds >= 0.0) || tailSeconds > kMaxSeconds) {
        throw UserError("tail of " + std::to_string(tailSeconds) + " seconds is outside 0 to 600");
    }
    std::vector<std::string> inputs{run.libraryPath};
    if (!inPath.empty()) inputs.push_back(inPath);
    OutputFile out(outPath, replaceExisting, inputs);
    const AudioFormat format = audioFormatFor(outPath);
    const LoadedLibrary loaded(run.libraryPath);

    AudioData input;
    std::int32_t sampleRate = run.sampleRate;
    std::int64_t frames = 0;
    if (!inPath.empty()) {
        input = readAudioFile(inPath);
        sampleRate = input.sampleRate;
        frames = input.channels.empty() ? 0 : static_cast<std::int64_t>(input.channels.front().size());
        if (frames == 0) throw UserError(inPath + " has no frames");
    } else {
        frames = static_cast<std::int64_t>(std::llround(seconds * sampleRate));
        if (frames < 1) {
            throw UserError("--seconds is shorter than one frame at " + std::to_string(sampleRate) + " Hz");
        }
    }
    const std::int64_t inputFrames = frames;
    frames += static_cast<std::int64_t>(std::llround(tailSeconds * sampleRate));
    const ModuleDescription& module = loaded.module(run.moduleId);
    const std::vector<PinSetting> settings = parsePinSettings(run.pins);
    DspRun dsp(loaded.library.factory(), module, sampleRate, run.blockSize, settings);
    if (dsp.audioOutputs().empty()) throw UserError(run.moduleId + " has no audio output to write");
    dsp.requireInputChannels(inPath.empty() ? 1 : input.channels.size());
    if (inPath.empty()) input.channels = {generateSignal(signal, sampleRate, inputFrames)};

    std::vector<Channel> channels;
    std::int64_t blocksAsleep = 0;
    ProgressLine progressLine("render", run.quiet);
    if (input.channels.size() > 1 && dsp.highestInputChannel() == 0) {
        // A module that reads one channel runs once per channel of the file, with the same pins.
        const double share = 1.0 / static_cast<double>(input.channels.size());
        for (std::size_t c = 0; c < input.channels.size(); ++c) {
            DspRun channelRun(loaded.library.factory(), module, sampleRate, run.blockSize, settings);
            renderInto(channelRun, {input.channels[c]}, frames, " of channel " + std::to_string(c), channels,
                       blocksAsleep,
                       [&](double done) { progressLine.update((static_cast<double>(c) + done) * share); });
        }
    } else {
        renderInto(dsp, input.channels, frames, "", channels, blocksAsleep,
                   [&](double done) { progressLine.update(done); });
    }

    AudioData output{sampleRate, {}};
    for (Channel& channel : channels) output.channels.push_back(channel.samples);
    writeAudioFile(out, format, output);
    out.commit();
    report(out, format, frames, sampleRate, channels, blocksAsleep);
    return 0;
}

}  // namespace lumhost
