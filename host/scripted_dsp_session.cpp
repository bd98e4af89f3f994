#include "scripted_dsp_session.h"

#include <algorithm>
#include <random>

#include "call_check.h"
#include "event_list.h"
#include "instances.h"
#include "numbers.h"
#include "random_pin_value.h"

namespace lumhost {
namespace {

std::int32_t uniform(std::mt19937& random, std::int32_t low, std::int32_t high) {
    return std::uniform_int_distribution<std::int32_t>(low, high)(random);
}

class ScriptWriter {
public:
    ScriptWriter(const ModuleDescription& module, std::uint32_t seed) : random_(seed) {
        for (const PinDescription& pin : module.pins) {
            if (pin.direction != lum::kDirectionIn) continue;
            if (pin.datatype == lum::kDatatypeAudio) {
                streaming_[pin.index] = false;
                held_[pin.index] = 0.0f;
            } else if (pin.datatype != lum::kDatatypeMidi) {
                controls_.push_back(&pin);
            }
        }
    }

    SessionScript write(const ScriptShape& shape) {
        static const std::int32_t kBlockSizes[] = {16, 64, 100, 512};
        static const float kSampleRates[] = {44100.0f, 48000.0f, 96000.0f};
        SessionScript script{kBlockSizes[random_() % 4], kSampleRates[random_() % 3], {}};
        const std::int32_t crowded = shape.crowdedBlock ? shape.blocks / 2 : -1;
        for (std::int32_t b = 0; b < shape.blocks; ++b) {
            ScriptedBlock block{uniform(random_, 1, script.blockSize), {}, {}};
            if (b == 0) {
                block.events.push_back({0, lum::kEventGraphStart, 0, {}});
                for (const PinDescription* pin : controls_) addValue(block, 0, *pin);
                for (auto& [index, streaming] : streaming_) {
                    block.events.push_back(
                        {0,
                         random_() % 4 != 0 ? lum::kEventPinStreamingStart : lum::kEventPinStreamingStop,
                         index,
                         {}});
                }
            } else {
                const std::int32_t events = b == crowded ? lum::kMaxEventsPerProcess + lum::kMaxEventsPerProcess / 4
                                            : random_() % 3 == 0 ? uniform(random_, 1, 4)
                                                                 : 0;
                std::vector<std::int32_t> times(static_cast<std::size_t>(events));
                for (std::int32_t& time : times) {
                    time = shape.eventsAtLastSample ? block.count - 1 : uniform(random_, 0, block.count - 1);
                }
                std::sort(times.begin(), times.end());
                for (std::int32_t time : times) addRandomEvent(block, time);
            }
            fillInputs(block);
            script.blocks.push_back(std::move(block));
        }
        return script;
    }

private:
    void addValue(ScriptedBlock& block, std::int32_t time, const PinDescription& pin) {
        if (const auto value = randomPinValue(pin, random_)) {
            block.events.push_back({time, lum::kEventPinSet, pin.index, *value});
        }
    }

    void addRandomEvent(ScriptedBlock& block, std::int32_t time) {
        const std::uint32_t kind = random_() % 10;
        if (kind < 6 && !controls_.empty()) {
            addValue(block, time, *controls_[random_() % controls_.size()]);
        } else if (kind < 9 && !streaming_.empty()) {
            auto input = streaming_.begin();
            std::advance(input, random_() % streaming_.size());
            const bool starts = random_() % 2 == 0;
            block.events.push_back(
                {time, starts ? lum::kEventPinStreamingStart : lum::kEventPinStreamingStop, input->first, {}});
        } else {
            block.events.push_back({time, lum::kEventPinSet, 1000 + static_cast<std::int32_t>(random_() % 8),
                                    PinValue::of(1.0f)});  // no such pin
        }
    }

    // A streaming input gets fresh samples from each change on; a quiet one holds its last.
    void fillInputs(ScriptedBlock& block) {
        std::uniform_real_distribution<float> samples(-1.0f, 1.0f);
        for (auto& [index, streaming] : streaming_) {
            std::vector<float>& input = block.inputs[index];
            std::size_t next = 0;
            for (std::int32_t i = 0; i < block.count; ++i) {
                for (; next < block.events.size() && block.events[next].time <= i; ++next) {
                    const ScriptedEvent& event = block.events[next];
                    if (event.pinIndex != index) continue;
                    if (event.type == lum::kEventPinStreamingStart) streaming = true;
                    if (event.type == lum::kEventPinStreamingStop) streaming = false;
                }
                if (streaming) held_[index] = samples(random_);
                input.push_back(held_[index]);
            }
        }
    }

