#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "call_check.h"
#include "coverage_matrix.h"
#include "event_list.h"
#include "guarded_buffer.h"
#include "instances.h"
#include "ordinary_values.h"
#include "pin_value.h"
#include "realtime_watch.h"
#include "recording_host.h"
#include "validation_families.h"

namespace lumhost {
namespace {

constexpr std::int32_t kMaxBlock = 512;
// After every input stops, outputs have this long to settle: a few seconds of samples,
// bounded so that a module that never settles costs little.
constexpr double kTailSeconds = 3.0;
constexpr std::int64_t kTailMostSamples = 1 << 18;
// Unchanged this long, an output has settled.
constexpr std::int32_t kSettledSamples = 2048;

// Past the inputs' blocks; an output holding it copied an input from beyond its block.
float pastInputMark() { return floatFromBits(0x7FC0BEEFu); }

// One DSP instance with its own host and guarded buffers.
struct DspInstance {
    RecordingHost host;
    Ref<lum::IMpPlugin> plugin;
    std::map<std::int32_t, GuardedBuffer> buffers;
};

// An audio input starting or stopping to stream at a time of the block.
struct StreamingChange {
    std::int32_t time;
    std::int32_t pinIndex;
    bool streaming;
};

// What the validating host does to one module's inputs over a session.
class DspSession {
public:
    DspSession(const ModuleLibrary& library, const ModuleDescription& module, const SessionShape& shape,
               std::mt19937& random, VerdictRecorder& verdict, const ValidationOptions& options)
        : module_(module),
          random_(random),
          verdict_(verdict),
          options_(options),
          hostBlockSize_(shape.blockSize),
          sampleRate_(shape.sampleRate),
          plain_(shape.plain) {
        bufferFrames_ = std::max(kMaxBlock, hostBlockSize_);
        for (DspInstance& instance : instances_) {
            instance.host.setBlockSize(hostBlockSize_);
            instance.host.setSampleRate(sampleRate_);
            auto created = createDsp(library.factory(), module.wideId(), instance.host.object());
            verdict_.check(CheckId::DspSessions, created.status == lum::kOk, "creation failed");
            instance.plugin = std::move(created.object);
            if (!instance.plugin) return;
            instance.plugin->open();
            for (const PinDescription& pin : module.pins) {
                if (pin.datatype != lum::kDatatypeAudio) continue;
                auto& buffer = instance.buffers.emplace(pin.index, GuardedBuffer(bufferFrames_)).first->second;
                instance.plugin->setBuffer(pin.index, buffer.data());
            }
        }
        for (const PinDescription& pin : module.pins) {
            if (pin.datatype == lum::kDatatypeAudio && pin.direction == lum::kDirectionIn)
                inputs_[pin.index] = {false, 0.0f};
            if (pin.datatype == lum::kDatatypeAudio && pin.direction == lum::kDirectionOut)
                quietValue_[pin.index] = std::nullopt;
            if (pin.direction == lum::kDirectionIn && pin.datatype != lum::kDatatypeAudio &&
                pin.datatype != lum::kDatatypeMidi) {
                controlInputs_.push_back(&pin);
                ordinaryValue_[pin.index] = false;  // its default is the module's, not ours
            }
        }
        // A plain session's quiet inputs start at an ordinary constant too.
        for (auto& [index, state] : inputs_) state.constant = plain_ ? ordinaryValue(random_, 1.0f) : 0.0f;
    }

    bool ready() const { return instances_[0].plugin && instances_[1].plugin; }

    void runBlock(bool first) {
        std::uniform_int_distribution<std::int32_t> sizes(0, hostBlockSize_);
        const std::int32_t count = random_() % 16 == 0 ? 0 : std::max(1, sizes(random_));
        EventList events;
        std::vector<StreamingChange> streamingChanges;
        BlockInput input;
        if (first) {
            events.graphStart(0);
            input.graphStartAt = 0;
            input.first = true;
            for (const PinDescription* pin : controlInputs_) addValue(events, 0, *pin, input);
            for (auto& [index, state] : inputs_) {
                const bool streaming = random_() % 2 == 0;
                events.streaming(0, index, streaming);
                streamingChanges.push_back({0, index, streaming});
            }
        } else if (count > 0 && random_() % 3 == 0) {
            std::vector<std::int32_t> times(1 + random_() % 4);
            for (std::int32_t& time : times) time = static_cast<std::int32_t>(random_() % count);
            std::sort(times.begin(), times.end());
            for (std::int32_t time : times) addRandomEvent(events, time, streamingChanges, input);
        }
        if (asleep_ && events.empty()) return;  // a sleeping module is not called
        fillInputs(count, streamingChanges, input);
        process(count, events, streamingChanges, input, !first);
    }

