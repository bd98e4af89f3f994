// The variant's one audio pin class, templated over direction: the standard pins' buffer
// and streaming state, with the streaming bookkeeping done by the pin itself and a
// position-stamped streaming declaration.
#pragma once

#include <cstdint>
#include <type_traits>

#include "framework/audio_pins.h"

namespace lum {

template <std::int32_t Direction>
class MpAudioPin : public MpAudioPinBase {
    static_assert(Direction == kDirectionIn || Direction == kDirectionOut, "0 input, 1 output");

public:
    void preProcessEvent(const HostEvent* event) override {
        if constexpr (Direction == kDirectionIn) takeStreamingEvent(event, streamingUpdated_);
    }
    void postProcessEvent(const HostEvent* event) override {
        if (isStreamingEvent(event)) streamingUpdated_ = false;
    }
    std::int32_t getDirection() const override { return Direction; }
    void sendFirstUpdate() override {
        if constexpr (Direction == kDirectionOut) setStreaming(true);
    }

    // True while a streaming event for this pin is being handled.
    bool isStreamingUpdated() const { return streamingUpdated_; }

    // The sample at `position`; a negative position means the event group's block position.
    float getValue(std::int32_t position) const { return buffer_[positionOrBlock(position)]; }

    // Declares the output's state at `position` (negative: the block position), as the
    // standard output pin does at the block position.
    template <std::int32_t D = Direction, std::enable_if_t<D == kDirectionOut, int> = 0>
    void setStreaming(bool isStreaming, std::int32_t position = -1) {
        declareOutputStreaming(isStreaming_, isStreaming, positionOrBlock(position));
    }

private:
    bool streamingUpdated_ = true;
};

}  // namespace lum
