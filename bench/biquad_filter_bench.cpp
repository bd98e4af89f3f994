// The QX-DaRovoVIR3 filter's two flavours through the real library's process, beside a
// minimal transposed direct form II cascade: the practical limit for serial sections.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/minimal_cascade.h"
#include "biquad_filter/biquad_design.h"
#include "biquad_filter/four_sample_steps_avx2.h"
#include "host/event_list.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"
#include "host/signal_generators.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr double kHz = 1000.0;
constexpr double kQ = 0.707;
// Used by the peak runs only; the low-pass ignores it.
constexpr double kGainDb = 6.0;

std::vector<float> noise(std::int32_t frames) { return lumhost::generateSignal("noise", 44100, frames); }

// The modulated runs' frequency pin: a sweep over an octave each side of kHz and back
// within the block, so every sample designs a set of its own.
std::vector<float> frequencySweep(std::int32_t frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double phase = 6.283185307179586 * static_cast<double>(i) / static_cast<double>(frames);
        samples[i] = static_cast<float>(kHz / 10.0 * std::exp2(std::sin(phase)));
    }
    return samples;
}

void reportPerSample(benchmark::State& state, std::int32_t frames) {
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Arguments: sections (1-4), block size.
void filterModule(benchmark::State& state, bool modulated, std::int32_t shape = biquad::kLowPass) {
    const auto sections = static_cast<std::int32_t>(state.range(0));
    const auto frames = static_cast<std::int32_t>(state.range(1));
    lumhost::ModuleLibrary library((lumhost::libraryDirectory() / "QX-DaRovoVIR3.lum").string());
    lumhost::RecordingHost host;
    host.setBlockSize(frames);
    auto created = lumhost::createDsp(library.factory(), u"QX-DaRovoVIR3", host.object());
    if (!created.object) {
        state.SkipWithError("filter not created");
        return;
    }
    lum::IMpPlugin& filter = *created.object.get();
    std::vector<float> in = noise(frames);
    std::vector<float> frequency =
        modulated ? frequencySweep(frames) : std::vector<float>(in.size(), static_cast<float>(kHz / 10.0));
    std::vector<float> q(in.size(), static_cast<float>(kQ / 10.0));
    std::vector<float> gain(in.size(), static_cast<float>(kGainDb / 10.0));
    std::vector<float> out(in.size(), 0.0f);
    filter.open();
    filter.setBuffer(biquad::kSignalIn, in.data());
    filter.setBuffer(biquad::kFrequency, frequency.data());
    filter.setBuffer(biquad::kQ, q.data());
    filter.setBuffer(biquad::kGain, gain.data());
    filter.setBuffer(biquad::kSignalOut, out.data());

    lumhost::EventList events;
    events.value(0, biquad::kFilterType, shape)
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
void modulatedFlavourPeak(benchmark::State& state) { filterModule(state, true, biquad::kPeak); }

// A textbook per-sample design, cookbook style with the library's tangent and power:
// what the modulated flavour's batched design and its tangent approximation replace.
biquad::Coefficients textbookCoefficients(std::int32_t shape, double hz, double q, double gainDb) {
    const double k = std::tan(biquad::kPi * hz / kSampleRate);
    const double k2 = k * k;
    const double kq = k / q;
    if (shape == biquad::kPeak) {
        const double v = std::pow(10.0, std::fabs(gainDb) / 20.0);
        if (gainDb >= 0.0) {
            const double n = 1.0 / (1.0 + kq + k2);
            return {(1.0 + v * kq + k2) * n, 2.0 * (k2 - 1.0) * n, (1.0 - v * kq + k2) * n, 2.0 * (k2 - 1.0) * n,
                    (1.0 - kq + k2) * n};
        }
        const double n = 1.0 / (1.0 + v * kq + k2);
        return {(1.0 + kq + k2) * n, 2.0 * (k2 - 1.0) * n, (1.0 - kq + k2) * n, 2.0 * (k2 - 1.0) * n,
                (1.0 - v * kq + k2) * n};
    }
    const double n = 1.0 / (1.0 + kq + k2);
    return {k2 * n, 2.0 * k2 * n, k2 * n, 2.0 * (k2 - 1.0) * n, (1.0 - kq + k2) * n};
}

// Designs every sample's set, then runs it through the serial cascade. Arguments as the
// module runs; the pins' scaling is applied as the module does.
template <std::int32_t Shape>
void textbookDesign(benchmark::State& state) {
    const auto sections = static_cast<std::int32_t>(state.range(0));
    const auto frames = static_cast<std::int32_t>(state.range(1));
    std::vector<float> in = noise(frames);
    std::vector<float> frequency = frequencySweep(frames);
    std::vector<float> q(in.size(), static_cast<float>(kQ / 10.0));
    std::vector<float> out(in.size(), 0.0f);
    double s1[4] = {}, s2[4] = {};
    for (auto _ : state) {
        for (std::int32_t i = 0; i < frames; ++i) {
            const biquad::Coefficients c =
                textbookCoefficients(Shape, 10.0 * frequency[static_cast<std::size_t>(i)],
                                     std::max(0.1, 10.0 * q[static_cast<std::size_t>(i)]), kGainDb);
            double y = in[static_cast<std::size_t>(i)];
            for (std::int32_t k = 0; k < sections; ++k) {
                const double x = y;
                y = c.b0 * x + s1[k];
                s1[k] = c.b1 * x - c.a1 * y + s2[k];
                s2[k] = c.b2 * x - c.a2 * y;
            }
            out[static_cast<std::size_t>(i)] = static_cast<float>(y);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportPerSample(state, frames);
}

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

// With --benchmark_repetitions, the fastest repetition too: on a shared machine the
// least disturbed run is the one to compare.
double fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// The instruction set the module's fixed flavour takes, as it asks when it loads.
[[maybe_unused]] const bool kContextAdded = [] {
    benchmark::AddCustomContext("filter instruction set", biquad::processorHasAvx2Fma() && !biquad::sse2Forced()
                                                              ? "AVX2+FMA"
                                                              : "SSE2 (LUM_FILTER_SSE2 or the processor)");
    return true;
}();

void blocks(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgName("block")->Arg(64)->Arg(512)->ComputeStatistics("min", fastest);
}

void sectionsAndBlocks(benchmark::internal::Benchmark* benchmark) {
    benchmark->ComputeStatistics("min", fastest);
    benchmark->ArgNames({"sections", "block"});
    for (std::int64_t block : {64, 512}) {
        for (std::int64_t sections = 1; sections <= 4; ++sections) benchmark->Args({sections, block});
    }
}

}  // namespace

BENCHMARK(fixedFlavour)->Apply(sectionsAndBlocks);
BENCHMARK(modulatedFlavour)->Apply(sectionsAndBlocks);
BENCHMARK(textbookDesign<biquad::kLowPass>)->Apply(sectionsAndBlocks);
BENCHMARK(modulatedFlavourPeak)->Apply(sectionsAndBlocks);
BENCHMARK(textbookDesign<biquad::kPeak>)->Apply(sectionsAndBlocks);
BENCHMARK(minimalLoop<1>)->Apply(blocks);
BENCHMARK(minimalLoop<2>)->Apply(blocks);
BENCHMARK(minimalLoop<3>)->Apply(blocks);
BENCHMARK(minimalLoop<4>)->Apply(blocks);
