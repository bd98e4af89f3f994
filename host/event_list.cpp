#include "event_list.h"

namespace lumhost {

EventList& EventList::bytes(std::int32_t time, std::int32_t pinIndex, std::int32_t size, const void* data, bool pointed,
                            std::int32_t type) {
    lum::HostEvent& event = events_.emplace_back(lum::HostEvent{time, type, pinIndex, size, {}, nullptr, nullptr});
    const std::size_t count = size > 0 ? static_cast<std::size_t>(size) : 0;
    if (!pointed && count <= sizeof event.inlineData) {
        if (count > 0) std::memcpy(event.inlineData, data, count);
    } else {
        const auto* first = static_cast<const std::uint8_t*>(data);
        event.data = payloads_.emplace_back(first, first + count).data();
    }
    return *this;
}

EventList& EventList::raw(std::int32_t time, std::int32_t type, std::int32_t pinIndex) {
    events_.push_back(lum::HostEvent{time, type, pinIndex, 0, {}, nullptr, nullptr});
    return *this;
}

const lum::HostEvent* EventList::head() {
    for (std::size_t i = 0; i + 1 < events_.size(); ++i) events_[i].next = &events_[i + 1];
    if (!events_.empty()) events_.back().next = nullptr;
    return events_.empty() ? nullptr : &events_.front();
}

}  // namespace lumhost
