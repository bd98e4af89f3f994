// Runs the filter module of QX-DaRovoVIR3.lum over a noise signal, times its process
// calls, and writes the input, the output and the module's coefficient set for
// bench/compare, which runs scipy on the same signal and coefficients.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "biquad_filter/biquad_design.h"
#include "host/event_list.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"
#include "host/signal_generators.h"

namespace {

constexpr std::int32_t kBlock = 512;
constexpr float kRate = 44100.0f;

void writeRaw(const std::string& path, const std::vector<float>& samples) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 4));
}

// One pass over the whole signal through a fresh module; returns seconds spent in process.
double filterOnce(lum::IMpFactory& factory, int type, int sections, double hz, double q, double gainDb,
                  std::vector<float>& in, std::vector<float>& out) {
    lumhost::RecordingHost host;
    host.setBlockSize(kBlock);
    host.setSampleRate(kRate);
    auto filter = lumhost::createDsp(factory, u"QX-DaRovoVIR3", host.object());
    // Frequency, Q and gain pins read ten times their sample value.
    std::vector<float> frequency(kBlock, static_cast<float>(hz / 10.0));
    std::vector<float> quality(kBlock, static_cast<float>(q / 10.0));
    std::vector<float> gain(kBlock, static_cast<float>(gainDb / 10.0));
    filter.object->open();
    filter.object->setBuffer(2, frequency.data());
    filter.object->setBuffer(3, quality.data());
    filter.object->setBuffer(4, gain.data());
    lumhost::EventList start;
    start.graphStart(0).value(0, 0, std::int32_t{type}).value(0, 6, std::int32_t{sections - 1}).streaming(0, 1, true);
    double seconds = 0.0;
    for (std::size_t at = 0; at < in.size(); at += kBlock) {
        const auto count = static_cast<std::int32_t>(std::min<std::size_t>(kBlock, in.size() - at));
        filter.object->setBuffer(1, in.data() + at);
        filter.object->setBuffer(5, out.data() + at);
        const auto begin = std::chrono::steady_clock::now();
        filter.object->process(count, at == 0 ? start.head() : nullptr);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        host.clear();
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fprintf(stderr, "usage: filter_compare_runner TYPE SECTIONS HZ Q GAIN_DB SECONDS REPEATS OUT_DIR\n");
        return 2;
    }
    const int type = std::atoi(argv[1]);
    const int sections = std::atoi(argv[2]);
    const double hz = std::atof(argv[3]), q = std::atof(argv[4]), gainDb = std::atof(argv[5]);
    const auto frames = static_cast<std::size_t>(std::atof(argv[6]) * kRate);
    const int repeats = std::max(1, std::atoi(argv[7]));
    const std::string outDir = argv[8];

    lumhost::ModuleLibrary library((lumhost::libraryDirectory() / "QX-DaRovoVIR3.lum").string());
    std::vector<float> in =
        lumhost::generateSignal("noise", static_cast<std::int32_t>(kRate), static_cast<std::int64_t>(frames));
    std::vector<float> out(frames);

    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        best = std::min(best, filterOnce(library.factory(), type, sections, hz, q, gainDb, in, out));
    }
    writeRaw(outDir + "/in.f32", in);
    writeRaw(outDir + "/out.f32", out);
    // The design from the pin samples exactly as the module reads them.
    const biquad::Coefficients c = biquad::calcCoefficients(
        type, biquad::frequencyFromPin(static_cast<float>(hz / 10.0)), biquad::qFromPin(static_cast<float>(q / 10.0)),
        biquad::gainFromPin(static_cast<float>(gainDb / 10.0)), static_cast<double>(kRate));
    std::printf("{\"ns_per_sample\": %.6f, \"b\": [%.17g, %.17g, %.17g], \"a\": [1.0, %.17g, %.17g]}\n",
                best * 1e9 / static_cast<double>(frames), c.b0, c.b1, c.b2, c.a1, c.a2);
    return 0;
}
