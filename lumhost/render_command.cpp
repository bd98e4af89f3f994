#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

#include "audio_file.h"
#include "commands.h"
#include "host/dsp_run.h"
#include "host/signal_generators.h"
#include "output_file.h"
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

struct RenderOptions {
    RunSettings run;
    std::string outPath, inPath;
    std::string signal = "noise";
    double seconds = 2.0;
    double tailSeconds = 0.0;
};

void requireTail(double tailSeconds) {
    if (!(tailSeconds >= 0.0) || tailSeconds > kMaxSeconds) {
        throw UserError("tail of " + std::to_string(tailSeconds) + " seconds is outside 0 to 600");
    }
}

void render(const RenderOptions& options) {
    const RunSettings& run = options.run;
    const std::string& inPath = options.inPath;
    const double seconds = options.seconds;
    if (!inPath.empty() && run.sampleRateGiven) {
        throw UserError("--rate does not resample: " + inPath + " is rendered at its own rate");
    }
    // Checked here, not by a validator: with --in the length is the file's.
    if (inPath.empty() && (!(seconds > 0.0) || seconds > kMaxSeconds)) {
        throw UserError("length of " + std::to_string(seconds) + " seconds is outside 0 to 600");
    }
    std::vector<std::string> inputs{run.libraryPath};
    if (!inPath.empty()) inputs.push_back(inPath);
    OutputFile out(options.outPath, run.replaceExisting, inputs);
    const AudioFormat format = audioFormatFor(options.outPath);
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
    frames += static_cast<std::int64_t>(std::llround(options.tailSeconds * sampleRate));
    const ModuleDescription& module = loaded.module(run.moduleId);
    const std::vector<PinSetting> settings = parsePinSettings(run.pins);
    DspRun dsp(loaded.library.factory(), module, sampleRate, run.blockSize, settings);
    if (dsp.audioOutputs().empty()) throw UserError(run.moduleId + " has no audio output to write");
    dsp.requireInputChannels(inPath.empty() ? 1 : input.channels.size());
    if (inPath.empty()) input.channels = {generateSignal(options.signal, sampleRate, inputFrames)};

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
}

}  // namespace

void addRunOptions(CLI::App& command, RunSettings& run) {
    addLibraryArgument(command, run.libraryPath)->required();
    command.add_option("id", run.moduleId, "the module's identifier")->required();
    command.add_option(
        "--pin", run.pins,
        "NAME_OR_INDEX=VALUE for a pin (repeatable); an int pin also takes its value names; pins not given take the "
        "defaults list shows");
    command.add_option("--rate", run.sampleRate, "sample rate in Hz (default 44100; an --in file keeps its own)")
        ->check(checkedBy<std::int32_t>(requireSampleRate))
        ->each([&run](const std::string&) { run.sampleRateGiven = true; });
    command.add_option("--block", run.blockSize, "samples per block (default 64)")
        ->check(checkedBy<std::int32_t>(requireBlockSize));
    command.add_flag("-y,--force", run.replaceExisting, "replace existing output files");
    command.add_flag("-q,--quiet", run.quiet, "no progress line (shown only on a terminal, for runs over a second)");
}

void addRenderCommand(CLI::App& app) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* command = app.add_subcommand("render", "run a DSP module on a signal and write the result");
    addRunOptions(*command, options->run);
    command
        ->add_option("--out", options->outPath,
                     "the audio file to write, its format from its extension (.wav, .flac, .aiff, ...); "
                     "- for WAV on standard output")
        ->required();
    auto* in = command->add_option("--in", options->inPath, "an input audio file, rendered at its own rate");
    command->add_option("--signal", options->signal, "impulse, sine:HZ, sweep or noise (default noise)")->excludes(in);
    command->add_option("--seconds", options->seconds, "length of the generated signal (default 2); ignored with --in");
    command
        ->add_option("--tail", options->tailSeconds,
                     "seconds of silence rendered after the input, for ringing (default 0)")
        ->check(checkedBy<double>(requireTail));
    command->footer(
        "Audio inputs: the first one takes the signal (channel 0) unless set; NAME=in:N feeds channel N of the "
        "input (in = in:0) to any audio input, and NAME=NUMBER holds one at a constant sample value (audio pins "
        "stand for ten times it: the filter's Frequency=100 is 1 kHz). Generated signals peak at 0.5 (-6 dBFS): "
        "impulse is one sample of 1, sine:HZ takes 0 < HZ < half the rate, sweep rises from 20 Hz to 0.45 times "
        "the rate, noise is white and the same every run. Pins not given take the defaults list shows.");
    command->callback([options] { render(*options); });
}

}  // namespace lumhost
