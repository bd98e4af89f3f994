// A measured response as a table and as a gnuplot drawing.
#pragma once

#include <string>
#include <vector>

#include "host/frequency_response.h"
#include "output_file.h"

namespace lumhost {

// Writes "hz,magnitude_db,phase_deg" rows into `out`; several curves get a first column,
// "curve", with each one's label. Throws UserError.
void writeResponseCsv(const OutputFile& out, const std::vector<ResponseCurve>& curves);

// Whether plotResponses can draw: gnuplot is on the PATH. Where it is not, a command writes
// the table instead and says so with warnNoPlotter.
bool plotterOnPath();
// The table written instead of the plot `plotPath` (a.png gives a.csv; "-" stays "-").
std::string tableInsteadOf(const std::string& plotPath);
void warnNoPlotter(const std::string& plotPath, const std::string& tablePath);

// Throws UserError unless `path` ends in .png or .svg, or is "-" (PNG).
void checkPlotName(const std::string& path);

// Draws the curves with gnuplot into `out`, in the format its name asks for: log
// frequency axis, dB. Throws UserError when gnuplot is missing or fails.
void plotResponses(const OutputFile& out, const std::string& title, const std::vector<ResponseCurve>& curves);

}  // namespace lumhost
