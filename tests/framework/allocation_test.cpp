// Once a module runs, processing and GUI notification allocate nothing. Counted by the
// program-wide allocation counter, which on Linux sees the module libraries' allocations
// too; a Windows DLL carries its own runtime heap, out of reach here.
#include <gtest/gtest.h>

#include "host/allocation_counter.h"
#include "support/probe_session.h"

namespace {

TEST(Allocation, ProcessAndNotifyAllocateNothingOnceRunning) {
#if defined(_WIN32)
    GTEST_SKIP() << "the DLL's allocations do not pass through this program's operator new";
#endif
    lumtest::ProbeSession probe;
    ASSERT_EQ(probe.status, lum::kOk);
    probe.traceSpans();
    auto gui = lumhost::createGui(probe.library.factory(), u"LumTestGuiScale", probe.host.object());
    ASSERT_EQ(gui.status, lum::kOk);

    lumhost::EventList busy;
    busy.graphStart(0)
        .value(0, probe::kValue, 1.0f)
        .streaming(3, probe::kSignal, true)
        .value(7, probe::kCommand, std::int32_t{probe::kOutQuiet | probe::kMaySleep})
        .pointedValue(9, probe::kValue, 2.0f)
        .value(9, probe::kFlag, true)
        .raw(12, lum::kEventPinOther, probe::kValue)
        .value(20, probe::kCommand, std::int32_t{probe::kOutStreaming | probe::kNeverSleep})
        .streaming(30, probe::kSignal, false);
    const lum::HostEvent* events = busy.head();
    probe.plugin->process(64, events);
    probe.host.clear();

    const long before = lumhost::allocationCount();
    for (int block = 0; block < 100; ++block) {
        probe.plugin->process(64, events);
        probe.plugin->process(64, nullptr);
        const float value = static_cast<float>(block);
        gui.object->setPin(gui::kIn, 0, sizeof value, &value);
        gui.object->notifyPin(gui::kIn, 0);
        gui.object->notifyPin(gui::kOut, 0);
        probe.host.clear();
    }
    const long allocated = lumhost::allocationCount() - before;
    EXPECT_EQ(allocated, 0);
}

}  // namespace
