#include "frequency_response.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "dsp_run.h"
#include "output_file.h"

namespace lumhost {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Writes through `write` into a temporary file, then renames it to `path`.
template <class Write>
void writeAtomically(const std::string& path, Write write) {
    const std::string temporary = temporaryPath(path);
    {
        std::ofstream out(temporary);
        if (!out) throw UsageError("cannot write " + path);
        write(out);
        if (!out) {
            std::remove(temporary.c_str());
            throw UsageError("cannot write " + path);
        }
    }
    commitTemporary(temporary, path);
}

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') result += '\\';
        result += c;
    }
    return result + "\"";
}

}  // namespace

std::vector<ResponsePoint> responseFromImpulse(const std::vector<float>& impulseResponse, std::int32_t sampleRate,
                                               std::int32_t points) {
    std::vector<ResponsePoint> response;
    const double lowest = 10.0;
    const double highest = 0.499 * sampleRate;
    for (std::int32_t k = 0; k < points; ++k) {
        const double hz = lowest * std::pow(highest / lowest, static_cast<double>(k) / (points - 1));
        // A rotating phasor instead of sin and cos per sample; its drift stays far below
        // what a plot or a test tolerance can see.
        const std::complex<double> rotation = std::polar(1.0, -2.0 * kPi * hz / sampleRate);
        std::complex<double> phasor = 1.0;
        std::complex<double> sum = 0.0;
        for (float sample : impulseResponse) {
            sum += static_cast<double>(sample) * phasor;
            phasor *= rotation;
        }
        const double magnitude = std::abs(sum);
        response.push_back({hz, 20.0 * std::log10(std::max(magnitude, 1e-12)), std::arg(sum) * 180.0 / kPi});
    }
    return response;
}

ResponsePoint peakOf(const std::vector<ResponsePoint>& points) {
    return *std::max_element(points.begin(), points.end(), [](const ResponsePoint& a, const ResponsePoint& b) {
        return a.magnitudeDb < b.magnitudeDb;
    });
}

void writeResponseCsv(const std::string& path, const std::vector<ResponsePoint>& points) {
    writeAtomically(path, [&](std::ofstream& out) {
        out << "hz,magnitude_db,phase_deg\n";
        char line[96];
        for (const ResponsePoint& p : points) {
            std::snprintf(line, sizeof line, "%.6g,%.6f,%.4f\n", p.hz, p.magnitudeDb, p.phaseDegrees);
            out << line;
        }
    });
}

void plotResponses(const std::string& pngPath, const std::string& title, const std::vector<ResponseCurve>& curves) {
    const std::string data = pngPath + ".dat";
    writeAtomically(data, [&](std::ofstream& out) {
        for (const ResponseCurve& curve : curves) {
            for (const ResponsePoint& p : curve.points) out << p.hz << ' ' << p.magnitudeDb << '\n';
            out << "\n\n";  // a gnuplot data block per curve
        }
    });
    const std::string script = pngPath + ".gp";
    const std::string temporaryPng = temporaryPath(pngPath);
    writeAtomically(script, [&](std::ofstream& out) {
        out << "set terminal pngcairo size 1200,700 enhanced font 'sans,11'\n"
            << "set output " << quoted(temporaryPng) << "\n"
            << "set title " << quoted(title) << " noenhanced\n"
            << "set logscale x 10\nset autoscale xfix\nset grid xtics mxtics ytics\n"
            << "set xlabel 'Frequency (Hz)'\nset ylabel 'Magnitude (dB)'\n"
            << "set yrange [-60:*]\nset key outside right top noenhanced\n"
            << "plot ";
        for (std::size_t i = 0; i < curves.size(); ++i) {
            out << (i > 0 ? ", " : "") << quoted(data) << " index " << i << " with lines lw 2 title "
                << quoted(curves[i].label);
        }
        out << "\n";
    });
    const std::string command = "gnuplot " + quoted(script) + " 2>&1";
    const int status = std::system(command.c_str());
    std::remove(script.c_str());
    std::remove(data.c_str());
    if (status != 0) {
        std::remove(temporaryPng.c_str());
        throw UsageError("gnuplot could not draw " + pngPath + " (is gnuplot installed?)");
    }
    std::error_code error;
    std::filesystem::rename(temporaryPng, pngPath, error);
    if (error) throw UsageError("cannot write " + pngPath + ": " + error.message());
}

}  // namespace lumhost
