#include <algorithm>
#include <map>

#include "coverage_matrix.h"
#include "event_list.h"
#include "guarded_buffer.h"
#include "instances.h"
#include "ordinary_values.h"
#include "pin_value.h"
#include "recording_host.h"
#include "validation_families.h"

namespace lumhost {
namespace {

constexpr std::int64_t kSessionSamples = 6000;
constexpr std::int32_t kEventsPerSession = 40;

// An event at a time of the whole session.
struct ScriptEvent {
    std::int64_t time;
    enum class Kind { Value, Streaming, GraphStart } kind;
    std::int32_t pinIndex = 0;
    PinValue value;
    bool streaming = false;
};

// One session written down before it is played: every input sample and event.
struct Script {
    std::map<std::int32_t, std::vector<float>> audio;
    std::vector<ScriptEvent> events;  // in time order
};

// What the module gave, in the session's own time.
struct Rendering {
    std::map<std::int32_t, std::vector<float>> outputs;
    std::vector<HostCall> calls;  // setPin and setPinStreaming, positions in session time
};

PinValue randomValue(const PinDescription& pin, std::mt19937& random) {
    if (pin.datatype == lum::kDatatypeFloat) return PinValue::of(ordinaryValue(random, kOrdinaryMost));
    if (pin.datatype == lum::kDatatypeInt) {
        return PinValue::of(static_cast<std::int32_t>(random() % (2 * kOrdinaryIntMost + 1)) - kOrdinaryIntMost);
    }
    return PinValue::of(random() % 2 == 0);
}

// Signals stream throughout: a module comes to rest and sleeps at block boundaries by the
// framework's design, so going quiet is no part of the comparison. Parameters change at
// events only, announced as not streaming, as a module may read them once per span.
Script writeScript(const ModuleDescription& module, std::mt19937& random) {
    Script script;
    std::vector<const PinDescription*> values;
    std::vector<std::int32_t> signals, parameters;
    script.events.push_back({0, ScriptEvent::Kind::GraphStart, 0, {}, false});
    for (const PinDescription& pin : module.pins) {
        if (pin.direction != lum::kDirectionIn || pin.datatype == lum::kDatatypeMidi) continue;
        if (pin.datatype == lum::kDatatypeAudio) {
            (isParameterInput(pin) ? parameters : signals).push_back(pin.index);
            script.events.push_back({0, ScriptEvent::Kind::Streaming, pin.index, {}, !isParameterInput(pin)});
            continue;
        }
        values.push_back(&pin);
        script.events.push_back({0, ScriptEvent::Kind::Value, pin.index, randomValue(pin, random), false});
    }
    std::vector<std::int64_t> times(kEventsPerSession);
    for (std::int64_t& time : times) time = 1 + static_cast<std::int64_t>(random() % (kSessionSamples - 1));
    std::sort(times.begin(), times.end());
    for (const std::int64_t time : times) {
        const std::uint32_t kind = random() % 16;
        if (kind < 10 && !values.empty()) {
            const PinDescription& pin = *values[random() % values.size()];
            script.events.push_back({time, ScriptEvent::Kind::Value, pin.index, randomValue(pin, random), false});
        } else if (kind < 15 && !parameters.empty()) {
            const std::int32_t pin = parameters[random() % parameters.size()];
            script.events.push_back({time, ScriptEvent::Kind::Streaming, pin, {}, false});
        } else if (kind == 15) {
            script.events.push_back({time, ScriptEvent::Kind::GraphStart, 0, {}, false});
        }
    }
    for (const std::int32_t pin : signals) {
        std::vector<float>& samples = script.audio[pin];
        for (std::int64_t t = 0; t < kSessionSamples; ++t) samples.push_back(ordinaryValue(random, 1.0f));
    }
    for (const std::int32_t pin : parameters) {
        std::vector<float>& samples = script.audio[pin];
        float held = defaultPinValue(*module.pinAt(pin)).asFloat();
        auto next = script.events.begin();
        for (std::int64_t t = 0; t < kSessionSamples; ++t) {
            for (; next != script.events.end() && next->time <= t; ++next) {
                if (next->kind == ScriptEvent::Kind::Streaming && next->pinIndex == pin && t > 0)
                    held = ordinaryValue(random, 1.0f);
            }
            samples.push_back(held);
        }
    }
    return script;
}

// Plays `script` through a fresh instance in blocks `nextBlock` chooses: given the time and
// the time of the first event after it, the block's length.
template <class BlockChooser>
bool render(const ModuleLibrary& library, const ModuleDescription& module, const Script& script, float sampleRate,
            std::int32_t hostBlockSize, BlockChooser nextBlock, Rendering& rendering) {
    RecordingHost host;
    host.setBlockSize(hostBlockSize);
    host.setSampleRate(sampleRate);
    Ref<lum::IMpPlugin> plugin = createDsp(library.factory(), module.wideId(), host.object()).object;
    if (!plugin) return false;
    plugin->open();
    std::map<std::int32_t, GuardedBuffer> buffers;
    std::map<std::int32_t, float> held;
    for (const PinDescription& pin : module.pins) {
        if (pin.datatype != lum::kDatatypeAudio) continue;
        plugin->setBuffer(pin.index, buffers.emplace(pin.index, GuardedBuffer(hostBlockSize)).first->second.data());
        if (pin.direction == lum::kDirectionOut) {
            rendering.outputs[pin.index].resize(static_cast<std::size_t>(kSessionSamples));
            held[pin.index] = 0.0f;
        }
    }
    bool asleep = false;
    auto event = script.events.begin();
    for (std::int64_t at = 0; at < kSessionSamples;) {
        const auto later = std::find_if(event, script.events.end(), [&](const ScriptEvent& e) { return e.time > at; });
        const std::int64_t nextEvent = later == script.events.end() ? kSessionSamples : later->time;
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(
            {nextBlock(at, nextEvent), kSessionSamples - at, static_cast<std::int64_t>(hostBlockSize)}));
        EventList events;
        for (; event != script.events.end() && event->time < at + count; ++event) {
            const auto time = static_cast<std::int32_t>(event->time - at);
            if (event->kind == ScriptEvent::Kind::Value) {
                events.bytes(time, event->pinIndex, event->value.size, event->value.bytes.data(), false);
            } else if (event->kind == ScriptEvent::Kind::Streaming) {
                events.streaming(time, event->pinIndex, event->streaming);
            } else {
                events.graphStart(time);
            }
        }
        const auto from = static_cast<std::size_t>(at);
        if (!asleep || !events.empty()) {
            for (auto& [pin, buffer] : buffers) {
                const auto input = script.audio.find(pin);
                if (input != script.audio.end()) {
                    std::copy_n(input->second.begin() + static_cast<std::ptrdiff_t>(from), count, buffer.data());
                } else {
                    std::fill_n(buffer.data(), count, GuardedBuffer::unwrittenMark());
                }
            }
            host.clear();
            plugin->process(count, events.head());
            for (HostCall call : host.exchange()) {
                if (call.kind != HostCallKind::SetPin && call.kind != HostCallKind::SetPinStreaming) continue;
                call.position += static_cast<std::int32_t>(at);
                rendering.calls.push_back(call);
            }
            asleep = host.sleepCount() > 0;
            for (auto& [pin, last] : held) {
                const GuardedBuffer& buffer = buffers.at(pin);
                for (std::int32_t i = 0; i < count; ++i) {
                    if (!sameBits(buffer[i], GuardedBuffer::unwrittenMark())) last = buffer[i];
                    rendering.outputs[pin][from + static_cast<std::size_t>(i)] = last;
                }
            }
        } else {
            // A sleeping module is not called: its outputs hold.
            for (auto& [pin, last] : held) std::fill_n(rendering.outputs[pin].begin() + from, count, last);
        }
        at += count;
    }
    return true;
}

// Bit for bit, but for the sign of zero: a module's four-wide and one-sample paths may
// differ there by design (KEL_MATH's Floor and Ceil), and which path a sample takes
// depends on the span.
bool sameSample(float a, float b) { return sameBits(a, b) || (a == 0.0f && b == 0.0f); }

// The first difference between two renderings, or nothing.
std::string difference(const Rendering& a, const Rendering& b) {
    for (const auto& [pin, samples] : a.outputs) {
        const std::vector<float>& other = b.outputs.at(pin);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (!sameSample(samples[i], other[i])) {
                return "output pin " + std::to_string(pin) + " differs from sample " + std::to_string(i);
            }
        }
    }
    const auto [left, right] = std::mismatch(a.calls.begin(), a.calls.end(), b.calls.begin(), b.calls.end());
    if (left == a.calls.end() && right == b.calls.end()) return {};
    const HostCall& first = left != a.calls.end() ? *left : *right;
    return "host calls differ from the call on pin " + std::to_string(first.pinIndex) + " at sample " +
           std::to_string(first.position);
}

}  // namespace

