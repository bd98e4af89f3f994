// Audio pins: a host sample buffer and a streaming state.
#pragma once

#include "dsp_pins.h"

namespace lum {

inline bool isStreamingEvent(const HostEvent* event) {
    return event->type == kEventPinStreamingStart || event->type == kEventPinStreamingStop;
}

class MpAudioPinBase : public MpPinBase {
public:
    void setBuffer(float* buffer) override { buffer_ = buffer; }
    std::int32_t getDatatype() const override { return kDatatypeAudio; }
    MpBase::EventHandler getDefaultEventHandler() const override { return nullptr; }

    // The block's samples; sub-processes touch [bufferOffset, bufferOffset + sampleFrames).
    float* getBuffer() const { return buffer_; }
    bool isStreaming() const { return isStreaming_; }

protected:
    // Pass 1 of a streaming event on an audio input: flag it, and count a real change.
    void takeStreamingEvent(const HostEvent* event, bool& streamingUpdated) {
        if (!isStreamingEvent(event)) return;
        streamingUpdated = true;
        const bool newState = event->type == kEventPinStreamingStart;
        if (newState != isStreaming_) {
            isStreaming_ = newState;
            countStreamingChange(newState);
        }
    }

    float* buffer_ = nullptr;
    bool isStreaming_ = false;
};

class AudioInPin final : public MpAudioPinBase {
public:
    void preProcessEvent(const HostEvent* event) override { takeStreamingEvent(event, streamingUpdated_); }
    void postProcessEvent(const HostEvent* event) override {
        if (isStreamingEvent(event)) streamingUpdated_ = false;
    }
    std::int32_t getDirection() const override { return kDirectionIn; }
    void sendFirstUpdate() override {}

    // True while a streaming event for this pin is being handled.
    bool isStreamingUpdated() const { return streamingUpdated_; }

private:
    bool streamingUpdated_ = true;
};

class AudioOutPin final : public MpAudioPinBase {
public:
    std::int32_t getDirection() const override { return kDirectionOut; }
    void sendFirstUpdate() override { setStreaming(true); }

    // Declares the output's state at the group's block position: the host hears it every
    // time, and a quiet output reloads the sleep countdown with the host's block size.
    void setStreaming(bool isStreaming) { declareOutputStreaming(isStreaming_, isStreaming, owner_->blockPosition()); }
};

}  // namespace lum
