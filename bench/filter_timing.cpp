// Times the filter's fixed flavour for 1 to 4 sections at one block size through the real
// library, beside the minimal loop, with std::chrono alone: it builds for Windows too, where
// Google Benchmark is not to be had, so the 8-register Win32 and 16-register Win64 builds
// can be checked under wine.
// Runs are interleaved and each figure is the best of the repetitions, so a loaded
// machine slows the ratios less than the absolute times.
//
// Usage: filter_timing [LIBRARY [REPETITIONS [BLOCK [ftz]]]]
//   (defaults ../lib/QX-DaRovoVIR3.lum, 30, 64; LUM_FILTER_SSE2=1 forces the SSE2 steps;
//   "ftz" runs as a host that has set flush-to-zero and denormals-are-zero itself, so the
//   module's guard has nothing to write)
#include <xmmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
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

// The samples a run filters, whatever the block size.
constexpr std::int32_t kSamplesPerRun = 204800;
constexpr double kSampleRate = 44100.0;
constexpr double kHz = 1000.0;
constexpr double kQ = 0.707;

std::vector<float> noise(std::int32_t frames) { return lumhost::generateSignal("noise", 44100, frames); }

double nsPerSample(std::chrono::steady_clock::duration elapsed) {
    return std::chrono::duration<double, std::nano>(elapsed).count() / double{kSamplesPerRun};
}

class FixedFilter {
public:
    FixedFilter(lum::IMpFactory& factory, std::int32_t sections, std::int32_t block)
        : block_(block), in_(noise(block)), out_(in_.size()) {
        host_.setBlockSize(block);
        host_.setSampleRate(static_cast<float>(kSampleRate));
        plugin_ = lumhost::createDsp(factory, u"QX-DaRovoVIR3", host_.object()).object;
        if (!plugin_) throw std::runtime_error("filter not created");
        frequency_.assign(in_.size(), static_cast<float>(kHz / 10.0));
        q_.assign(in_.size(), static_cast<float>(kQ / 10.0));
        gain_.assign(in_.size(), 0.0f);
        plugin_->open();
        plugin_->setBuffer(biquad::kSignalIn, in_.data());
        plugin_->setBuffer(biquad::kFrequency, frequency_.data());
        plugin_->setBuffer(biquad::kQ, q_.data());
        plugin_->setBuffer(biquad::kGain, gain_.data());
        plugin_->setBuffer(biquad::kSignalOut, out_.data());
        lumhost::EventList events;
        events.graphStart(0)
            .value(0, biquad::kFilterType, std::int32_t{biquad::kLowPass})
            .value(0, biquad::kSlope, sections - 1)
            .streaming(0, biquad::kSignalIn, true);
        plugin_->process(block, events.head());
    }
    double run() {
        const auto begin = std::chrono::steady_clock::now();
        for (std::int32_t b = 0; b < kSamplesPerRun / block_; ++b) plugin_->process(block_, nullptr);
        return nsPerSample(std::chrono::steady_clock::now() - begin);
    }

private:
    std::int32_t block_;
    lumhost::RecordingHost host_;
    lumhost::Ref<lum::IMpPlugin> plugin_;
    std::vector<float> in_, frequency_, q_, gain_, out_;
};

template <std::int32_t Sections>
double minimalRun(const std::vector<float>& in, std::vector<float>& out, std::int32_t block) {
    static double states[2 * Sections] = {};
    const biquad::Coefficients c = biquad::calcCoefficients(biquad::kLowPass, kHz, kQ, 0.0, kSampleRate);
    const auto begin = std::chrono::steady_clock::now();
    for (std::int32_t b = 0; b < kSamplesPerRun / block; ++b) {
        bench::minimalCascade<Sections>(c, states, in.data(), out.data(), block);
        // Keeps the blocks from being merged or dropped.
        asm volatile("" : : "r"(out.data()) : "memory");
    }
    return nsPerSample(std::chrono::steady_clock::now() - begin);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string path = argc > 1 ? argv[1] : (lumhost::libraryDirectory() / "QX-DaRovoVIR3.lum").string();
        const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
        const std::int32_t block = argc > 3 ? std::clamp(std::atoi(argv[3]), 4, 4096) : 64;
        const bool hostFlushes = argc > 4 && std::string(argv[4]) == "ftz";
        if (hostFlushes) _mm_setcsr(_mm_getcsr() | 0x8040u);
        lumhost::ModuleLibrary library(path);
        std::vector<std::unique_ptr<FixedFilter>> filters;
        for (std::int32_t sections = 1; sections <= 4; ++sections) {
            filters.push_back(std::make_unique<FixedFilter>(library.factory(), sections, block));
        }
        const std::vector<float> in = noise(block);
        std::vector<float> out(in.size());
        double ours[4], minimal[4];
        std::fill(std::begin(ours), std::end(ours), 1e30);
        std::fill(std::begin(minimal), std::end(minimal), 1e30);
        for (int r = 0; r < repetitions; ++r) {
            for (int s = 0; s < 4; ++s) ours[s] = std::min(ours[s], filters[static_cast<std::size_t>(s)]->run());
            minimal[0] = std::min(minimal[0], minimalRun<1>(in, out, block));
            minimal[1] = std::min(minimal[1], minimalRun<2>(in, out, block));
            minimal[2] = std::min(minimal[2], minimalRun<3>(in, out, block));
            minimal[3] = std::min(minimal[3], minimalRun<4>(in, out, block));
        }
        // The module asks the same question when it loads.
        const bool avx2 = biquad::processorHasAvx2Fma() && !biquad::sse2Forced();
        std::printf("fixed flavour, low-pass 1 kHz Q 0.707, block %d, best of %d runs of %d samples (%d-bit, %s%s)\n",
                    block, repetitions, kSamplesPerRun, static_cast<int>(sizeof(void*) * 8), avx2 ? "AVX2+FMA" : "SSE2",
                    hostFlushes ? ", host set FTZ/DAZ" : "");
        std::printf("%8s %10s %10s %12s %14s\n", "sections", "ours ns/s", "minimal", "ours/minimal", "ours/1 section");
        for (int s = 0; s < 4; ++s) {
            std::printf("%8d %10.3f %10.3f %12.2f %14.2f\n", s + 1, ours[s], minimal[s], ours[s] / minimal[s],
                        ours[s] / ours[0]);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "filter_timing: %s\n", error.what());
        return 1;
    }
}
