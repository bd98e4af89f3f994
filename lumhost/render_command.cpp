#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "audio_file.h"
#include "commands.h"
#include "host/dsp_run.h"
#include "host/signal_generators.h"
#include "output_file.h"
#include "progress_line.h"
#include "terminal.h"

namespace lumhost {
namespace {

constexpr double kMaxSeconds = 600.0;

struct Level {
    float peak = 0.0f;  // of the finite samples
    std::int64_t nonFinite = 0;
    std::int64_t samples = 0;

    void add(const float* samples, std::int64_t count) {
        for (std::int64_t i = 0; i < count; ++i) {
            if (std::isfinite(samples[i])) {
                peak = std::fmax(peak, std::fabs(samples[i]));
            } else {
                ++nonFinite;
            }
        }
        this->samples += count;
    }
    double peakDb() const { return peak > 0.0f ? 20.0 * std::log10(peak) : -INFINITY; }
};

struct Channel {
    std::string name;
    Level level;
};

void report(const OutputFile& out, const AudioFormat& format, std::int64_t frames, std::int32_t sampleRate,
            const std::vector<Channel>& channels, std::int64_t blocksAsleep) {
    // With the audio on standard output, the summary goes beside the warnings.
    std::FILE* summary = out.isStandardOutput() ? stderr : stdout;
    std::fprintf(summary, "wrote %s (%s): %lld frames at %d Hz, %zu channel(s)", out.path().c_str(),
                 format.name.c_str(), static_cast<long long>(frames), sampleRate, channels.size());
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const Level& level = channels[c].level;
        std::fprintf(summary, "%s %s ", c == 0 ? ";" : ",", channels[c].name.c_str());
        if (level.nonFinite > 0) {
            std::fprintf(summary, "not finite");
        } else {
            std::fprintf(summary, "peak %.1f dBFS", level.peakDb());
        }
    }
    std::fprintf(summary, "; asleep for %lld blocks\n", static_cast<long long>(blocksAsleep));
    std::fflush(summary);
    for (const Channel& channel : channels) {
        const Level& level = channel.level;
        if (level.nonFinite > 0) {
            std::fprintf(stderr, "lumhost: warning: %s: %lld of %lld samples are not finite (NaN or infinity)\n",
                         channel.name.c_str(), static_cast<long long>(level.nonFinite),
                         static_cast<long long>(level.samples));
        }
        if (format.fixedPoint && level.peakDb() > 0.0) {
            std::fprintf(stderr, "lumhost: warning: %s: peak %+.1f dBFS clipped in %s\n", channel.name.c_str(),
                         level.peakDb(), format.name.c_str());
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
        throw UserError("tail of " + shortNumber(tailSeconds) + " seconds is outside 0 to 600");
    }
}

void render(const RenderOptions& options) {
    const RunSettings& run = options.run;
    const std::string& inPath = options.inPath;
    const double seconds = options.seconds;
    if (options.outPath == "-" && isTerminal(stdout)) {
        throw UserError("will not write audio to a terminal: send standard output to a file or a program");
    }
    if (!inPath.empty() && run.sampleRateGiven) {
        throw UserError("--rate does not resample: " + inPath + " is rendered at its own rate");
    }
    // Checked here, not by a validator: with --in the length is the file's.
    if (inPath.empty() && (!(seconds > 0.0) || seconds > kMaxSeconds)) {
        throw UserError("length of " + shortNumber(seconds) + " seconds is outside 0 to 600");
    }
    std::vector<std::string> filesRead = libraryFiles(run.libraryPath);
    if (!inPath.empty()) filesRead.push_back(inPath);
    OutputFile out(options.outPath, run.replaceExisting, filesRead);
    const AudioFormat format = audioFormatFor(options.outPath);
    const LoadedLibrary loaded(run.libraryPath);

    // The input, read or made piece by piece: the run's memory does not grow with its length.
    std::optional<AudioFileReader> file;
    std::optional<SignalGenerator> generator;
    std::int32_t sampleRate = run.sampleRate;
    std::int64_t inputFrames = 0;
    if (!inPath.empty()) {
        file.emplace(inPath);
        sampleRate = file->sampleRate();
        inputFrames = file->frames();
        if (inputFrames == 0) throw UserError(inPath + " has no frames");
        if (!file->shortfall().empty()) {
            std::fprintf(stderr, "lumhost: warning: %s is shorter than its header says (%s): %lld frames rendered\n",
                         inPath.c_str(), file->shortfall().c_str(), static_cast<long long>(inputFrames));
        }
    } else {
        inputFrames = static_cast<std::int64_t>(std::llround(seconds * sampleRate));
        if (inputFrames < 1) {
            throw UserError("--seconds is shorter than one frame at " + std::to_string(sampleRate) + " Hz");
        }
    }
    const auto tailFrames = static_cast<std::int64_t>(std::llround(options.tailSeconds * sampleRate));
    const ModuleDescription& module = loaded.module(run.moduleId);
    const std::vector<PinSetting> settings = parsePinSettings(run.pins);
    const std::size_t inputChannels = file ? file->channelCount() : 1;
    std::vector<std::unique_ptr<DspRun>> runs;
    runs.push_back(std::make_unique<DspRun>(loaded.library.factory(), module, sampleRate, run.blockSize, settings));
    if (runs.front()->audioOutputs().empty()) throw UserError(run.moduleId + " has no audio output to write");
    runs.front()->requireInputChannels(inputChannels);
    warnAboutPinValues(module, settings, sampleRate);
    if (!file) generator.emplace(options.signal, sampleRate, inputFrames);
    // A module that reads one channel runs once per channel of the file, with the same pins.
    const bool runPerChannel = inputChannels > 1 && runs.front()->highestInputChannel() == 0;
    while (runPerChannel && runs.size() < inputChannels) {
        runs.push_back(std::make_unique<DspRun>(loaded.library.factory(), module, sampleRate, run.blockSize, settings));
    }
    std::vector<Channel> channels;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        for (const PinDescription& output : runs[r]->audioOutputs()) {
            channels.push_back({output.name + (runPerChannel ? " of channel " + std::to_string(r) : ""), {}});
        }
    }