    // Every input stops: not streaming, a signal held at zero and a parameter at its
    // default, no more events. Outputs then settle on
    // a constant (zero included) or the module sleeps, without passing through subnormals.
    void runSilenceTail() {
        if (quietValue_.empty()) return;
        verdict_.at("silence after the session");
        EventList events;
        std::vector<StreamingChange> streamingChanges;
        for (auto& [index, state] : inputs_) {
            events.streaming(0, index, false);
            streamingChanges.push_back({0, index, false});
            const PinDescription& pin = *module_.pinAt(index);
            state.constant = isParameterInput(pin) ? defaultPinValue(pin).asFloat() : 0.0f;
        }
        std::map<std::int32_t, std::uint32_t> lastBits;
        std::int64_t unchanged = 0;
        bool subnormal = false;
        const std::int64_t limit =
            std::min(kTailMostSamples, static_cast<std::int64_t>(kTailSeconds * static_cast<double>(sampleRate_)));
        const std::int64_t settledAfter = std::max<std::int64_t>(kSettledSamples, 2 * hostBlockSize_);
        std::int64_t done = 0;
        for (; done < limit && unchanged < settledAfter; done += hostBlockSize_) {
            if (asleep_ && events.empty()) break;
            BlockInput input;
            fillInputs(hostBlockSize_, streamingChanges, input);
            process(hostBlockSize_, events, streamingChanges, input, true);
            events.clear();
            streamingChanges.clear();
            for (std::int32_t i = 0; i < hostBlockSize_; ++i) {
                bool same = true;
                for (const auto& [index, quiet] : quietValue_) {
                    const float sample = instances_[0].buffers.at(index)[i];
                    // Left so by a module going to sleep.
                    if (sameBits(sample, GuardedBuffer::unwrittenMark())) continue;
                    subnormal = subnormal || isSubnormal(sample);
                    const auto [at, fresh] = lastBits.try_emplace(index, bitsOf(sample));
                    same = same && !fresh && at->second == bitsOf(sample);
                    at->second = bitsOf(sample);
                }
                unchanged = same ? unchanged + 1 : 0;
            }
        }
        verdict_.check(CheckId::DspSilenceTail, !subnormal,
                       "an output passed through subnormal numbers after every input stopped");
        // A generator may sound on without input; only a module with inputs must settle.
        const bool settled = asleep_ || unchanged >= settledAfter || inputs_.empty();
        verdict_.check(CheckId::DspSilenceTail, settled,
                       "outputs had not settled " + std::to_string(done) + " samples after every input stopped");
        if (!asleep_ && unchanged >= settledAfter && !inputs_.empty()) {
            verdict_.warn(CheckId::DspSleepsWhenQuiet,
                          "never asked to sleep although its inputs were quiet and its outputs constant for " +
                              std::to_string(kSettledSamples) + " samples or more");
        }
    }

private:
    // What the host fed in one block, to tell whether its outputs are held to ordinary rules.
    struct BlockInput {
        std::optional<std::int32_t> graphStartAt;
        std::optional<std::int32_t> lastValueAt;
        bool first = false;          // the session's first block: its values come with the graph start
        bool extraordinary = false;  // some value or sample that is not ordinary
    };

    void process(std::int32_t count, EventList& events, const std::vector<StreamingChange>& streamingChanges,
                 const BlockInput& input, bool watched) {
        const bool wakesStreaming = asleep_ && leavesAnInputStreaming(streamingChanges);
        for (DspInstance& instance : instances_) {
            for (auto& [index, buffer] : instance.buffers) {
                // Outputs are marked where the module is to write; every buffer past the block.
                if (quietValue_.count(index) != 0) {
                    std::fill(buffer.data(), buffer.data() + bufferFrames_, GuardedBuffer::unwrittenMark());
                } else {
                    std::fill(buffer.data() + count, buffer.data() + bufferFrames_, pastInputMark());
                }
            }
        }
        // Held to ordinary rules: a block with only ordinary input since a graph start that
        // came with ordinary input, the first block's included.
        bool ordinary = !extraordinarySinceStart_ && !input.extraordinary;
        // A graph start may announce outputs computed before the values that come with it.
        const bool startsOrdinary =
            input.graphStartAt && (input.first || !input.lastValueAt || *input.graphStartAt > *input.lastValueAt);
        if (startsOrdinary && !input.extraordinary && allInputsOrdinary()) {
            extraordinarySinceStart_ = false;
            ordinary = *input.graphStartAt == 0;
        }
        if (input.extraordinary || !allInputsOrdinary()) extraordinarySinceStart_ = true;
        const lum::HostEvent* head = events.head();
        for (DspInstance& instance : instances_) instance.host.clear();
        {
            // The first block may grow the recording hosts' lists: not watched.
            std::optional<RealtimeWatch> watch;
            if (watched) watch.emplace(options_, Side::Dsp);
            for (DspInstance& instance : instances_) instance.plugin->process(count, head);
            if (watch) watch->check(verdict_, "process");
        }
        checkBlock(count, wakesStreaming, ordinary);
    }