void checkBlockSplit(const ModuleLibrary& library, const ModuleDescription& module, std::mt19937& random,
                     const ValidationOptions& options, VerdictRecorder& verdict) {
    const std::optional<CoverageMatrix> matrix = coverageMatrix(options);
    const std::vector<std::int32_t>& sizes = matrix ? matrix->blockSizes : commonBlockSizes();
    const std::int32_t sessions = std::max(1, options.strictness / 2);
    for (std::int32_t session = 0; session < sessions; ++session) {
        const float sampleRate = matrix ? matrix->sampleRates[random() % matrix->sampleRates.size()] : 44100.0f;
        const std::int32_t steady = sizes[random() % sizes.size()];
        const std::int32_t most = sizes[random() % sizes.size()];
        const Script script = writeScript(module, random);
        const std::uint32_t splitSeed = random();
        Rendering inSteadyBlocks, splitAtEvents;
        verdict.at("session " + std::to_string(session + 1) + ", blocks of " + std::to_string(steady) +
                   " against blocks of 1 to " + std::to_string(most) + " split at every event");
        // A host that cuts each block at the next event, with lengths of its own choosing.
        std::mt19937 lengths(splitSeed);
        const auto splitAtEachEvent = [&](std::int64_t at, std::int64_t nextEvent) {
            const std::int64_t length = 1 + static_cast<std::int64_t>(lengths() % static_cast<std::uint32_t>(most));
            return std::min(length, nextEvent - at);
        };
        const std::int32_t hostBlockSize = std::max(steady, most);
        const bool rendered =
            render(
                library, module, script, sampleRate, hostBlockSize,
                [&](std::int64_t, std::int64_t) { return static_cast<std::int64_t>(steady); }, inSteadyBlocks) &&
            render(library, module, script, sampleRate, hostBlockSize, splitAtEachEvent, splitAtEvents);
        if (!rendered) return;
        const std::string problem = difference(inSteadyBlocks, splitAtEvents);
        verdict.check(CheckId::DspBlockSplit, problem.empty(), problem);
    }
}

}  // namespace lumhost
