// DSP modules of both libraries driven by a host that does anything the interface lets
// it: open, setBuffer (the pin's buffer, a second one, or null, on any index), blocks of
// 0 samples up with arbitrary event lists (any type, time, pin index, size, inline or
// pointed data, out of order, past the block, looping back), buffers full of NaN,
// infinities and denormals, and getBlockSize or getSampleRate answers of any value.
//
// Every buffer carries guard samples; after each call the host checks that the module
// touched nothing but the outputs it was given, inside the block, and that every call it
// made back is well-formed (registered output, the pin's own size, a position in the block).
//
// Input: the module (a byte, by remainder over every DSP module, KEL_MATH first), session
// flags (bit 0: skip the usual open and setBuffer of every audio pin), the host's block
// size (int32) and sample rate (float), then operations to the end; see run() for each.
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "host/call_check.h"
#include "host/guarded_buffer.h"
#include "host/instances.h"
#include "host/recording_host.h"

namespace {

using lumfuzz::expect;
using lumfuzz::fail;
using lumhost::GuardedBuffer;

constexpr std::int32_t kCapacity = 512;  // samples in every buffer
constexpr std::int32_t kMaxOperations = 64;
constexpr std::int32_t kMaxEvents = 24;

float special(std::uint8_t which) {
    static const float kValues[] = {
        std::numeric_limits<float>::quiet_NaN(),   std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(),   1e-40f,
        -std::numeric_limits<float>::denorm_min(), -0.0f,
        std::numeric_limits<float>::max(),         1.0f,
    };
    return kValues[which % 8];
}

// One audio pin's two buffers; `given` says which one the module has (or none).
struct AudioPin {
    const lumhost::PinDescription* pin;
    GuardedBuffer buffers[2] = {GuardedBuffer(kCapacity), GuardedBuffer(kCapacity)};
    float* given = nullptr;
    std::vector<float> before[2];
};

class Session {
public:
    Session(const lumfuzz::ModuleChoice& choice, lumhost::RecordingHost& host, lumfuzz::Input& input)
        : module_(*choice.module), host_(host), input_(input) {
        for (const lumhost::PinDescription& pin : module_.pins) {
            if (pin.datatype == lum::kDatatypeAudio)
                audio_.emplace(pin.index, std::make_unique<AudioPin>()).first->second->pin = &pin;
        }
        auto created = lumhost::createDsp(choice.library->factory(), module_.wideId(), host_.object());
        if (created.status != lum::kOk || !created.object) fail("a DSP module was not created");
        plugin_ = std::move(created.object);
    }

    void run(bool usualStart) {
        if (usualStart) {
            open();
            for (auto& [index, audio] : audio_) setBuffer(index, 0);
        }
        for (std::int32_t step = 0; step < kMaxOperations && !input_.done(); ++step) {
            switch (input_.byte() % 8) {
                case 0: open(); break;
                case 1: {
                    const std::int32_t pin = lumfuzz::choosePinIndex(input_, module_);
                    setBuffer(pin, input_.byte() % 3);
                    break;
                }
                case 2:
                case 3: block(true, false); break;
                case 4: block(false, false); break;
                case 5: setReportedBlockSize(input_.i32()); break;
                case 6: host_.setSampleRate(input_.f32()); break;
                default: block(true, true); break;
            }
        }
    }

    void setReportedBlockSize(std::int32_t blockSize) {
        // A host's buffers hold its block: a larger answer would be a lie about them.
        if (blockSize > kCapacity) blockSize = blockSize % (kCapacity + 1);
        host_.setBlockSize(blockSize);
    }

private:
    void checkCalls(std::int32_t blockCount, std::int32_t hostBlockSize) {
        for (const lumhost::HostCall& call : host_.exchange()) {
            const std::string problem = lumhost::dspHostCallProblem(module_, call, blockCount, hostBlockSize);
            if (!problem.empty()) fail(module_.id + ": " + problem);
        }
        host_.clear();
    }

    void open() {
        host_.clear();
        expect(plugin_->open() == lum::kOk, "open did not return 0");
        checkCalls(1, 1);
    }

    void setBuffer(std::int32_t index, std::uint8_t which) {
        host_.clear();
        const auto found = audio_.find(index);
        float* buffer = nullptr;
        if (which < 2) buffer = found != audio_.end() ? found->second->buffers[which].data() : scratch_.data();
        const std::int32_t status = plugin_->setBuffer(index, buffer);
        expect(status == (module_.pinAt(index) != nullptr ? lum::kOk : lum::kFailed),
               "setBuffer's status does not match the pin being registered");
        if (found != audio_.end()) found->second->given = buffer;
        checkCalls(1, 1);
    }

    // Both buffers of an input get the same samples, so switching between them is all
    // that changes.
    void fillInputs(std::int32_t count) {
        for (auto& [index, audio] : audio_) {
            if (audio->pin->direction != lum::kDirectionIn) continue;
            float* samples = audio->buffers[0].data();
            switch (input_.byte() % 8) {
                case 0: break;  // what the last block left
                case 1: audio->buffers[0].fill(0.0f); break;
                case 2: audio->buffers[0].fill(input_.f32()); break;
                case 3:
                    for (std::int32_t i = 0; i < kCapacity; ++i) samples[i] = special(static_cast<std::uint8_t>(i));
                    break;
                case 4:
                    for (std::int32_t i = 0; i < std::min(count, 16); ++i) samples[i] = input_.f32();
                    break;
                case 5: audio->buffers[0].fill(special(input_.byte())); break;
                case 6: {
                    const float step = input_.f32();
                    for (std::int32_t i = 0; i < kCapacity; ++i) samples[i] = step * static_cast<float>(i);
                    break;
                }
                default: {
                    std::uint32_t state = input_.u32();
                    for (std::int32_t i = 0; i < kCapacity; ++i) {
                        state = state * 1664525u + 1013904223u;
                        std::memcpy(&samples[i], &state, sizeof state);
                    }
                    break;
                }
            }
            std::copy(samples, samples + kCapacity, audio->buffers[1].data());
        }
    }

