// KEL_MATH audio modules in ns/sample through the real library, and the four-wide
// sub-process loops beside the one-sample loops they replace.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "host/event_list.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"
#include "math_modules/math_functions.h"

namespace {

constexpr std::int32_t kMaxBlock = 1024;

// Inputs in [-1, 1] with divisors kept away from zero.
std::vector<float> samples(unsigned seed, bool divisor) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> out(kMaxBlock);
    for (float& x : out) {
        x = value(random);
        if (divisor && x > -0.01f && x < 0.01f) x = 0.5f;
    }
    return out;
}

struct AudioModule {
    const char16_t* id;
    std::vector<std::int32_t> inputs;
    std::int32_t out;
};

// Time per sample, printed with its SI prefix (ns, ps).
void countSamples(benchmark::State& state, std::int64_t perIteration) {
    state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations() * perIteration),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Every input streaming, so the module's sub-process runs on every whole block.
void moduleBlock(benchmark::State& state, const AudioModule& module) {
    const std::int32_t block = static_cast<std::int32_t>(state.range(0));
    lumhost::ModuleLibrary library((lumhost::libraryDirectory() / "KEL_MATH.lum").string());
    lumhost::RecordingHost host;
    auto created = lumhost::createDsp(library.factory(), module.id, host.object());
    if (created.status != lum::kOk) {
        state.SkipWithError("module not created");
        return;
    }
    lum::IMpPlugin& plugin = *created.object.get();
    std::vector<std::vector<float>> inputs;
    for (std::size_t i = 0; i < module.inputs.size(); ++i)
        inputs.push_back(samples(static_cast<unsigned>(i + 1), i == 1));
    std::vector<float> out(kMaxBlock);
    for (std::size_t i = 0; i < module.inputs.size(); ++i) plugin.setBuffer(module.inputs[i], inputs[i].data());
    plugin.setBuffer(module.out, out.data());
    lumhost::EventList start;
    for (std::int32_t pin : module.inputs) start.streaming(0, pin, true);
    plugin.process(block, start.head());
    for (auto _ : state) {
        plugin.process(block, nullptr);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, block);
}

const AudioModule kModules[] = {
    {u"KelMathLimitAudio", {0, 1, 2}, 3}, {u"KelMathMinAudio", {1, 2}, 0},      {u"KelMathMaxAudio", {1, 2}, 0},
    {u"KelMathSubtractAudio", {0, 1}, 2}, {u"KelMathMultiplyAudio", {0, 1}, 2}, {u"KelMathDivideAudio", {0, 1}, 2},
    {u"KelMathFloorAudio", {0}, 1},       {u"KelMathCeilAudio", {0}, 1},        {u"KelMathNearestAudio", {0}, 1},
    {u"KelMathAbsAudio", {0}, 1},         {u"KelMathInvertAudio", {0}, 1},
};

const int kRegistered = [] {
    for (const AudioModule& module : kModules) {
        const std::u16string wide(module.id);
        const std::string name = "Module/" + std::string(wide.begin() + 7, wide.end());
        benchmark::RegisterBenchmark(name.c_str(), moduleBlock, module)->Arg(64)->Arg(kMaxBlock);
    }
    return 0;
}();

using UnarySpan = void (*)(const float*, float*, std::int32_t, std::int32_t);
using BinarySpan = void (*)(const float*, const float*, float*, std::int32_t, std::int32_t);

void unaryLoop(benchmark::State& state, UnarySpan span) {
    const std::int32_t block = static_cast<std::int32_t>(state.range(0));
    const std::vector<float> x = samples(1, false);
    std::vector<float> out(kMaxBlock);
    for (auto _ : state) {
        span(x.data(), out.data(), 0, block);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, block);
}

void binaryLoop(benchmark::State& state, BinarySpan span) {
    const std::int32_t block = static_cast<std::int32_t>(state.range(0));
    const std::vector<float> a = samples(1, false);
    const std::vector<float> b = samples(2, true);
    std::vector<float> out(kMaxBlock);
    for (auto _ : state) {
        span(a.data(), b.data(), out.data(), 0, block);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, block);
}

// The compiler vectorizes some one-sample loops by itself (Divide, Nearest); this copy
// is kept to one sample per step, as on a processor without the vector path.
#if defined(__GNUC__) && !defined(__clang__)
#define KELMATH_ONE_AT_A_TIME __attribute__((optimize("no-tree-vectorize")))
#else
#define KELMATH_ONE_AT_A_TIME
#endif

template <float (*Formula)(float)>
KELMATH_ONE_AT_A_TIME void strictSpan(const float* x, float* out, std::int32_t offset, std::int32_t frames) {
#if defined(__clang__)
#pragma clang loop vectorize(disable) interleave(disable)
#endif
    for (std::int32_t i = offset; i < offset + frames; ++i) out[i] = Formula(x[i]);
}
template <float (*Formula)(float, float)>
KELMATH_ONE_AT_A_TIME void strictSpan(const float* a, const float* b, float* out, std::int32_t offset,
                                      std::int32_t frames) {
#if defined(__clang__)
#pragma clang loop vectorize(disable) interleave(disable)
#endif
    for (std::int32_t i = offset; i < offset + frames; ++i) out[i] = Formula(a[i], b[i]);
}

using namespace kelmath;

BENCHMARK_CAPTURE(binaryLoop, Divide_OneSample, &scalarSpan<&audioDivide>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(binaryLoop, Divide_OneSampleStrict, &strictSpan<&audioDivide>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Floor_OneSample, &scalarSpan<&audioFloor>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Floor_OneSampleStrict, &strictSpan<&audioFloor>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Ceil_OneSample, &scalarSpan<&audioCeil>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Ceil_OneSampleStrict, &strictSpan<&audioCeil>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Nearest_OneSample, &scalarSpan<&audioNearest>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Nearest_OneSampleStrict, &strictSpan<&audioNearest>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(binaryLoop, Divide_FourWide, &vectorSpan<&audioDivide4, &audioDivide>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Floor_FourWide, &vectorSpan<&audioFloor4, &audioFloor>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Ceil_FourWide, &vectorSpan<&audioCeil4, &audioCeil>)->Arg(64)->Arg(kMaxBlock);
BENCHMARK_CAPTURE(unaryLoop, Nearest_FourWide, &vectorSpan<&audioNearest4, &audioNearest>)->Arg(64)->Arg(kMaxBlock);

}  // namespace