    bool allInputsOrdinary() const {
        return std::all_of(ordinaryValue_.begin(), ordinaryValue_.end(), [](const auto& pin) { return pin.second; });
    }

    // A value now ordinary, now today's kinds of edge, and at hostile strictness now and then
    // a non-finite or subnormal one; a plain session sends ordinary values only.
    void addValue(EventList& events, std::int32_t time, const PinDescription& pin, BlockInput& input) {
        bool ordinary = true;
        if (pin.datatype == lum::kDatatypeFloat) {
            static const float kSpecial[] = {0.0f, -0.0f, 1.0f, -1.0f, 1e-40f, 1e30f, 0.5f, 3.0f};
            // An edge is no ordinary value even where its magnitude is: two equal ones make
            // a zero span, a zero divisor.
            float value = ordinaryValue(random_, kOrdinaryMost);
            ordinary = plain_ || random_() % 2 != 0;
            if (!ordinary) value = kSpecial[random_() % 8];
            if (!plain_ && options_.strictness >= kHostileStrictness && random_() % 8 == 0) {
                value = hostileValue(random_);
                ordinary = false;
            }
            events.value(time, pin.index, value);
        } else if (pin.datatype == lum::kDatatypeInt) {
            static const std::int32_t kSpecial[] = {0, 1, -1, 2, 3, 6, INT32_MAX, INT32_MIN};
            const std::int32_t value = !plain_ && random_() % 2 == 0
                                           ? kSpecial[random_() % 8]
                                           : static_cast<std::int32_t>(random_() % 21) - kOrdinaryIntMost;
            ordinary = isOrdinary(value);
            events.value(time, pin.index, value);
        } else if (pin.datatype == lum::kDatatypeBool) {
            events.value(time, pin.index, static_cast<std::uint8_t>(random_() % 2));
        }
        ordinaryValue_[pin.index] = ordinary;
        input.extraordinary = input.extraordinary || !ordinary;
        input.lastValueAt = std::max(input.lastValueAt.value_or(time), time);
    }

    void addRandomEvent(EventList& events, std::int32_t time, std::vector<StreamingChange>& streamingChanges,
                        BlockInput& input) {
        const std::uint32_t kind = random_() % 10;
        if (kind < 5) {
            if (!controlInputs_.empty())
                addValue(events, time, *controlInputs_[random_() % controlInputs_.size()], input);
        } else if (kind < 8 && !inputs_.empty()) {
            auto it = inputs_.begin();
            std::advance(it, random_() % inputs_.size());
            const bool streaming = random_() % 2 == 0;
            events.streaming(time, it->first, streaming);
            streamingChanges.push_back({time, it->first, streaming});
        } else if (kind == 8) {
            events.value(time, 1000 + static_cast<std::int32_t>(random_() % 8), 1.0f);  // no such pin
        } else {
            events.graphStart(time);
            if (!input.graphStartAt) input.graphStartAt = time;
        }
    }

    // Whether some event group of the block leaves an input streaming.
    bool leavesAnInputStreaming(const std::vector<StreamingChange>& changes) {
        std::map<std::int32_t, bool> states;
        for (const auto& [index, state] : inputs_) states[index] = state.streaming;
        for (std::size_t i = 0; i < changes.size(); ++i) {
            states[changes[i].pinIndex] = changes[i].streaming;
            const bool groupEnds = i + 1 == changes.size() || changes[i + 1].time != changes[i].time;
            if (groupEnds && std::any_of(states.begin(), states.end(), [](const auto& s) { return s.second; })) {
                return true;
            }
        }
        return false;
    }

