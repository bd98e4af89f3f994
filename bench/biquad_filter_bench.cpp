// The QX-DaRovoVIR3 filter's two flavours through the real library's process, beside a
// minimal transposed direct form II cascade: the practical limit for serial sections.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "bench/minimal_cascade.h"
#include "biquad_filter/biquad_design.h"
#include "host/event_list.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr double kHz = 1000.0;
constexpr double kQ = 0.707;

// Beside this program in the build tree: bin/ and lib/.
std::string libraryPath() {
    return (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "lib" / "QX-DaRovoVIR3.lum")
        .string();
}

std::vector<float> noise(std::int32_t frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    std::uint32_t seed = 12345;
    for (float& sample : samples) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    return samples;
}

void reportPerSample(benchmark::State& state, std::int32_t frames) {
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Arguments: sections (1-4), block size.
void filterModule(benchmark::State& state, bool modulated) {
    const auto sections = static_cast<std::int32_t>(state.range(0));
    const auto frames = static_cast<std::int32_t>(state.range(1));
    lumhost::ModuleLibrary library(libraryPath());
    lumhost::RecordingHost host;
    host.setBlockSize(frames);
    auto created = lumhost::createDsp(library.factory(), u"QX-DaRovoVIR3", host.object());
    if (!created.object) {
        state.SkipWithError("filter not created");
        return;
    }
    lum::IMpPlugin& filter = *created.object.get();
    std::vector<float> in = noise(frames);
    std::vector<float> frequency(in.size(), static_cast<float>(kHz / 10.0));
    std::vector<float> q(in.size(), static_cast<float>(kQ / 10.0));
    std::vector<float> gain(in.size(), 0.0f);
    std::vector<float> out(in.size(), 0.0f);
    filter.open();
    filter.setBuffer(biquad::kSignalIn, in.data());
    filter.setBuffer(biquad::kFrequency, frequency.data());
    filter.setBuffer(biquad::kQ, q.data());
    filter.setBuffer(biquad::kGain, gain.data());
    filter.setBuffer(biquad::kSignalOut, out.data());

    lumhost::EventList events;
    events.value(0, biquad::kFilterType, std::int32_t{biquad::kLowPass})
        .value(0, biquad::kSlope, sections - 1)
        .streaming(0, biquad::kSignalIn, true);
    if (modulated) events.streaming(0, biquad::kFrequency, true);
    filter.process(frames, events.head());

    for (auto _ : state) {
        filter.process(frames, nullptr);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportPerSample(state, frames);
}

void fixedFlavour(benchmark::State& state) { filterModule(state, false); }
void modulatedFlavour(benchmark::State& state) { filterModule(state, true); }

template <std::int32_t Sections>
void minimalLoop(benchmark::State& state) {
    const auto frames = static_cast<std::int32_t>(state.range(0));
    const biquad::Coefficients c = biquad::calcCoefficients(biquad::kLowPass, kHz, kQ, 0.0, kSampleRate);
    std::vector<float> in = noise(frames);
    std::vector<float> out(in.size(), 0.0f);
    double states[2 * Sections] = {};
    for (auto _ : state) {
        bench::minimalCascade<Sections>(c, states, in.data(), out.data(), frames);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportPerSample(state, frames);
}

void sectionsAndBlocks(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"sections", "block"});
    for (std::int64_t block : {64, 512}) {
        for (std::int64_t sections = 1; sections <= 4; ++sections) benchmark->Args({sections, block});
    }
}

}  // namespace

BENCHMARK(fixedFlavour)->Apply(sectionsAndBlocks);
BENCHMARK(modulatedFlavour)->Apply(sectionsAndBlocks);
BENCHMARK(minimalLoop<1>)->ArgName("block")->Arg(64)->Arg(512);
BENCHMARK(minimalLoop<2>)->ArgName("block")->Arg(64)->Arg(512);
BENCHMARK(minimalLoop<3>)->ArgName("block")->Arg(64)->Arg(512);
BENCHMARK(minimalLoop<4>)->ArgName("block")->Arg(64)->Arg(512);
