#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "call_check.h"
#include "event_list.h"
#include "guarded_buffer.h"
#include "instances.h"
#include "realtime_watch.h"
#include "recording_host.h"
#include "validation_families.h"

namespace lumhost {
namespace {

constexpr std::int32_t kMaxBlock = 512;
// From this strictness on, sessions meet hostile but legal hosts.
constexpr std::int32_t kHostileStrictness = 6;

// Put in output buffers before each block: a sample still holding it was not written
// (a module that asks to sleep leaves the rest of its block unwritten). A finite value,
// unlike the NaN past the inputs' blocks, so a copied input sample does not pass for it.
float unwrittenMark() { return floatFromBits(0x1E3C0FEEu); }
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
    DspSession(const ModuleLibrary& library, const ModuleDescription& module, std::mt19937& random,
               VerdictRecorder& verdict, const ValidationOptions& options)
        : module_(module), random_(random), verdict_(verdict), options_(options) {
        static const std::int32_t kHostBlockSizes[] = {16, 64, 128, 512};
        // Hostile but legal hosts: any block size up to 4096, rates from 8 to 384 kHz.
        static const std::int32_t kHostileBlockSizes[] = {1, 7, 16, 64, 100, 512, 1024, 4096};
        static const float kHostileSampleRates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000, 384000};
        float sampleRate = 44100.0f;
        if (options.strictness >= kHostileStrictness) {
            hostBlockSize_ = kHostileBlockSizes[random_() % 8];
            sampleRate = kHostileSampleRates[random_() % 8];
        } else {
            hostBlockSize_ = kHostBlockSizes[random_() % 4];
        }
        bufferFrames_ = std::max(kMaxBlock, hostBlockSize_);
        for (DspInstance& instance : instances_) {
            instance.host.setBlockSize(hostBlockSize_);
            instance.host.setSampleRate(sampleRate);
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
                pin.datatype != lum::kDatatypeMidi)
                controlInputs_.push_back(&pin);
        }
    }

    bool ready() const { return instances_[0].plugin && instances_[1].plugin; }

    void runBlock(bool first) {
        std::uniform_int_distribution<std::int32_t> sizes(0, hostBlockSize_);
        const std::int32_t count = random_() % 16 == 0 ? 0 : std::max(1, sizes(random_));
        EventList events;
        std::vector<StreamingChange> streamingChanges;
        if (first) {
            events.graphStart(0);
            for (const PinDescription* pin : controlInputs_) addValue(events, 0, *pin);
            for (auto& [index, state] : inputs_) {
                const bool streaming = random_() % 2 == 0;
                events.streaming(0, index, streaming);
                streamingChanges.push_back({0, index, streaming});
            }
        } else if (count > 0 && random_() % 3 == 0) {
            std::vector<std::int32_t> times(1 + random_() % 4);
            for (std::int32_t& time : times) time = static_cast<std::int32_t>(random_() % count);
            std::sort(times.begin(), times.end());
            for (std::int32_t time : times) addRandomEvent(events, time, streamingChanges);
        }
        if (asleep_ && events.empty()) return;  // a sleeping module is not called

        const bool wakesStreaming = asleep_ && leavesAnInputStreaming(streamingChanges);
        fillInputs(count, streamingChanges);
        for (DspInstance& instance : instances_) {
            for (auto& [index, buffer] : instance.buffers) {
                // Outputs are marked where the module is to write; every buffer past the block.
                if (quietValue_.count(index) != 0) {
                    std::fill(buffer.data(), buffer.data() + bufferFrames_, unwrittenMark());
                } else {
                    std::fill(buffer.data() + count, buffer.data() + bufferFrames_, pastInputMark());
                }
            }
        }
        const lum::HostEvent* head = events.head();
        for (DspInstance& instance : instances_) instance.host.clear();
        {
            // The first block may grow the recording hosts' lists: not watched.
            std::optional<RealtimeWatch> watch;
            if (!first) watch.emplace(options_, Side::Dsp);
            for (DspInstance& instance : instances_) instance.plugin->process(count, head);
            if (watch) watch->check(verdict_, "process");
        }
        checkBlock(count, wakesStreaming);
    }

