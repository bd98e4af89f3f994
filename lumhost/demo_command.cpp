#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "audio_file.h"
#include "commands.h"
#include "host/dsp_run.h"
#include "host/file_path.h"
#include "host/signal_generators.h"
#include "output_file.h"
#include "response_plot.h"

namespace lumhost {
namespace {

constexpr std::int32_t kRate = 44100;
constexpr std::int32_t kBlock = 64;

double rmsDb(const std::vector<float>& samples) {
    double sum = 0.0;
    for (float sample : samples) sum += static_cast<double>(sample) * sample;
    return 10.0 * std::log10(std::max(sum / static_cast<double>(samples.size()), 1e-20));
}

struct Render {
    const char* file;
    const char* module;
    std::vector<std::string> pins;
    const char* signal;  // "noise" or "sweep"
};

void demo(const std::string& outDirectory) {
    const LoadedLibrary filter(findLibrary("QX-DaRovoVIR3"));
    const LoadedLibrary math(findLibrary("KEL_MATH"));
    std::filesystem::create_directories(filePath(outDirectory));

    const std::int64_t frames = 2 * kRate;
    const std::vector<float> noise = generateSignal("noise", kRate, frames);
    const std::vector<float> sweep = generateSignal("sweep", kRate, frames);
    // Frequency, Q and gain pins read ten times their sample value: 100 is 1 kHz.
    const Render renders[] = {
        {"filter-lowpass-1-section",
         "QX-DaRovoVIR3",
         {"Filter Type=0", "Slope=0", "Frequency=100", "Q=0.0707"},
         "noise"},
        {"filter-lowpass-4-sections",
         "QX-DaRovoVIR3",
         {"Filter Type=0", "Slope=3", "Frequency=100", "Q=0.0707"},
         "noise"},
        {"filter-bandpass-2-sections",
         "QX-DaRovoVIR3",
         {"Filter Type=2", "Slope=1", "Frequency=100", "Q=0.4"},
         "sweep"},
        {"filter-notch", "QX-DaRovoVIR3", {"Filter Type=3", "Slope=0", "Frequency=100", "Q=0.1"}, "sweep"},
        {"filter-peak-plus-12-db",
         "QX-DaRovoVIR3",
         {"Filter Type=4", "Slope=0", "Frequency=100", "Q=0.1", "Gain=1.2"},
         "sweep"},
        {"filter-highshelf-minus-9-db",
         "QX-DaRovoVIR3",
         {"Filter Type=6", "Slope=1", "Frequency=300", "Q=0.0707", "Gain=-0.9"},
         "noise"},
        {"math-multiply-by-half", "KelMathMultiplyAudio", {"B=0.05"}, "noise"},
        {"math-limit-to-0.2", "KelMathLimitAudio", {"Min=-0.2", "Max=0.2"}, "sweep"},
        {"math-nearest-tenth", "KelMathNearestAudio", {}, "sweep"},
    };

    std::printf("lumhost demo: %d Hz, blocks of %d, into %s/\n\n", kRate, kBlock, outDirectory.c_str());
    std::printf("  %-42s %-6s %9s %9s\n", "file", "input", "in (dB)", "out (dB)");
    for (const Render& render : renders) {
        const LoadedLibrary& loaded = std::string(render.module) == "QX-DaRovoVIR3" ? filter : math;
        const std::vector<float>& input = std::string(render.signal) == "noise" ? noise : sweep;
        DspRun dsp(loaded.library.factory(), loaded.module(render.module), kRate, kBlock,
                   parsePinSettings(render.pins));
        AudioData out{kRate, dsp.render({input}, frames)};
        const std::string path = outDirectory + "/" + render.file + ".wav";
        // The demo is run again and again: its own folder's files are replaced.
        OutputFile file(path, true);
        writeAudioFile(file, audioFormatFor(path), out);
        file.commit();
        std::printf("  %-42s %-6s %9.1f %9.1f\n", path.c_str(), render.signal, rmsDb(input), rmsDb(out.channels[0]));
    }

    const char* const shapes[] = {"LowPass", "HighPass", "BandPass", "Notch", "Peak", "LowShelf", "HighShelf"};
    std::vector<ResponseCurve> curves;
    std::printf("\n  %-10s %12s %12s %12s\n", "shape", "at 100 Hz", "at 1 kHz", "at 10 kHz");
    for (int shape = 0; shape < 7; ++shape) {
        RunSettings run;
        run.libraryPath = filter.library.path();
        run.moduleId = "QX-DaRovoVIR3";
        run.pins = {"Filter Type=" + std::to_string(shape), "Slope=0", "Frequency=100", "Q=0.0707", "Gain=0.6"};
        run.sampleRate = kRate;
        run.blockSize = kBlock;
        run.sampleRateGiven = true;
        const ImpulseResponse impulse = measureImpulseResponse(filter, run, 0.5);
        auto at = [&](double hz) { return impulse.at(hz).magnitudeDb; };
        std::printf("  %-10s %9.1f dB %9.1f dB %9.1f dB\n", shapes[shape], at(100.0), at(1000.0), at(10000.0));
        curves.push_back({shapes[shape], impulse.curve()});
    }
    const std::string plotPath = outDirectory + "/response.png";
    if (!plotterOnPath()) {
        OutputFile table(tableInsteadOf(plotPath), true);
        writeResponseCsv(table, curves);
        table.commit();
        std::printf("\n  response table: %s\n", table.path().c_str());
        warnNoPlotter(plotPath, table.path());
        return;
    }
    OutputFile plot(plotPath, true);
    plotResponses(plot, "QX-DaRovoVIR3: seven shapes at 1 kHz, Q 0.707, gain 6 dB, one section", curves);
    plot.commit();
    std::printf("\n  response plot: %s\n", plot.path().c_str());
}

}  // namespace

void addDemoCommand(CLI::App& app) {
    auto outDirectory = std::make_shared<std::string>("demo-out");
    CLI::App* command = app.add_subcommand("demo", "render and plot the filter and a few math modules");
    command->add_option("--out-dir", *outDirectory, "the folder written to (default demo-out)");
    command->callback([outDirectory] { demo(*outDirectory); });
}

}  // namespace lumhost