    // Streaming inputs get fresh samples; a quiet input holds one constant, as a host's
    // upstream module does. At hostile strictness a block now and then carries a
    // non-finite or subnormal sample.
    void fillInputs(std::int32_t count, const std::vector<StreamingChange>& changes, BlockInput& input) {
        std::uniform_real_distribution<float> samples(-1.0f, 1.0f);
        const bool hostile = !plain_ && options_.strictness >= kHostileStrictness && random_() % 16 == 0;
        for (auto& [index, state] : inputs_) {
            bool ordinary = true;
            for (std::int32_t i = 0; i < count; ++i) {
                for (const StreamingChange& change : changes) {
                    if (change.time == i && change.pinIndex == index) state.streaming = change.streaming;
                }
                float sample = state.constant;
                if (state.streaming) sample = plain_ ? ordinaryValue(random_, 1.0f) : samples(random_);
                if (state.streaming && hostile && random_() % 32 == 0) sample = hostileValue(random_);
                // A stream's odd non-finite sample is no value an upstream module rests on.
                if (state.streaming && std::isfinite(sample)) state.constant = sample;
                ordinary = ordinary && isOrdinary(sample);
                for (DspInstance& instance : instances_) instance.buffers.at(index)[i] = sample;
            }
            ordinaryValue_[index] = count > 0 ? ordinary : isOrdinary(state.constant);
            input.extraordinary = input.extraordinary || !ordinaryValue_[index];
            if (count == 0) {
                for (const StreamingChange& change : changes) {
                    if (change.pinIndex == index) state.streaming = change.streaming;
                }
            }
        }
        for (auto& [index, state] : inputs_) {
            const GuardedBuffer& buffer = instances_[0].buffers.at(index);
            inputCopies_[index].assign(buffer.data(), buffer.data() + count);
        }
    }

    void checkCall(const HostCall& call, std::int32_t count) {
        const std::string problem = dspHostCallProblem(module_, call, count, hostBlockSize_);
        verdict_.check(CheckId::DspHostCalls, problem.empty(), problem);
        const std::string threadProblem = dspHostThreadProblem(call, std::this_thread::get_id());
        verdict_.check(CheckId::DspHostThread, threadProblem.empty(), threadProblem);
    }

    void checkBlock(std::int32_t count, bool mustStreamAgain, bool ordinaryInput) {
        const auto exchange = instances_[0].host.exchange();
        for (const HostCall& call : exchange) checkCall(call, count);
        checkGuards(count);
        checkOutputValues(exchange, count, ordinaryInput);
        checkTwoInstances(exchange, count);
        const bool declaredStreaming = checkQuietOutputs(exchange, count);
        if (mustStreamAgain && !quietValue_.empty()) {
            verdict_.check(CheckId::DspWakes, declaredStreaming,
                           "a sleeping module woken by a streaming input did not stream again");
        }
        asleep_ = instances_[0].host.sleepCount() > 0;
    }

    void checkGuards(std::int32_t count) {
        for (auto& [index, buffer] : instances_[0].buffers) {
            bool untouched = buffer.guardsIntact() && instances_[1].buffers.at(index).guardsIntact();
            const float mark = quietValue_.count(index) != 0 ? GuardedBuffer::unwrittenMark() : pastInputMark();
            for (std::int32_t i = count; i < bufferFrames_; ++i) untouched = untouched && sameBits(buffer[i], mark);
            verdict_.check(CheckId::DspGuards, untouched,
                           "wrote past the block in the buffer of pin " + std::to_string(index));
        }
        for (const auto& [index, copy] : inputCopies_) {
            verdict_.check(CheckId::DspGuards,
                           std::equal(copy.begin(), copy.end(), instances_[0].buffers.at(index).data(),
                                      [](float x, float y) { return sameBits(x, y); }),
                           "changed its input buffer (pin " + std::to_string(index) + ")");
        }
    }

    // Every sample written unless the module asked to sleep; from ordinary input, finite
    // and normal samples and finite float values.
    void checkOutputValues(const std::vector<HostCall>& exchange, std::int32_t count, bool ordinaryInput) {
        const bool goingToSleep = instances_[0].host.sleepCount() > 0;
        for (const auto& [index, quiet] : quietValue_) {
            const GuardedBuffer& out = instances_[0].buffers.at(index);
            const std::string pin = "output pin " + std::to_string(index);
            for (std::int32_t i = 0; i < count; ++i) {
                if (sameBits(out[i], GuardedBuffer::unwrittenMark())) {
                    verdict_.check(CheckId::DspOutputsWritten, goingToSleep,
                                   pin + " left a sample unwritten in a block it did not sleep in");
                    continue;
                }
                if (!ordinaryInput) continue;
                verdict_.check(CheckId::DspOutputsFinite, std::isfinite(out[i]),
                               pin + " gave a non-finite sample from ordinary input");
                verdict_.check(CheckId::DspNoSubnormalOutputs, !isSubnormal(out[i]),
                               pin + " gave a subnormal sample from ordinary input");
            }
        }
        if (!ordinaryInput) return;
        for (const HostCall& call : exchange) {
            const PinDescription* pin = module_.pinAt(call.pinIndex);
            if (call.kind != HostCallKind::SetPin || pin == nullptr || pin->datatype != lum::kDatatypeFloat ||
                call.size != 4)
                continue;
            verdict_.check(
                CheckId::DspValuesFinite, std::isfinite(call.value<float>()),
                "setPin sent a non-finite value on pin " + std::to_string(call.pinIndex) + " from ordinary input");
        }
    }

