// A QX-DaRovoVIR3 filter driven through the real export and the recording host, and the
// signals and measurements its tests use.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "biquad_filter/filter_pins.h"
#include "host/event_list.h"
#include "host/guarded_buffer.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"
#include "support/test_library_path.h"

namespace filtertest {

using namespace biquad;

// Design values; the pins get a tenth of them.
struct Design {
    std::int32_t shape;
    double hz = 1000.0;
    double q = 0.707;
    double gainDb = 0.0;
    std::int32_t slope = 0;
};

class FilterSession {
public:
    explicit FilterSession(std::int32_t blockSize = 64)
        : blockSize_(blockSize), in(blockSize), frequency(blockSize), q(blockSize), gain(blockSize), out(blockSize) {
        host.setBlockSize(blockSize);
        auto created = lumhost::createDsp(library.factory(), u"QX-DaRovoVIR3", host.object());
        status = created.status;
        plugin = std::move(created.object);
        if (!plugin) return;
        plugin->open();
        plugin->setBuffer(kSignalIn, in.data());
        plugin->setBuffer(kFrequency, frequency.data());
        plugin->setBuffer(kQ, q.data());
        plugin->setBuffer(kGain, gain.data());
        plugin->setBuffer(kSignalOut, out.data());
    }

    // The design's pin values, the shape and slope sent with the next block.
    void setDesign(const Design& design) {
        frequency.fill(static_cast<float>(design.hz / 10.0));
        q.fill(static_cast<float>(design.q / 10.0));
        gain.fill(static_cast<float>(design.gainDb / 10.0));
        events.value(0, kFilterType, design.shape).value(0, kSlope, design.slope);
    }

    // One block with the pending events; returns what the host heard.
    std::vector<lumhost::HostCall> runBlock(std::int32_t count) {
        host.clear();
        plugin->process(count, events.head());
        events.clear();
        return host.exchange();
    }

    // Runs `input` through block by block and returns the output.
    std::vector<float> filter(const std::vector<float>& input) {
        std::vector<float> output;
        output.reserve(input.size());
        for (std::size_t start = 0; start < input.size(); start += static_cast<std::size_t>(blockSize_)) {
            const auto count = static_cast<std::int32_t>(std::min<std::size_t>(blockSize_, input.size() - start));
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), count, in.data());
            runBlock(count);
            output.insert(output.end(), out.data(), out.data() + count);
        }
        return output;
    }

    std::int32_t blockSize_;
    lumhost::ModuleLibrary library{lumtest::libraryPath("QX-DaRovoVIR3")};
    lumhost::RecordingHost host;
    lumhost::GuardedBuffer in;
    lumhost::GuardedBuffer frequency;
    lumhost::GuardedBuffer q;
    lumhost::GuardedBuffer gain;
    lumhost::GuardedBuffer out;
    lumhost::EventList events;
    std::int32_t status = -1;
    lumhost::Ref<lum::IMpPlugin> plugin;
};

// A fresh filter's response to `input`, the signal input streaming from the first
// sample and the frequency too when `modulated`.
inline std::vector<float> respond(const Design& design, const std::vector<float>& input, bool modulated = false) {
    FilterSession session;
    session.setDesign(design);
    session.events.streaming(0, kSignalIn, true);
    if (modulated) session.events.streaming(0, kFrequency, true);
    return session.filter(input);
}

constexpr double kSampleRate = 44100.0;
constexpr double kTwoPi = 6.283185307179586;

inline std::vector<float> sine(double hz, std::size_t length, double amplitude = 0.5) {
    std::vector<float> signal(length);
    for (std::size_t n = 0; n < length; ++n) {
        signal[n] = static_cast<float>(amplitude * std::sin(kTwoPi * hz * static_cast<double>(n) / kSampleRate));
    }
    return signal;
}

inline std::vector<float> impulse(std::size_t length) {
    std::vector<float> signal(length, 0.0f);
    signal[0] = 1.0f;
    return signal;
}

// The amplitude of the `hz` component of `signal` from `from` on, by a least-squares fit
// of a sine and a cosine, so no whole number of periods is needed.
inline double amplitudeAt(const std::vector<float>& signal, double hz, std::size_t from) {
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (std::size_t n = from; n < signal.size(); ++n) {
        const double phase = kTwoPi * hz * static_cast<double>(n) / kSampleRate;
        const double s = std::sin(phase);
        const double c = std::cos(phase);
        ss += s * s;
        sc += s * c;
        cc += c * c;
        ys += signal[n] * s;
        yc += signal[n] * c;
    }
    const double determinant = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / determinant;
    const double b = (yc * ss - ys * sc) / determinant;
    return std::hypot(a, b);
}

// Outputs of an arithmetic that rounds differently from the reference's: at most 1 % of
// them differ, each by one float step or by at most 1e-9 of the reference's RMS.
inline void expectAlikeButForRounding(const std::vector<float>& output, const std::vector<float>& reference,
                                      const ::testing::Message& what) {
    ASSERT_EQ(output.size(), reference.size()) << what;
    double sumOfSquares = 0.0;
    for (float sample : reference) sumOfSquares += double{sample} * sample;
    const double rms = std::sqrt(sumOfSquares / static_cast<double>(std::max<std::size_t>(reference.size(), 1)));
    std::size_t differing = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (output[i] == reference[i]) continue;
        ++differing;
        const bool oneStep = output[i] == std::nextafter(reference[i], output[i]);
        EXPECT_TRUE(oneStep || std::fabs(double{output[i]} - reference[i]) <= 1e-9 * rms)
            << what << ": sample " << i << " is " << output[i] << ", not " << reference[i];
    }
    EXPECT_LE(differing, output.size() / 100) << what;
}

}  // namespace filtertest
