// Many instances of every module of the shipped libraries at once, driven as a host with a pool
// of processing threads and a user-interface thread would: each DSP instance created on
// one thread, run on another and released on a third, the GUI instances likewise on
// threads of their own. Under ThreadSanitizer this finds shared state; everywhere, each
// instance must give what the same session gives alone.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "generated/module_libraries.h"
#include "host/dsp_run.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/module_description.h"
#include "host/recording_host.h"
#include "host/signal_generators.h"
#include "support/test_library_path.h"

namespace {

using namespace lumhost;

constexpr int kInstancesPerModule = 4;
constexpr std::int32_t kSampleRate = 44100;
constexpr std::int32_t kBlock = 64;
constexpr std::int64_t kFrames = 6 * kBlock + 17;

// Hands items from one stage's threads to the next's.
template <class Item>
class Handoff {
public:
    void put(Item item) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            items_.push_back(std::move(item));
        }
        ready_.notify_one();
    }
    // Called once every thread that puts has finished.
    void close() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }
    // Empty once closed and drained.
    std::optional<Item> take() {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !items_.empty(); });
        if (items_.empty()) return std::nullopt;
        Item item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Item> items_;
    bool closed_ = false;
};

// What a session left behind: audio outputs and the values sent to the host, as bytes.
using Trace = std::vector<std::uint8_t>;

void append(Trace& trace, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    trace.insert(trace.end(), bytes, bytes + size);
}

struct Library {
    explicit Library(const std::string& name)
        : loaded(lumtest::libraryPath(name)), description(readLibraryDescription(descriptionPath(loaded.path()))) {}
    ModuleLibrary loaded;
    LibraryDescription description;
};

// Every audio input but the first reads the second channel, every control input gets a
// value of its type, so each module has something to compute.
std::vector<PinSetting> settingsFor(const ModuleDescription& module) {
    std::vector<PinSetting> settings;
    bool first = true;
    for (const PinDescription& pin : module.pins) {
        if (pin.direction != lum::kDirectionIn) continue;
        const std::string index = std::to_string(pin.index);
        if (pin.datatype == lum::kDatatypeAudio) {
            settings.push_back({index, first ? "in" : "in:1"});
            first = false;
        } else if (pin.datatype == lum::kDatatypeBool) {
            settings.push_back({index, "1"});
        } else if (pin.datatype == lum::kDatatypeFloat || pin.datatype == lum::kDatatypeInt) {
            settings.push_back({index, std::to_string(pin.index + 2)});
        }
    }
    return settings;
}

// Made before any thread starts: a lazily made one would order the threads that use it.
const std::vector<std::vector<float>> kInput = [] {
    std::vector<float> second = generateSignal("sine:3", kSampleRate, kFrames);
    for (float& sample : second) sample = 50.0f + 40.0f * sample;
    return std::vector<std::vector<float>>{generateSignal("noise", kSampleRate, kFrames), second};
}();

std::unique_ptr<DspRun> createDsp(const Library& library, const ModuleDescription& module) {
    return std::make_unique<DspRun>(library.loaded.factory(), module, kSampleRate, kBlock, settingsFor(module));
}

Trace runDsp(DspRun& run) {
    Trace trace;
    for (const std::vector<float>& channel : run.render(kInput, kFrames)) {
        append(trace, channel.data(), channel.size() * sizeof(float));
    }
    for (const HostCall& call : run.controlOutputs()) append(trace, call.bytes.data(), call.bytes.size());
    return trace;
}

struct GuiInstance {
    RecordingHost host;
    Ref<lum::IMpUserInterface> gui;
};

std::unique_ptr<GuiInstance> createGui(const Library& library, const ModuleDescription& module) {
    auto instance = std::make_unique<GuiInstance>();
    instance->gui = lumhost::createGui(library.loaded.factory(), module.wideId(), instance->host.object()).object;
    return instance;
}

