#include <cmath>
#include <cstdio>

#include "commands.h"
#include "host/dsp_run.h"
#include "host/frequency_response.h"

namespace lumhost {

std::vector<ResponsePoint> measureResponse(const LoadedLibrary& loaded, const RunSettings& run, double seconds) {
    DspRun dsp(loaded.library, loaded.module(run.moduleId), run.sampleRate, run.blockSize, parsePinSettings(run.pins));
    if (dsp.audioOutputs().empty()) throw UsageError(run.moduleId + " has no audio output to measure");
    const auto frames = static_cast<std::int64_t>(std::llround(seconds * run.sampleRate));
    std::vector<float> impulse(static_cast<std::size_t>(frames), 0.0f);
    if (frames > 0) impulse[0] = 1.0f;
    const auto rendered = dsp.render({impulse}, frames);
    return responseFromImpulse(rendered.front(), run.sampleRate);
}

std::string describeRun(const RunSettings& run) {
    std::string title = run.moduleId;
    for (const std::string& pin : run.pins) title += "  " + pin;
    return title;
}

int responseCommand(const RunSettings& run, const std::string& plotPath, const std::string& csvPath, double seconds) {
    if (!(seconds > 0.0) || seconds > 60.0) throw UsageError("impulse length outside 0 to 60 seconds");
    if (plotPath.empty() && csvPath.empty()) throw UsageError("response needs --plot or --csv (or both)");
    const LoadedLibrary loaded(run.libraryPath);
    const auto points = measureResponse(loaded, run, seconds);
    if (!csvPath.empty()) writeResponseCsv(csvPath, points);
    if (!plotPath.empty()) plotResponses(plotPath, describeRun(run), {{run.moduleId, points}});
    const ResponsePoint peak = peakOf(points);
    std::printf("%s: peak %.2f dB at %.1f Hz, %.2f dB at %.1f Hz%s%s%s%s\n", run.moduleId.c_str(), peak.magnitudeDb,
                peak.hz, points.front().magnitudeDb, points.front().hz, plotPath.empty() ? "" : "; plot ",
                plotPath.c_str(), csvPath.empty() ? "" : "; table ", csvPath.c_str());
    return 0;
}

}  // namespace lumhost
