// The framework's own costs through real modules: a block with no events, event groups
// and events in process, one value event through onSetPins to the host's setPin, the
// sleep step, and a GUI setPin + notifyPin round trip. The recording host's own work
// (one vector append per call) is included, as any host's would be.
#include <benchmark/benchmark.h>

#include <string>

#include "host/event_list.h"
#include "host/guarded_buffer.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"

namespace {

constexpr std::int32_t kBlock = 64;

std::string libraryPath(const char* name) { return (lumhost::libraryDirectory() / name).string(); }

struct DspFixture {
    explicit DspFixture(const char16_t* id, const char* libraryName = "KEL_MATH.lum")
        : library(libraryPath(libraryName)) {
        auto made = lumhost::createDsp(library.factory(), id, host.object());
        plugin = std::move(made.object);
        lumhost::EventList start;
        start.graphStart(0);
        plugin->process(kBlock, start.head());
    }
    lumhost::ModuleLibrary library;
    lumhost::RecordingHost host;
    lumhost::Ref<lum::IMpPlugin> plugin;
};

// A control module with no events: the sleep step asks the host to sleep at once.
void EmptyBlock(benchmark::State& state) {
    DspFixture fixture(u"KelMathAddDspFloat");
    for (auto _ : state) {
        fixture.plugin->process(kBlock, nullptr);
        fixture.host.clear();
    }
}
BENCHMARK(EmptyBlock);

// N value events at N different times: N groups, N onSetPins, N sends.
void EventGroups(benchmark::State& state) {
    const auto groups = static_cast<std::int32_t>(state.range(0));
    DspFixture fixture(u"KelMathAddDspFloat");
    lumhost::EventList events[2];
    for (int list = 0; list < 2; ++list) {
        for (std::int32_t i = 0; i < groups; ++i) {
            events[list].value(i * (kBlock / groups), 0, static_cast<float>(list * 100 + i));
        }
    }
    const lum::HostEvent* heads[2] = {events[0].head(), events[1].head()};
    std::int64_t blocks = 0;
    for (auto _ : state) {
        fixture.plugin->process(kBlock, heads[blocks++ & 1]);
        fixture.host.clear();
    }
    state.counters["per_event"] = benchmark::Counter(static_cast<double>(blocks * groups),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(EventGroups)->Arg(1)->Arg(4)->Arg(16);

// N value events at one time: one group, one onSetPins, one send.
void EventsInOneGroup(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    DspFixture fixture(u"KelMathAddDspFloat");
    lumhost::EventList events[2];
    for (int list = 0; list < 2; ++list) {
        for (std::int32_t i = 0; i < count; ++i) events[list].value(8, i % 2, static_cast<float>(list * 100 + i));
    }
    const lum::HostEvent* heads[2] = {events[0].head(), events[1].head()};
    std::int64_t blocks = 0;
    for (auto _ : state) {
        fixture.plugin->process(kBlock, heads[blocks++ & 1]);
        fixture.host.clear();
    }
    state.counters["per_event"] = benchmark::Counter(static_cast<double>(blocks * count),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(EventsInOneGroup)->Arg(1)->Arg(4)->Arg(16);

// An audio module whose input went quiet: the countdown runs its sub-process, then sleeps.
void SleepStepCountdown(benchmark::State& state) {
    DspFixture fixture(u"KelMathAbsAudio");
    lumhost::GuardedBuffer in(kBlock), out(kBlock);
    fixture.plugin->setBuffer(0, in.data());
    fixture.plugin->setBuffer(1, out.data());
    lumhost::EventList quiet;
    quiet.streaming(0, 0, false);
    for (auto _ : state) {
        fixture.plugin->process(kBlock, quiet.head());  // reloads the countdown, runs it out
        fixture.plugin->process(kBlock, nullptr);       // asks to sleep at once
        fixture.host.clear();
    }
}
BENCHMARK(SleepStepCountdown);

void GuiRoundTrip(benchmark::State& state, const char16_t* id, std::int32_t pin) {
    lumhost::ModuleLibrary library(libraryPath("KEL_MATH.lum"));
    lumhost::RecordingHost host;
    auto gui = lumhost::createGui(library.factory(), id, host.object());
    float value = 0.0f;
    for (auto _ : state) {
        value += 1.0f;  // a new value every time, so a result is written
        gui.object->setPin(pin, 0, sizeof value, &value);
        gui.object->notifyPin(pin, 0);
        host.clear();
    }
}
BENCHMARK_CAPTURE(GuiRoundTrip, add_operand, u"KelMathAddGuiFloat", 0);
BENCHMARK_CAPTURE(GuiRoundTrip, add_solved_back, u"KelMathAddGuiFloat", 2);
BENCHMARK_CAPTURE(GuiRoundTrip, limit_value, u"KelMathLimitGuiFloat", 0);

}  // namespace
