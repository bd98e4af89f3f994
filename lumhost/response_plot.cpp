#include "response_plot.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "external_program.h"
#include "host/user_error.h"

namespace lumhost {
namespace {

// A gnuplot single-quoted string takes everything literally except a doubled quote; a
// line break would end the command, so control characters become spaces.
std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'') result += '\'';
        result += std::iscntrl(static_cast<unsigned char>(c)) ? ' ' : c;
    }
    return result + "'";
}

// The magnitude axis's floor, and how long gnuplot may take.
constexpr double kPlotFloorDb = -60.0;
constexpr double kPlotSeconds = 30.0;

}  // namespace

void writeResponseCsv(const OutputFile& out, const std::vector<ResponseCurve>& curves) {
    const bool labelled = curves.size() > 1;
    std::string table = labelled ? "curve,hz,magnitude_db,phase_deg\n" : "hz,magnitude_db,phase_deg\n";
    char line[96];
    for (const ResponseCurve& curve : curves) {
        for (const ResponsePoint& p : curve.points) {
            std::snprintf(line, sizeof line, "%.6g,%.6f,%.4f\n", p.hz, p.magnitudeDb, p.phaseDegrees);
            table += (labelled ? curve.label + "," : "") + line;
        }
    }
    out.write(table);
}

bool plotterOnPath() { return !programOnPath("gnuplot").empty(); }

std::string tableInsteadOf(const std::string& plotPath) {
    if (plotPath == "-") return plotPath;
    return plotPath.substr(0, plotPath.size() - lowerCaseExtension(plotPath).size()) + "csv";
}

void warnNoPlotter(const std::string& plotPath, const std::string& tablePath) {
    std::fprintf(stderr, "lumhost: warning: gnuplot is not on the PATH: %s not drawn; the table is in %s\n",
                 plotPath.c_str(), tablePath == "-" ? "standard output" : tablePath.c_str());
}

void checkPlotName(const std::string& path) {
    const std::string extension = lowerCaseExtension(path);
    if (path != "-" && extension != "png" && extension != "svg") {
        throw UserError("cannot draw " + path + ": plots are .png or .svg");
    }
}

void plotResponses(const OutputFile& out, const std::string& title, const std::vector<ResponseCurve>& curves) {
    checkPlotName(out.path());
    std::ostringstream script;
    script << (lowerCaseExtension(out.path()) == "svg" ? "set terminal svg" : "set terminal pngcairo")
           << " size 1200,700 enhanced font 'sans,11'\n"
           << "set title " << quoted(title) << " noenhanced\n"
           << "set logscale x 10\nset autoscale xfix\nset grid xtics mxtics ytics\n"
           << "set xlabel 'Frequency (Hz)'\nset ylabel 'Magnitude (dB)'\n"
           << "set yrange [" << kPlotFloorDb << ":*]\nset key outside right top noenhanced\n"
           << "plot ";
    for (std::size_t i = 0; i < curves.size(); ++i) {
        script << (i > 0 ? ", " : "") << "'-' with lines lw 2 title " << quoted(curves[i].label);
    }
    script << "\n";
    for (const ResponseCurve& curve : curves) {
        // Below the axis a value lies on its floor, so a deep stop band stays a line.
        for (const ResponsePoint& p : curve.points)
            script << p.hz << ' ' << std::max(p.magnitudeDb, kPlotFloorDb) << '\n';
        script << "e\n";
    }
    // The drawing goes to gnuplot's standard output, so no file name enters the script.
    const ProgramResult result = runProgram({"gnuplot"}, script.str(), out.descriptor(), kPlotSeconds);
    if (result.timedOut) {
        throw UserError("gnuplot did not finish drawing " + out.path() + " within " +
                        std::to_string(static_cast<int>(kPlotSeconds)) + " seconds");
    }
    if (!result.succeeded) {
        throw UserError("gnuplot could not draw " + out.path() +
                        (result.lastErrorLine.empty() ? "" : ": " + result.lastErrorLine));
    }
    struct stat drawn {};
    if (fstat(out.descriptor(), &drawn) != 0 || drawn.st_size == 0) {
        throw UserError("gnuplot drew nothing into " + out.path());
    }
}

}  // namespace lumhost
