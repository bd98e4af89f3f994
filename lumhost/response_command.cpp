#include <cmath>
#include <cstdio>
#include <optional>

#include "commands.h"
#include "host/frequency_response.h"
#include "host/output_file.h"
#include "host/pin_value.h"
#include "host/response_plot.h"
#include "host/user_error.h"
#include "progress_line.h"

namespace lumhost {

std::vector<ResponsePoint> measureResponse(const LoadedLibrary& loaded, const RunSettings& run, double seconds) {
    ProgressLine progressLine("response", run.quiet);
    return measureResponse(loaded.library.factory(), loaded.module(run.moduleId), run.sampleRate, run.blockSize,
                           parsePinSettings(run.pins), seconds, [&](double done) { progressLine.update(done); });
}

int responseCommand(const RunSettings& run, const std::string& plotPath, const std::string& csvPath, double seconds,
                    bool replaceExisting) {
    checkResponseSeconds(seconds);
    if (plotPath.empty() && csvPath.empty()) throw UserError("response needs --plot or --csv (or both)");
    // Every output is checked before anything is measured or written.
    std::optional<OutputFile> csv, plot;
    if (!csvPath.empty()) csv.emplace(csvPath, replaceExisting, std::vector<std::string>{run.libraryPath});
    if (!plotPath.empty()) plot.emplace(plotPath, replaceExisting, std::vector<std::string>{run.libraryPath});
    if (plot) checkPlotName(plotPath);
    if (csv && plot) refuseSharedTargets({&*csv, &*plot});

    const LoadedLibrary loaded(run.libraryPath);
    const auto points = measureResponse(loaded, run, seconds);
    if (csv) writeResponseCsv(*csv, points);
    if (plot) plotResponses(*plot, describeRun(run.moduleId, parsePinSettings(run.pins)), {{run.moduleId, points}});
    if (csv) csv->commit();
    if (plot) plot->commit();

    const ResponsePoint peak = peakOf(points);
    std::FILE* summary = (csv && csv->isStandardOutput()) || (plot && plot->isStandardOutput()) ? stderr : stdout;
    std::fprintf(summary, "%s: peak %.2f dB at %.1f Hz, %.2f dB at the lowest frequency measured (%.1f Hz)%s%s%s%s\n",
                 run.moduleId.c_str(), peak.magnitudeDb, peak.hz, points.front().magnitudeDb, points.front().hz,
                 plotPath.empty() ? "" : "; plot ", plotPath.c_str(), csvPath.empty() ? "" : "; table ",
                 csvPath.c_str());
    return 0;
}

}  // namespace lumhost