// Sets and notifies every pin in turn, twice over; the trace is what the module wrote.
Trace runGui(GuiInstance& instance, const ModuleDescription& module) {
    for (int round = 0; round < 2; ++round) {
        for (const PinDescription& pin : module.pins) {
            const std::int32_t whole = pin.index * 3 - 4 + round;
            const float fraction = 0.75f * static_cast<float>(whole);
            std::uint8_t bytes[4] = {};
            if (pin.datatype == lum::kDatatypeFloat) std::memcpy(bytes, &fraction, 4);
            if (pin.datatype == lum::kDatatypeInt) std::memcpy(bytes, &whole, 4);
            if (pin.datatype == lum::kDatatypeBool) bytes[0] = static_cast<std::uint8_t>((pin.index + round) % 2);
            instance.gui->setPin(pin.index, 0, valueSize(pin.datatype), bytes);
            instance.gui->notifyPin(pin.index, 0);
        }
    }
    Trace trace;
    for (const HostCall& call : instance.host.allCalls()) {
        append(trace, &call.pinIndex, sizeof call.pinIndex);
        append(trace, call.bytes.data(), call.bytes.size());
    }
    return trace;
}

struct Work {
    const Library* library;
    const ModuleDescription* module;
};

// One instance on its way through the stages.
template <class Instance>
struct Job {
    std::size_t slot;  // of its work, and of its trace
    std::unique_ptr<Instance> instance;
    Trace trace;
};

// Runs every piece of `work` through creating, running and releasing threads and returns
// the traces in the same order. Two lanes of three threads share nothing but the
// libraries, so whatever a module shares between instances meets on unsynchronised
// threads.
template <class Instance, class Create, class Run>
std::vector<Trace> runConcurrently(const std::vector<Work>& work, Create create, Run run) {
    constexpr std::size_t kLanes = 2;
    std::vector<Trace> traces(work.size());
    Handoff<Job<Instance>> created[kLanes];
    Handoff<Job<Instance>> finished[kLanes];
    std::vector<std::thread> threads;
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
        threads.emplace_back([&, lane] {
            for (std::size_t i = lane; i < work.size(); i += kLanes) {
                created[lane].put({i, create(*work[i].library, *work[i].module), {}});
            }
            created[lane].close();
        });
        threads.emplace_back([&, lane] {
            while (std::optional<Job<Instance>> job = created[lane].take()) {
                job->trace = run(*job->instance, *work[job->slot].module);
                finished[lane].put(std::move(*job));
            }
            finished[lane].close();
        });
        threads.emplace_back([&, lane] {
            while (std::optional<Job<Instance>> job = finished[lane].take()) {
                job->instance.reset();
                traces[job->slot] = std::move(job->trace);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    return traces;
}

TEST(ConcurrentInstances, EveryModuleOnSeveralThreadsGivesWhatItGivesAlone) {
    std::deque<Library> libraries;  // the work points into it
    for (const char* name : lumbuild::kShippedLibraries) libraries.emplace_back(name);
    std::vector<Work> dspWork;
    std::vector<Work> guiWork;
    for (int round = 0; round < kInstancesPerModule; ++round) {
        for (const Library& library : libraries) {
            for (const ModuleDescription& module : library.description.modules) {
                (module.side == Side::Dsp ? dspWork : guiWork).push_back({&library, &module});
            }
        }
    }
    std::vector<Trace> dspTraces;
    std::vector<Trace> guiTraces;
    // The user-interface side runs beside the processing side, as in a real host.
    std::thread guiSide([&] {
        guiTraces = runConcurrently<GuiInstance>(
            guiWork, createGui,
            [](GuiInstance& instance, const ModuleDescription& module) { return runGui(instance, module); });
    });
    dspTraces =
        runConcurrently<DspRun>(dspWork, createDsp, [](DspRun& run, const ModuleDescription&) { return runDsp(run); });
    guiSide.join();

    for (std::size_t i = 0; i < dspWork.size(); ++i) {
        const std::unique_ptr<DspRun> alone = createDsp(*dspWork[i].library, *dspWork[i].module);
        EXPECT_EQ(dspTraces[i], runDsp(*alone)) << dspWork[i].module->id;
    }
    for (std::size_t i = 0; i < guiWork.size(); ++i) {
        const std::unique_ptr<GuiInstance> alone = createGui(*guiWork[i].library, *guiWork[i].module);
        ASSERT_TRUE(alone->gui) << guiWork[i].module->id;
        EXPECT_EQ(guiTraces[i], runGui(*alone, *guiWork[i].module)) << guiWork[i].module->id;
    }
}

}  // namespace