    std::mt19937 random_;
    std::vector<const PinDescription*> controls_;
    std::map<std::int32_t, bool> streaming_;
    std::map<std::int32_t, float> held_;
};

bool sameSamples(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](float x, float y) { return sameBits(x, y); });
}

}  // namespace

SessionScript writeScript(const ModuleDescription& module, std::uint32_t seed, const ScriptShape& shape) {
    return ScriptWriter(module, seed).write(shape);
}

bool Playback::sameAs(const Playback& other) const {
    return calls == other.calls &&
           std::equal(outputs.begin(), outputs.end(), other.outputs.begin(), other.outputs.end(), sameSamples);
}

ScriptedPlayer::ScriptedPlayer(lum::IMpFactory& factory, const ModuleDescription& module, const SessionScript& script)
    : module_(module), script_(script) {
    host_.setBlockSize(script.blockSize);
    host_.setSampleRate(script.sampleRate);
    plugin_ = createDsp(factory, module.wideId(), host_.object()).object;
    for (const PinDescription& pin : module.pins) {
        if (pin.datatype != lum::kDatatypeAudio) continue;
        for (auto& buffers : buffers_) buffers.emplace(pin.index, GuardedBuffer(script.blockSize));
    }
}

Playback ScriptedPlayer::play(const Delivery& delivery) {
    const std::thread::id thread = std::this_thread::get_id();
    Playback result;
    std::map<std::int32_t, std::size_t> outputs;  // pin to its place in result.outputs
    for (const PinDescription& pin : module_.pins) {
        if (pin.datatype == lum::kDatatypeAudio && pin.direction == lum::kDirectionOut) {
            outputs.emplace(pin.index, outputs.size());
        }
    }
    result.outputs.resize(outputs.size());
    host_.clear();
    plugin_->open();
    std::size_t place = 0;
    for (auto& [index, buffer] : buffers_[place]) plugin_->setBuffer(index, buffer.data());
    bool asleep = false;
    bool started = false;
    for (const ScriptedBlock& block : script_.blocks) {
        if (asleep && block.events.empty()) continue;
        if (delivery.movedBuffers && started) {
            place = 1 - place;
            for (auto& [index, buffer] : buffers_[place]) plugin_->setBuffer(index, buffer.data());
        }
        started = true;
        for (auto& buffers : buffers_) {
            for (const auto& [index, output] : outputs) buffers.at(index).fill(GuardedBuffer::unwrittenMark());
        }
        for (const auto& [index, samples] : block.inputs) {
            std::copy(samples.begin(), samples.end(), buffers_[place].at(index).data());
        }
        EventList events;
        for (std::size_t e = 0; e < block.events.size() && e < delivery.eventLimit; ++e) {
            const ScriptedEvent& event = block.events[e];
            if (event.type == lum::kEventPinSet) {
                events.bytes(event.time, event.pinIndex, event.value.size, event.value.bytes.data(),
                             delivery.pointedValues);
            } else {
                events.raw(event.time, event.type, event.pinIndex);
            }
        }
        plugin_->process(block.count, events.head());
        for (const HostCall& call : host_.exchange()) {
            result.calls.push_back(call);
            const bool stamped = call.kind == HostCallKind::SetPin || call.kind == HostCallKind::SetPinStreaming;
            if (stamped && (call.position < 0 || call.position >= block.count)) {
                result.positionProblems.push_back(
                    std::string(call.kind == HostCallKind::SetPin ? "setPin" : "setPinStreaming") + " at position " +
                    std::to_string(call.position) + " in a block of " + std::to_string(block.count));
            }
            const std::string threadProblem = dspHostThreadProblem(call, thread);
            if (!threadProblem.empty()) result.threadProblems.push_back(threadProblem);
        }
        for (const auto& [index, output] : outputs) {
            const float* written = buffers_[place].at(index).data();
            result.outputs[output].insert(result.outputs[output].end(), written, written + block.count);
            const GuardedBuffer& replaced = buffers_[1 - place].at(index);
            for (std::int32_t i = 0; i < block.count; ++i) {
                result.wroteReplacedBuffer |=
                    delivery.movedBuffers && !sameBits(replaced[i], GuardedBuffer::unwrittenMark());
            }
        }
        asleep = host_.sleepCount() > 0;
        host_.clear();
    }
    return result;
}

}  // namespace lumhost