    void checkTwoInstances(const std::vector<HostCall>& exchange, std::int32_t count) {
        verdict_.check(CheckId::DspTwoInstances, exchange == instances_[1].host.exchange(),
                       "two instances fed the same session told the host different things");
        for (const auto& [index, quiet] : quietValue_) {
            const GuardedBuffer& outA = instances_[0].buffers.at(index);
            const GuardedBuffer& outB = instances_[1].buffers.at(index);
            bool identical = true;
            for (std::int32_t i = 0; i < count; ++i) identical = identical && sameBits(outA[i], outB[i]);
            verdict_.check(CheckId::DspTwoInstances, identical,
                           "two instances fed the same session produced different samples");
        }
    }

    // Outputs declared quiet hold one value until declared again. Returns whether the
    // block declared some output streaming.
    bool checkQuietOutputs(const std::vector<HostCall>& exchange, std::int32_t count) {
        bool declaredStreaming = false;
        for (auto& [index, quiet] : quietValue_) {
            const GuardedBuffer& out = instances_[0].buffers.at(index);
            std::size_t next = 0;
            std::vector<const HostCall*> declarations;
            for (const HostCall& call : exchange) {
                if (call.kind == HostCallKind::SetPinStreaming && call.pinIndex == index) declarations.push_back(&call);
            }
            for (std::int32_t i = 0; i < count; ++i) {
                for (; next < declarations.size() && declarations[next]->position <= i; ++next) {
                    streamingOut_[index] = declarations[next]->argument != 0;
                    quiet = std::nullopt;
                }
                if (streamingOut_[index] || sameBits(out[i], GuardedBuffer::unwrittenMark())) continue;
                if (!quiet) quiet = out[i];
                // Equal as numbers: a quiet output may alternate +0 and -0 (the four-wide and
                // one-sample math paths differ there by design).
                const bool held = *quiet == out[i] || (std::isnan(*quiet) && std::isnan(out[i]));
                verdict_.check(CheckId::DspNotStreamingConstant, held,
                               "output pin " + std::to_string(index) + " changed while declared not streaming");
            }
            for (; next < declarations.size(); ++next) streamingOut_[index] = declarations[next]->argument != 0;
            for (const HostCall* declaration : declarations) declaredStreaming |= declaration->argument != 0;
        }
        return declaredStreaming;
    }

    struct InputState {
        bool streaming;
        float constant;
    };

    const ModuleDescription& module_;
    std::mt19937& random_;
    VerdictRecorder& verdict_;
    const ValidationOptions& options_;
    std::int32_t hostBlockSize_;
    float sampleRate_;
    bool plain_;  // ordinary values and samples only
    std::int32_t bufferFrames_ = kMaxBlock;
    DspInstance instances_[2];
    std::map<std::int32_t, InputState> inputs_;
    // Value inputs the host may send an event to.
    std::vector<const PinDescription*> controlInputs_;
    std::map<std::int32_t, std::vector<float>> inputCopies_;
    std::map<std::int32_t, std::optional<float>> quietValue_;
    std::map<std::int32_t, bool> streamingOut_;
    bool asleep_ = false;
    // Whether each input (audio and value) holds an ordinary value now.
    std::map<std::int32_t, bool> ordinaryValue_;
    bool extraordinarySinceStart_ = true;
};

}  // namespace

void checkDspSessions(const ModuleLibrary& library, const ModuleDescription& module, std::mt19937& random,
                      const ValidationOptions& options, VerdictRecorder& verdict) {
    for (const SessionShape& shape : dspSessionShapes(options, random)) {
        DspSession run(library, module, shape, random, verdict, options);
        if (!run.ready()) return;
        for (std::int32_t block = 0; block < shape.blocks; ++block) {
            verdict.at("session " + std::to_string(shape.number) + ", block " + std::to_string(block + 1));
            run.runBlock(block == 0);
        }
        run.runSilenceTail();
    }
}

}  // namespace lumhost
