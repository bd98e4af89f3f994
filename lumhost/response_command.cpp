#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "commands.h"
#include "host/frequency_response.h"
#include "host/pin_value.h"
#include "host/user_error.h"
#include "output_file.h"
#include "progress_line.h"
#include "response_plot.h"
#include "terminal.h"

namespace lumhost {

ImpulseResponse measureImpulseResponse(const LoadedLibrary& loaded, const RunSettings& run, double seconds) {
    warnAboutPinValues(loaded.module(run.moduleId), parsePinSettings(run.pins), run.sampleRate);
    ProgressLine progressLine("response", run.quiet);
    try {
        return measureImpulseResponse(loaded.library.factory(), loaded.module(run.moduleId), run.sampleRate,
                                      run.blockSize, parsePinSettings(run.pins), seconds,
                                      [&](double done) { progressLine.update(done); });
    } catch (const NoImpulseInput& error) {
        throw UserError(std::string(error.what()) + ": give one the signal with --pin NAME=in");
    }
}

namespace {

struct ResponseOptions {
    RunSettings run;
    std::string plotPath, csvPath;
    std::vector<double> at;  // Hz
    double seconds = 1.0;
};

void respond(const ResponseOptions& options) {
    const RunSettings& run = options.run;
    const std::string& plotPath = options.plotPath;
    const std::string& csvPath = options.csvPath;
    const bool replaceExisting = run.replaceExisting;
    if (plotPath == "-" && isTerminal(stdout)) {
        throw UserError("will not draw a picture on a terminal: send standard output to a file or a program");
    }
    if (plotPath.empty() && csvPath.empty() && options.at.empty()) {
        throw UserError("response needs --plot, --csv or --at");
    }
    for (double hz : options.at) {
        if (!(hz > 0.0) || hz > run.sampleRate / 2.0) {
            char text[64];
            std::snprintf(text, sizeof text, "--at %g Hz is not between 0 and half the sample rate", hz);
            throw UserError(text);
        }
    }
    if (!plotPath.empty()) checkPlotName(plotPath);
    // Without gnuplot the table stands in for the plot.
    const bool drawn = !plotPath.empty() && plotterOnPath();
    const std::string tablePath = csvPath.empty() && !plotPath.empty() && !drawn ? tableInsteadOf(plotPath) : csvPath;
    // Every output is checked before anything is measured or written.
    std::optional<OutputFile> csv, plot;
    if (!tablePath.empty()) csv.emplace(tablePath, replaceExisting, libraryFiles(run.libraryPath));
    // Checked even when not drawn, so the same name gives the same answer with or without gnuplot.
    if (!plotPath.empty()) plot.emplace(plotPath, replaceExisting, libraryFiles(run.libraryPath));
    if (!csvPath.empty() && plot) refuseSharedTargets({&*csv, &*plot});

    const LoadedLibrary loaded(run.libraryPath);
    const ImpulseResponse impulse = measureImpulseResponse(loaded, run, options.seconds);
    const auto points = impulse.curve();
    if (csv) writeResponseCsv(*csv, {{run.moduleId, points}});
    if (drawn)
        plotResponses(*plot, describeRun(loaded.module(run.moduleId), parsePinSettings(run.pins)),
                      {{run.moduleId, points}});
    if (csv) csv->commit();
    if (drawn) plot->commit();
    if (plot && !drawn) warnNoPlotter(plotPath, tablePath);

    std::FILE* summary = (csv && csv->isStandardOutput()) || (drawn && plot->isStandardOutput()) ? stderr : stdout;
    for (double hz : options.at) {
        const ResponsePoint point = impulse.at(hz);
        std::fprintf(summary, "%g Hz: %.2f dB, %.1f deg\n", hz, point.magnitudeDb, point.phaseDegrees);
    }
    if (!csv && !plot) return;
    const ResponsePoint peak = impulse.peak(points);
    std::fprintf(summary, "%s: peak %.2f dB at %.1f Hz, %.2f dB at the lowest frequency measured (%.1f Hz)%s%s%s%s\n",
                 run.moduleId.c_str(), peak.magnitudeDb, peak.hz, points.front().magnitudeDb, points.front().hz,
                 drawn ? "; plot " : "", drawn ? plotPath.c_str() : "", csv ? "; table " : "",
                 csv ? tablePath.c_str() : "");
}

}  // namespace

void addResponseCommand(CLI::App& app) {
    auto options = std::make_shared<ResponseOptions>();
    CLI::App* command = app.add_subcommand("response", "measure and plot a DSP module's magnitude response");
    addRunOptions(*command, options->run);
    command->add_option("--plot", options->plotPath, "the drawing: .png or .svg; - for PNG on standard output");
    command->add_option("--csv", options->csvPath, "a table of frequency, magnitude and phase; - for standard output");
    command->add_option("--at", options->at, "HZ,...: print the magnitude and phase at exactly these frequencies")
        ->delimiter(',');
    numberOption<double>(
        command->add_option("--seconds", options->seconds, "impulse response length, 0.1 to 60 (default 1)"),
        checkResponseSeconds);
    command->footer(
        "Prints the peak (magnitude and frequency) and, second, the magnitude at the lowest frequency measured "
        "(10 Hz, which a 0.1 s impulse response still shows). The plot's magnitude axis stops at -60 dB: "
        "anything lower lies on its floor; the table keeps every value.");
    command->callback([options] { respond(*options); });
}

}  // namespace lumhost
