// A measured response as a table and as a gnuplot drawing.
#pragma once

#include <string>
#include <vector>

#include "host/frequency_response.h"
#include "output_file.h"

namespace lumhost {

// Writes "hz,magnitude_db,phase_deg" rows into `out`. Throws UserError.
void writeResponseCsv(const OutputFile& out, const std::vector<ResponsePoint>& points);

// Throws UserError unless `path` ends in .png or .svg, or is "-" (PNG).
void checkPlotName(const std::string& path);

// Draws the curves with gnuplot into `out`, in the format its name asks for: log
// frequency axis, dB. Throws UserError when gnuplot is missing or fails.
void plotResponses(const OutputFile& out, const std::string& title, const std::vector<ResponseCurve>& curves);

}  // namespace lumhost
