#include "dsp_run.h"

#include <algorithm>
#include <cmath>

#include "instances.h"
#include "pin_value.h"
#include "text.h"

namespace lumhost {
namespace {

// The input `setting` names; throws UserError for an unknown pin or an output.
const PinDescription& inputPin(const ModuleDescription& module, const PinSetting& setting) {
    const PinDescription* pin = module.findPin(setting.pin);
    if (pin == nullptr) throw UserError(module.id + " has no pin '" + setting.pin + "'");
    if (pin->direction != lum::kDirectionIn) throw UserError("pin '" + pin->name + "' is an output");
    return *pin;
}

}  // namespace

void requireSampleRate(std::int32_t sampleRate) {
    if (sampleRate < RunLimits::kMinSampleRate || sampleRate > RunLimits::kMaxSampleRate) {
        throw UserError("sample rate " + std::to_string(sampleRate) + " is outside " +
                        std::to_string(RunLimits::kMinSampleRate) + " to " + std::to_string(RunLimits::kMaxSampleRate));
    }
}

void requireBlockSize(std::int32_t blockSize) {
    if (blockSize < 1 || blockSize > RunLimits::kMaxBlockSize) {
        throw UserError("block size " + std::to_string(blockSize) + " is outside 1 to " +
                        std::to_string(RunLimits::kMaxBlockSize));
    }
}

DspRun::DspRun(lum::IMpFactory& factory, const ModuleDescription& module, std::int32_t sampleRate,
               std::int32_t blockSize, const std::vector<PinSetting>& settings)
    : blockSize_(blockSize), module_(module) {
    if (module.side != Side::Dsp) throw UserError(module.id + " is a GUI module; only DSP modules render");
    requireSampleRate(sampleRate);
    requireBlockSize(blockSize);

    std::vector<std::pair<const PinDescription*, std::string>> resolved;
    for (const PinSetting& setting : settings) resolved.emplace_back(&inputPin(module, setting), setting.value);
    auto settingFor = [&](const PinDescription& pin) -> const std::string* {
        const std::string* found = nullptr;
        for (const auto& [described, value] : resolved) {
            if (described->index == pin.index) found = &value;  // the last one given wins
        }
        return found;
    };

    // Set to a constant, the first audio input passes the signal to no other: it would land on a control input.
    // Every other input not given starts at its default.
    bool firstAudioInput = true;
    for (const PinDescription& pin : module.pins) {
        const std::string what = "pin '" + pin.name + "'";
        const std::string* value = settingFor(pin);
        if (pin.datatype == lum::kDatatypeAudio && pin.direction == lum::kDirectionIn) {
            AudioInput input{pin.index, -1, defaultPinValue(pin).asFloat(), GuardedBuffer(blockSize)};
            if (value == nullptr && firstAudioInput) {
                input.channel = 0;
            } else if (value != nullptr && (*value == "in" || startsWith(*value, "in:"))) {
                input.channel = *value == "in" ? 0 : parseInt(value->substr(3), what);
                if (input.channel < 0) throw UserError(what + ": channel " + std::to_string(input.channel));
            } else if (value != nullptr) {
                input.constant = parseSampleValue(pin, *value, module.audioScale);
            }
            firstAudioInput = false;
            highestInputChannel_ = std::max(highestInputChannel_, input.channel);
            inputs_.push_back(std::move(input));
        } else if (pin.datatype == lum::kDatatypeAudio) {
            outputs_.push_back({pin.index, GuardedBuffer(blockSize)});
            audioOutputs_.push_back(pin);
        } else if (pin.direction == lum::kDirectionIn && value != nullptr) {
            controlValues_.push_back({pin.index, parsePinValue(pin, *value, module.audioScale)});
        } else if (pin.direction == lum::kDirectionIn && pin.defaultValue) {
            controlValues_.push_back({pin.index, defaultPinValue(pin)});
        }
    }

    host_.setBlockSize(blockSize);
    host_.setSampleRate(static_cast<float>(sampleRate));
    plugin_ = createdOrThrow(createDsp(factory, module.wideId(), host_.object()), module.id);
    plugin_->open();
    for (AudioInput& input : inputs_) plugin_->setBuffer(input.pinIndex, input.buffer.data());
    for (AudioOutput& output : outputs_) plugin_->setBuffer(output.pinIndex, output.buffer.data());
}

void DspRun::requireInputChannels(std::size_t available) const {
    if (highestInputChannel_ >= 0 && static_cast<std::size_t>(highestInputChannel_) >= available) {
        throw UserError("channel " + std::to_string(highestInputChannel_) + " does not exist (the signal has " +
                        std::to_string(available) + ")");
    }
}

void DspRun::start() {
    started_ = true;
    pending_.graphStart(0);
    for (const ControlValue& control : controlValues_) {
        pending_.bytes(0, control.pinIndex, control.value.size, control.value.bytes.data(), false);
    }
    for (const AudioInput& input : inputs_) {
        pending_.streaming(0, input.pinIndex, input.channel >= 0);
    }
}

void DspRun::change(const PinSetting& setting) {
    // A change before the first block comes after the graph start, not under it.
    if (!started_) start();
    const PinDescription* pin = &inputPin(module_, setting);
    if (pin->datatype != lum::kDatatypeAudio) {
        const PinValue value = parsePinValue(*pin, setting.value, module_.audioScale);
        pending_.bytes(0, pin->index, value.size, value.bytes.data(), false);
        return;
    }
    for (AudioInput& input : inputs_) {
        if (input.pinIndex != pin->index) continue;
        if (input.channel >= 0) throw UserError("pin '" + pin->name + "' takes the signal");
        input.constant = parseSampleValue(*pin, setting.value, module_.audioScale);
        pending_.streaming(0, pin->index, false);
    }
}

void DspRun::checkGuards() const {
    for (const AudioInput& input : inputs_) {
        if (!input.buffer.guardsIntact()) throw std::runtime_error("the module wrote outside an input buffer");
    }
    for (const AudioOutput& output : outputs_) {
        if (!output.buffer.guardsIntact()) throw std::runtime_error("the module wrote outside an output buffer");
    }
}

bool DspRun::processBlock(const float* const* channels, std::size_t channelCount, std::int32_t frames) {
    if (frames < 1 || frames > blockSize_) {
        throw UserError("a block of " + std::to_string(frames) + " frames, outside 1 to " + std::to_string(blockSize_));
    }
    if (!started_) start();
    blockControlOutputs_.clear();
    if (asleep_ && pending_.empty()) {
        // A sleeping module is not called; its outputs hold their last sample.
        ++blocksAsleep_;
        for (AudioOutput& output : outputs_) std::fill_n(output.buffer.data(), frames, output.held);
        return false;
    }
    for (AudioInput& in : inputs_) {
        if (in.channel < 0) {
            std::fill_n(in.buffer.data(), frames, in.constant);
        } else if (static_cast<std::size_t>(in.channel) < channelCount) {
            std::copy_n(channels[in.channel], frames, in.buffer.data());
        } else {
            std::fill_n(in.buffer.data(), frames, 0.0f);
        }
    }
    host_.clear();
    plugin_->process(frames, pending_.head());
    pending_.clear();
    checkGuards();
    asleep_ = host_.sleepCount() > 0;
    for (const HostCall& call : host_.allCalls()) {
        if (call.kind == HostCallKind::SetPin) blockControlOutputs_.push_back(call);
    }
    for (AudioOutput& output : outputs_) output.held = output.buffer[frames - 1];
    return true;
}

std::vector<std::vector<float>> DspRun::render(const std::vector<std::vector<float>>& input, std::int64_t frames,
                                               const std::function<void(double)>& progress) {
    std::vector<std::vector<float>> rendered(outputs_.size(), std::vector<float>(static_cast<std::size_t>(frames)));
    // A block that runs past a channel's end is read from a copy padded with silence.
    std::vector<std::vector<float>> padded(input.size(), std::vector<float>(static_cast<std::size_t>(blockSize_)));
    std::vector<const float*> channels(input.size());
    // Often enough for a progress line, rarely enough to cost nothing.
    constexpr std::int64_t kBlocksPerProgress = 1024;
    for (std::int64_t start = 0; start < frames; start += blockSize_) {
        if (progress && (start / blockSize_) % kBlocksPerProgress == 0) {
            progress(static_cast<double>(start) / static_cast<double>(frames));
        }
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(blockSize_, frames - start));
        for (std::size_t c = 0; c < input.size(); ++c) {
            const auto at = static_cast<std::size_t>(start);
            if (at + static_cast<std::size_t>(count) <= input[c].size()) {
                channels[c] = input[c].data() + at;
                continue;
            }
            std::fill(padded[c].begin(), padded[c].end(), 0.0f);
            if (at < input[c].size()) std::copy(input[c].begin() + start, input[c].end(), padded[c].begin());
            channels[c] = padded[c].data();
        }
        processBlock(channels.data(), channels.size(), count);
        controlOutputs_.insert(controlOutputs_.end(), blockControlOutputs_.begin(), blockControlOutputs_.end());
        for (std::size_t o = 0; o < outputs_.size(); ++o) {
            std::copy_n(outputs_[o].buffer.data(), count, rendered[o].begin() + start);
        }
    }
    return rendered;
}

}  // namespace lumhost