private:
    void addValue(EventList& events, std::int32_t time, const PinDescription& pin) {
        if (pin.datatype == lum::kDatatypeFloat) {
            static const float kSpecial[] = {0.0f, -0.0f, 1.0f, -1.0f, 1e-40f, 1e30f, 0.5f, 3.0f};
            const float value = random_() % 2 == 0 ? kSpecial[random_() % 8]
                                                   : std::uniform_real_distribution<float>(-100.0f, 100.0f)(random_);
            events.value(time, pin.index, value);
        } else if (pin.datatype == lum::kDatatypeInt) {
            static const std::int32_t kSpecial[] = {0, 1, -1, 2, 3, 6, INT32_MAX, INT32_MIN};
            const std::int32_t value =
                random_() % 2 == 0 ? kSpecial[random_() % 8] : static_cast<std::int32_t>(random_() % 21) - 10;
            events.value(time, pin.index, value);
        } else if (pin.datatype == lum::kDatatypeBool) {
            events.value(time, pin.index, static_cast<std::uint8_t>(random_() % 2));
        }
    }

    void addRandomEvent(EventList& events, std::int32_t time, std::vector<StreamingChange>& streamingChanges) {
        const std::uint32_t kind = random_() % 10;
        if (kind < 5) {
            if (!controlInputs_.empty()) addValue(events, time, *controlInputs_[random_() % controlInputs_.size()]);
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
    // upstream module does.
    void fillInputs(std::int32_t count, const std::vector<StreamingChange>& changes) {
        std::uniform_real_distribution<float> samples(-1.0f, 1.0f);
        for (auto& [index, state] : inputs_) {
            for (std::int32_t i = 0; i < count; ++i) {
                for (const StreamingChange& change : changes) {
                    if (change.time == i && change.pinIndex == index) state.streaming = change.streaming;
                }
                const float sample = state.streaming ? samples(random_) : state.constant;
                if (state.streaming) state.constant = sample;
                for (DspInstance& instance : instances_) instance.buffers.at(index)[i] = sample;
            }
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
    }

    void checkBlock(std::int32_t count, bool mustStreamAgain) {
        const auto exchange = instances_[0].host.exchange();
        for (const HostCall& call : exchange) checkCall(call, count);
        checkGuards(count);
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
            const float mark = quietValue_.count(index) != 0 ? unwrittenMark() : pastInputMark();
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
                if (streamingOut_[index] || sameBits(out[i], unwrittenMark())) continue;
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
    std::int32_t hostBlockSize_ = 64;
    std::int32_t bufferFrames_ = kMaxBlock;
    DspInstance instances_[2];
    std::map<std::int32_t, InputState> inputs_;
    // Value inputs the host may send an event to.
    std::vector<const PinDescription*> controlInputs_;
    std::map<std::int32_t, std::vector<float>> inputCopies_;
    std::map<std::int32_t, std::optional<float>> quietValue_;
    std::map<std::int32_t, bool> streamingOut_;
    bool asleep_ = false;
};

}  // namespace

void checkDspSessions(const ModuleLibrary& library, const ModuleDescription& module, std::mt19937& random,
                      const ValidationOptions& options, VerdictRecorder& verdict) {
    for (std::int32_t session = 0; session < options.strictness; ++session) {
        DspSession run(library, module, random, verdict, options);
        if (!run.ready()) return;
        const std::int32_t blocks = 20 * options.strictness;
        for (std::int32_t block = 0; block < blocks; ++block) {
            verdict.at("session " + std::to_string(session + 1) + ", block " + std::to_string(block + 1));
            run.runBlock(block == 0);
        }
    }
}

}  // namespace lumhost
