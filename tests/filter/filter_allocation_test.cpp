// Once created and past its first block, the filter allocates nothing: not in either
// flavour, not when spans split a block, not when the input stops or turns non-finite.
// Counted by the program-wide allocation counter, which on Linux sees the library's
// allocations too.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "filter_session.h"
#include "host/allocation_counter.h"

namespace {

using namespace filtertest;

constexpr std::int32_t kBlock = 64;

// A filter made ready before counting: its buffers filled and both event lists built.
struct Prepared {
    std::unique_ptr<FilterSession> session;
    lumhost::EventList start;
    lumhost::EventList change;
};

std::unique_ptr<Prepared> prepare(std::int32_t shape, std::int32_t slope, bool modulated, bool stopInput,
                                  bool nonFinite) {
    auto prepared = std::make_unique<Prepared>();
    prepared->session = std::make_unique<FilterSession>(kBlock);
    FilterSession& session = *prepared->session;
    for (std::int32_t i = 0; i < kBlock; ++i) {
        session.in[i] = nonFinite && i == 9 ? NAN : std::sin(0.3f * static_cast<float>(i));
        session.frequency[i] = 100.0f + 3.0f * static_cast<float>(i);
        session.q[i] = 0.07f;
        session.gain[i] = -0.6f;
    }
    prepared->start.graphStart(0)
        .value(0, kFilterType, shape)
        .value(0, kSlope, slope)
        .streaming(0, kSignalIn, true)
        .streaming(0, kFrequency, modulated)
        .streaming(0, kQ, modulated);
    // Spans of 7, 1, 2 and 54 samples, the short ones shorter than the cascade.
    prepared->change.value(7, kSlope, 3 - slope).value(8, kFilterType, (shape + 3) % 8).value(10, kSlope, slope);
    if (stopInput) prepared->change.streaming(10, kSignalIn, false);
    prepared->start.head();
    prepared->change.head();
    return prepared;
}

void runRound(std::vector<std::unique_ptr<Prepared>>& filters) {
    for (auto& prepared : filters) {
        lum::IMpPlugin& plugin = *prepared->session->plugin.get();
        plugin.process(kBlock, prepared->start.head());
        plugin.process(kBlock, nullptr);
        plugin.process(kBlock, prepared->change.head());
        plugin.process(kBlock, nullptr);
        plugin.process(kBlock, nullptr);
        prepared->session->host.clear();
    }
}

TEST(FilterAllocation, RunningFilterAllocatesNothing) {
    if (!lumhost::allocationsVisible()) GTEST_SKIP() << "this build cannot see the library's allocations";
    std::vector<std::unique_ptr<Prepared>> filters;
    for (std::int32_t shape = 0; shape <= 7; ++shape) {
        for (std::int32_t slope = 0; slope <= 3; ++slope) {
            for (const bool modulated : {false, true}) {
                filters.push_back(prepare(shape, slope, modulated, shape == 2, shape == 5));
                ASSERT_TRUE(filters.back()->session->plugin) << "shape " << shape;
            }
        }
    }
    // The first round may grow the recording host's lists; it is not counted.
    runRound(filters);
    const long before = lumhost::allocationCount();
    for (int round = 0; round < 10; ++round) runRound(filters);
    EXPECT_EQ(lumhost::allocationCount() - before, 0);
}

// The count reaches this test at all: an allocation it makes is seen.
TEST(FilterAllocation, CounterSeesAnAllocation) {
    if (!lumhost::allocationsVisible()) GTEST_SKIP() << "this build cannot see the library's allocations";
    const long before = lumhost::allocationCount();
    auto made = std::make_unique<std::vector<int>>(100);
    EXPECT_GT(lumhost::allocationCount(), before);
    EXPECT_EQ(made->size(), 100u);
}

}  // namespace
