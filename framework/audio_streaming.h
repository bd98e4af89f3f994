// The streaming steps every audio pin flavour takes, written once.
#pragma once

#include "dsp_base.h"

namespace lum {

inline bool isStreamingEvent(const HostEvent* event) {
    return event->type == kEventPinStreamingStart || event->type == kEventPinStreamingStop;
}

// Pass 1 of a streaming event on an audio input: flag it, and count a real change.
inline void takeStreamingEvent(MpBase& owner, const HostEvent* event, bool& isStreaming, bool& streamingUpdated) {
    if (!isStreamingEvent(event)) return;
    streamingUpdated = true;
    const bool newState = event->type == kEventPinStreamingStart;
    if (newState != isStreaming) {
        isStreaming = newState;
        owner.onStreamingChange(newState);
    }
}

}  // namespace lum
