// Once created, no KEL_MATH module allocates: not in its sub-processes, not in onSetPins,
// not in its GUI handlers. Counted by the
// program-wide allocation counter, which on Linux sees the library's allocations too.
#include <gtest/gtest.h>

#include <memory>

#include "framework/pin_values.h"
#include "host/allocation_counter.h"
#include "host/module_description.h"
#include "math_session.h"

namespace {

struct GuiValue {
    std::int32_t pin;
    mathtest::PinValue value;
};

// A module made ready before counting: buffers given, events built.
struct Prepared {
    lumhost::Ref<lum::IMpPlugin> dsp;
    lumhost::Ref<lum::IMpUserInterface> gui;
    std::vector<std::unique_ptr<lumhost::GuardedBuffer>> buffers;
    lumhost::EventList start;
    lumhost::EventList stop;
    std::vector<GuiValue> guiValues;
};

mathtest::PinValue valueFor(const lumhost::PinDescription& pin, int round) {
    switch (pin.datatype) {
        case lum::kDatatypeBool: return mathtest::PinValue::of(round % 2 == 0);
        case lum::kDatatypeInt: return mathtest::PinValue::of(std::int32_t{round * 7 - 3});
        default: return mathtest::PinValue::of(static_cast<float>(round) * 0.37f - 0.5f);
    }
}

TEST(Allocation, RunningModulesAllocateNothing) {
#if defined(_WIN32)
    GTEST_SKIP() << "the DLL's allocations do not pass through this program's operator new";
#endif
    lumhost::ModuleLibrary library(mathtest::libraryPath());
    const lumhost::LibraryDescription& description = mathtest::libraryDescription();
    lumhost::RecordingHost host;
    std::vector<Prepared> modules(description.modules.size());
    for (std::size_t m = 0; m < modules.size(); ++m) {
        const lumhost::ModuleDescription& module = description.modules[m];
        Prepared& prepared = modules[m];
        if (module.side == lumhost::Side::Gui) {
            prepared.gui = lumhost::createGui(library.factory(), module.wideId(), host.object()).object;
            ASSERT_TRUE(prepared.gui) << module.id;
            for (int round = 0; round < 4; ++round) {
                for (const auto& pin : module.pins) prepared.guiValues.push_back({pin.index, valueFor(pin, round)});
            }
            continue;
        }
        prepared.dsp = lumhost::createDsp(library.factory(), module.wideId(), host.object()).object;
        ASSERT_TRUE(prepared.dsp) << module.id;
        for (const auto& pin : module.pins) {
            prepared.buffers.push_back(std::make_unique<lumhost::GuardedBuffer>(64, 0.3f));
            prepared.dsp->setBuffer(pin.index, prepared.buffers.back()->data());
            if (pin.direction != lum::kDirectionIn) continue;
            if (pin.datatype == lum::kDatatypeAudio) {
                prepared.start.streaming(5, pin.index, true);
                prepared.stop.streaming(9, pin.index, false);
            } else {
                const mathtest::PinValue value = valueFor(pin, 1);
                prepared.start.bytes(5, pin.index, value.size, value.bytes.data(), false);
                const mathtest::PinValue other = valueFor(pin, 2);
                prepared.stop.bytes(9, pin.index, other.size, other.bytes.data(), true);
            }
        }
        prepared.start.graphStart(5);
        prepared.start.head();
        prepared.stop.head();
    }

    const long before = lumhost::allocationCount();
    for (int block = 0; block < 20; ++block) {
        for (Prepared& prepared : modules) {
            if (prepared.dsp) {
                prepared.dsp->process(64, prepared.start.head());
                prepared.dsp->process(64, nullptr);
                prepared.dsp->process(64, prepared.stop.head());
                prepared.dsp->process(64, nullptr);
            } else {
                for (const GuiValue& set : prepared.guiValues) {
                    prepared.gui->setPin(set.pin, 0, set.value.size, set.value.bytes.data());
                    prepared.gui->notifyPin(set.pin, 0);
                }
            }
        }
        host.clear();
    }
    const long allocated = lumhost::allocationCount() - before;
    EXPECT_EQ(allocated, 0);
}

}  // namespace