    // One event of the list; its payload, if pointed, is exactly as long as the host says.
    lum::HostEvent event(std::int32_t count, std::int32_t previousTime) {
        lum::HostEvent e{};
        const std::uint8_t timeMode = input_.byte() % 5;
        switch (timeMode) {
            case 0: e.time = input_.byte() % (std::max(count, 0) + 1); break;
            case 1: e.time = input_.i32(); break;
            case 2: e.time = std::max(count, 0) + input_.byte(); break;
            case 3: e.time = previousTime; break;
            // Earlier than the last one, wrapping below INT32_MIN as a host's arithmetic might.
            default:
                e.time = static_cast<std::int32_t>(static_cast<std::uint32_t>(previousTime) - input_.byte());
                break;
        }
        const std::uint8_t type = input_.byte();
        e.type = type < 0xF0 ? lum::kEventPinSet + type % 5 : input_.i32();
        e.pinIndex = lumfuzz::choosePinIndex(input_, module_);
        const lumhost::PinDescription* pin = module_.pinAt(e.pinIndex);
        e.size = lumfuzz::chooseSize(input_, pin);
        std::uint8_t value[8];
        input_.bytes(value, sizeof value);
        if ((input_.byte() & 1) != 0) {
            e.data = payloads_.emplace_back(lumfuzz::makePayload(value, e.size)).get();
        } else {
            std::memcpy(e.inlineData, value, sizeof value);
        }
        return e;
    }

    void block(bool withEvents, bool wellFormedStart) {
        std::int32_t count = static_cast<std::int16_t>(input_.u16());
        if (count > kCapacity) count %= kCapacity + 1;
        if (wellFormedStart) count = std::max(count, 1);
        fillInputs(count);

        events_.clear();
        payloads_.clear();
        if (wellFormedStart) {
            events_.push_back(lum::HostEvent{0, lum::kEventGraphStart, 0, 0, {}, nullptr, nullptr});
            for (const auto& [index, audio] : audio_) {
                if (audio->pin->direction == lum::kDirectionIn) {
                    events_.push_back(lum::HostEvent{0, lum::kEventPinStreamingStart, index, 0, {}, nullptr, nullptr});
                }
            }
        }
        if (withEvents) {
            const std::int32_t n = input_.byte() % (kMaxEvents + 1);
            std::int32_t time = 0;
            for (std::int32_t i = 0; i < n; ++i) {
                events_.push_back(event(count, time));
                time = events_.back().time;
            }
        }
        for (std::size_t i = 0; i + 1 < events_.size(); ++i) events_[i].next = &events_[i + 1];
        if (!events_.empty()) {
            const std::uint8_t loop = withEvents ? input_.byte() : 0;
            if ((loop & 0x80) != 0) events_.back().next = &events_[loop % events_.size()];
        }

        for (auto& [index, audio] : audio_) {
            for (int i = 0; i < 2; ++i) {
                audio->before[i].assign(audio->buffers[i].data(), audio->buffers[i].data() + kCapacity);
            }
        }
        host_.clear();
        const std::int32_t status = plugin_->process(count, events_.empty() ? nullptr : events_.data());
        expect(status == lum::kOk, "process did not return 0");

        const std::int32_t samples = std::max(count, 0);
        // An empty block has no positions of its own: a module may stamp any of the host's block.
        checkCalls(samples, host_.blockSize());
        for (auto& [index, audio] : audio_) {
            for (int i = 0; i < 2; ++i) {
                const GuardedBuffer& buffer = audio->buffers[i];
                if (!buffer.guardsIntact()) fail(module_.id + ": wrote outside a buffer");
                const bool writable = audio->pin->direction == lum::kDirectionOut && audio->given == buffer.data();
                for (std::int32_t s = writable ? samples : 0; s < kCapacity; ++s) {
                    if (!lumhost::sameBits(buffer[s], audio->before[i][static_cast<std::size_t>(s)])) {
                        fail(module_.id + (writable ? ": wrote past the block" : ": wrote a buffer it may not write"));
                    }
                }
            }
        }
        if (!scratch_.guardsIntact()) fail(module_.id + ": wrote outside a buffer");
    }

    const lumhost::ModuleDescription& module_;
    lumhost::RecordingHost& host_;
    lumfuzz::Input& input_;
    lumhost::Ref<lum::IMpPlugin> plugin_;
    std::map<std::int32_t, std::unique_ptr<AudioPin>> audio_;
    GuardedBuffer scratch_{kCapacity};
    std::vector<lum::HostEvent> events_;
    std::vector<std::unique_ptr<std::uint8_t[]>> payloads_;
};

const std::vector<lumfuzz::ModuleChoice>& modules() {
    static const std::vector<lumfuzz::ModuleChoice> all = lumfuzz::modulesOfSide(lumhost::Side::Dsp);
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    modules();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static lumhost::RecordingHost host;
    lumfuzz::Input input(data, size);
    const lumfuzz::ModuleChoice& choice = modules()[input.byte() % modules().size()];
    const std::uint8_t flags = input.byte();
    host.clear();
    const std::int32_t referencesBefore = host.referencesHeld();
    {
        Session session(choice, host, input);
        session.setReportedBlockSize(input.i32());
        host.setSampleRate(input.f32());
        session.run((flags & 1) == 0);
    }
    expect(host.referencesHeld() == referencesBefore, "a released DSP module kept its host reference");
    return 0;
}
