// The variant's one audio pin class, templated over direction: a host sample buffer, a
// streaming state it keeps itself, and a position-stamped streaming declaration.
#pragma once

#include <cstdint>
#include <type_traits>

#include "framework/audio_streaming.h"
#include "framework/dsp_pins.h"

namespace lum {

template <std::int32_t Direction>
class MpAudioPin : public MpPinBase {
    static_assert(Direction == kDirectionIn || Direction == kDirectionOut, "0 input, 1 output");

public:
    void setBuffer(float* buffer) override { buffer_ = buffer; }
    void preProcessEvent(const HostEvent* event) override {
        if constexpr (Direction == kDirectionIn) takeStreamingEvent(*owner_, event, isStreaming_, streamingUpdated_);
    }
    void postProcessEvent(const HostEvent* event) override {
        if (isStreamingEvent(event)) streamingUpdated_ = false;
    }
    std::int32_t getDatatype() const override { return kDatatypeAudio; }
    std::int32_t getDirection() const override { return Direction; }
    MpBase::EventHandler getDefaultEventHandler() const override { return nullptr; }
    void sendFirstUpdate() override {
        if constexpr (Direction == kDirectionOut) setStreaming(true);
    }
    // Takes two 32-bit arguments and has no role here; kept for the slot order.
    virtual void reservedSlot9(std::int32_t, std::int32_t) {}

    // The block's samples; sub-processes touch [bufferOffset, bufferOffset + sampleFrames).
    float* buffer() const { return buffer_; }
    bool isStreaming() const { return isStreaming_; }
    // True while a streaming event for this pin is being handled.
    bool streamingUpdated() const { return streamingUpdated_; }

    // The sample at `position`; a negative position means the event group's block position.
    float getValue(std::int32_t position) const { return buffer_[resolve(position)]; }

    // Declares the output's state at `position` (negative: the block position); see
    // MpBase::declareOutputStreaming.
    template <std::int32_t D = Direction, std::enable_if_t<D == kDirectionOut, int> = 0>
    void setStreaming(bool isStreaming, std::int32_t position = -1) {
        owner_->declareOutputStreaming(pinIndex_, isStreaming_, isStreaming, resolve(position));
    }

private:
    // Any negative position, not only -1, is taken as the block position: the host
    // must never hear a time before the block.
    std::int32_t resolve(std::int32_t position) const { return position < 0 ? owner_->blockPosition() : position; }

    float* buffer_ = nullptr;
    bool isStreaming_ = false;
    bool streamingUpdated_ = true;
};

}  // namespace lum