    AudioFileWriter writer(out, format, sampleRate, channels.size());
    const std::int64_t chunk = run.blockSize * std::max<std::int64_t>(1, 16384 / run.blockSize);
    std::vector<std::vector<float>> inputSamples(inputChannels, std::vector<float>(static_cast<std::size_t>(chunk)));
    std::vector<std::vector<float>> outputSamples(channels.size(), std::vector<float>(static_cast<std::size_t>(chunk)));
    std::vector<float*> inputs, outputs;  // into the samples above
    for (auto& channel : inputSamples) inputs.push_back(channel.data());
    for (auto& channel : outputSamples) outputs.push_back(channel.data());
    std::vector<const float*> blockInputs(inputChannels);
    ProgressLine progressLine("render", run.quiet);
    for (std::int64_t done = 0; done < inputFrames + tailFrames;) {
        const std::int64_t count = std::min(chunk, inputFrames + tailFrames - done);
        const std::int64_t fromInput = std::clamp<std::int64_t>(inputFrames - done, 0, count);
        const std::int64_t got = file ? file->read(inputs.data(), fromInput) : fromInput;
        if (generator) generator->fill(inputs[0], got);
        if (got < fromInput) {
            std::fprintf(stderr, "lumhost: warning: %s ends after %lld of the %lld frames its header gives\n",
                         inPath.c_str(), static_cast<long long>(done + got), static_cast<long long>(inputFrames));
            inputFrames = done + got;
        }
        const std::int64_t frames = std::min(count, inputFrames + tailFrames - done);
        for (auto& channel : inputSamples) std::fill(channel.begin() + got, channel.begin() + frames, 0.0f);
        for (std::int64_t start = 0; start < frames; start += run.blockSize) {
            const auto length = static_cast<std::int32_t>(std::min<std::int64_t>(run.blockSize, frames - start));
            std::size_t o = 0;
            for (std::size_t r = 0; r < runs.size(); ++r) {
                for (std::size_t c = 0; c < inputChannels; ++c) blockInputs[c] = inputs[runPerChannel ? r : c] + start;
                runs[r]->processBlock(blockInputs.data(), runPerChannel ? 1 : inputChannels, length);
                for (std::size_t k = 0; k < runs[r]->audioOutputs().size(); ++k, ++o) {
                    std::copy_n(runs[r]->outputBlock(k), length, outputs[o] + start);
                }
            }
        }
        for (std::size_t o = 0; o < channels.size(); ++o) channels[o].level.add(outputs[o], frames);
        writer.write(outputs.data(), frames);
        done += frames;
        progressLine.update(static_cast<double>(done) / static_cast<double>(inputFrames + tailFrames));
    }
    writer.close();
    out.commit();
    progressLine.clear();
    std::int64_t blocksAsleep = 0;
    for (const auto& dsp : runs) blocksAsleep += dsp->blocksAsleep();
    report(out, format, inputFrames + tailFrames, sampleRate, channels, blocksAsleep);
}

}  // namespace

void addRunOptions(CLI::App& command, RunSettings& run) {
    addLibraryArgument(command, run.libraryPath)->required();
    command.add_option("id", run.moduleId, "the module's identifier")->required();
    command.add_option(
        "--pin", run.pins,
        "NAME_OR_INDEX=VALUE for a pin (repeatable); an int pin also takes its value names, a float or audio pin a "
        "value in its unit (Frequency=1kHz, Gain=6dB); pins not given take the defaults list shows");
    numberOption<std::int32_t>(
        command.add_option("--rate", run.sampleRate, "sample rate in Hz (default 44100; an --in file keeps its own)"),
        requireSampleRate)
        ->each([&run](const std::string&) { run.sampleRateGiven = true; });
    numberOption<std::int32_t>(command.add_option("--block", run.blockSize, "samples per block (default 64)"),
                               requireBlockSize);
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
    numberOption<double>(command->add_option("--seconds", options->seconds,
                                             "length of the generated signal (default 2); ignored with --in"));
    numberOption<double>(command->add_option("--tail", options->tailSeconds,
                                             "seconds of silence rendered after the input, for ringing (default 0)"),
                         requireTail);
    command->footer(
        "Audio inputs: the first one takes the signal (channel 0) unless set; NAME=in:N feeds channel N of the "
        "input (in = in:0) to any audio input, and NAME=NUMBER holds one at a constant sample value (audio pins "
        "stand for ten times it: the filter's Frequency=100 is 1 kHz, which Frequency=1kHz also gives). Generated "
        "signals peak at 0.5 (-6 dBFS): "
        "impulse is one sample of 1, sine:HZ takes 0 < HZ < half the rate, sweep rises from 20 Hz to 0.45 times "
        "the rate, noise is white and the same every run. Pins not given take the defaults list shows.");
    command->callback([options] { render(*options); });
}

}  // namespace lumhost
