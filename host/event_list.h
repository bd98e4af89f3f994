// Builds the linked HostEvent list that process receives, in the order events are added.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "framework/interfaces.h"

namespace lumhost {

class EventList {
public:
    // A type 100 value held in the record itself (up to 8 bytes).
    template <class T>
    EventList& value(std::int32_t time, std::int32_t pinIndex, T value) {
        return bytes(time, pinIndex, sizeof(T), &value, false);
    }
    // A type 100 value held outside the record, at `data`.
    template <class T>
    EventList& pointedValue(std::int32_t time, std::int32_t pinIndex, T value) {
        return bytes(time, pinIndex, sizeof(T), &value, true);
    }
    // Any type 100 or 103 payload: `size` bytes, inline when they fit and not `pointed`.
    EventList& bytes(std::int32_t time, std::int32_t pinIndex, std::int32_t size, const void* data, bool pointed,
                     std::int32_t type = lum::kEventPinSet);
    EventList& streaming(std::int32_t time, std::int32_t pinIndex, bool isStreaming) {
        return raw(time, isStreaming ? lum::kEventPinStreamingStart : lum::kEventPinStreamingStop, pinIndex);
    }
    EventList& graphStart(std::int32_t time) { return raw(time, lum::kEventGraphStart, 0); }
    // An event with no payload, of any type.
    EventList& raw(std::int32_t time, std::int32_t type, std::int32_t pinIndex);

    // The first event, or null when empty; valid until the list changes.
    const lum::HostEvent* head();
    bool empty() const { return events_.empty(); }
    void clear() {
        events_.clear();
        payloads_.clear();
    }

private:
    std::deque<lum::HostEvent> events_;
    std::deque<std::vector<std::uint8_t>> payloads_;
};

}  // namespace lumhost
