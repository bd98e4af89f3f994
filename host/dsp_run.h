// One DSP module driven the way the real host drives it: open, buffers, graph start with
// the pin values and streaming states, then block after block, leaving a sleeping module
// alone until an event would wake it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "event_list.h"
#include "guarded_buffer.h"
#include "module_description.h"
#include "pin_value.h"
#include "recording_host.h"

namespace lumhost {

struct RunLimits {
    static constexpr std::int32_t kMinSampleRate = 1000;
    static constexpr std::int32_t kMaxSampleRate = 768000;
    static constexpr std::int32_t kMaxBlockSize = 8192;
};

// Throw UserError for a sample rate or block size outside RunLimits.
void requireSampleRate(std::int32_t sampleRate);
void requireBlockSize(std::int32_t blockSize);

class DspRun {
public:
    // Creates the module and resolves `settings` against its description. An audio input
    // takes a constant ("0.25"), or a channel of the input signal ("in", "in:1"); the
    // first audio input takes channel 0 unless set, the others only when asked. Inputs not
    // set take their described defaults. Throws UserError.
    DspRun(lum::IMpFactory& factory, const ModuleDescription& module, std::int32_t sampleRate, std::int32_t blockSize,
           const std::vector<PinSetting>& settings);
    DspRun(const DspRun&) = delete;
    DspRun& operator=(const DspRun&) = delete;

    // The highest input channel the settings read; -1 when every input is a constant.
    std::int32_t highestInputChannel() const { return highestInputChannel_; }
    // Throws UserError when the settings read a channel beyond `available`.
    void requireInputChannels(std::size_t available) const;
    // The module's audio outputs, in pin order: one output channel each.
    const std::vector<PinDescription>& audioOutputs() const { return audioOutputs_; }

    // Renders `frames` samples from `input` (one vector per channel, shorter ones padded
    // with silence) and returns one vector per audio output. `progress` hears now and then
    // what fraction is done.
    std::vector<std::vector<float>> render(const std::vector<std::vector<float>>& input, std::int64_t frames,
                                           const std::function<void(double)>& progress = {});

    // One block of `frames` (1 to the block size) for a live host: `channels` holds each
    // input channel's samples for it, and inputs reading a channel beyond `channelCount`
    // get silence. The first block starts the graph. Returns false when the module slept
    // through the block; its outputs then hold their last sample.
    bool processBlock(const float* const* channels, std::size_t channelCount, std::int32_t frames);
    // Output `output`'s samples of the last block.
    const float* outputBlock(std::size_t output) const { return outputs_[output].buffer.data(); }
    // A new value for an input, sent before the next block: a value event, or for an audio
    // input a new constant announced as not streaming. Throws UserError (also for an
    // input that reads the signal).
    void change(const PinSetting& setting);

    // Blocks the module spent asleep, and the control values it sent, as the host saw them:
    // during render, and in the last block.
    std::int64_t blocksAsleep() const { return blocksAsleep_; }
    const std::vector<HostCall>& controlOutputs() const { return controlOutputs_; }
    const std::vector<HostCall>& blockControlOutputs() const { return blockControlOutputs_; }

private:
    struct AudioInput {
        std::int32_t pinIndex;
        std::int32_t channel;  // -1: the constant
        float constant;
        GuardedBuffer buffer;
    };
    struct AudioOutput {
        std::int32_t pinIndex;
        GuardedBuffer buffer;
        float held = 0.0f;  // the last sample, which a sleeping module's output holds
    };

    // Graph start, then every control value and streaming state, for the first block.
    void start();
    void checkGuards() const;

    RecordingHost host_;
    Ref<lum::IMpPlugin> plugin_;
    std::int32_t blockSize_;
    std::vector<AudioInput> inputs_;
    std::vector<AudioOutput> outputs_;
    std::vector<PinDescription> audioOutputs_;
    struct ControlValue {
        std::int32_t pinIndex;
        PinValue value;
    };
    std::vector<ControlValue> controlValues_;
    std::int32_t highestInputChannel_ = -1;
    const ModuleDescription& module_;
    EventList pending_;
    bool started_ = false;
    bool asleep_ = false;
    std::int64_t blocksAsleep_ = 0;
    std::vector<HostCall> controlOutputs_;
    std::vector<HostCall> blockControlOutputs_;
};

}  // namespace lumhost
