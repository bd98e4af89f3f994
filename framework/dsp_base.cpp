#include "dsp_base.h"

#include <algorithm>

#include "dsp_pins.h"

namespace lum {

MpBase::MpBase(IMpUnknown* host) : MpModuleObject(host) {}

MpBase::~MpBase() { host().release(); }

std::int32_t MpBase::open() noexcept { return kOk; }

std::int32_t MpBase::receiveMessage(std::int32_t, std::int32_t, void*) noexcept { return kOk; }

std::int32_t MpBase::setBuffer(std::int32_t pinIndex, float* buffer) noexcept {
    const auto found = pins_.find(pinIndex);
    if (found == pins_.end()) return kFailed;
    try {
        found->second->setBuffer(buffer);
    } catch (...) {
        return kFailed;
    }
    return kOk;
}

void MpBase::onMidiData(std::int32_t, const void*, std::int32_t) {}

void MpBase::onSetPins() {}

void MpBase::onGraphStart() {
    for (const auto& [index, pin] : pins_) {
        if (pin->getDirection() == kDirectionOut) pin->sendFirstUpdate();
    }
}

void MpBase::registerPin(std::int32_t pinIndex, MpPinBase& pin, EventHandler handler) {
    pin.pinIndex_ = pinIndex;
    pin.owner_ = this;
    pin.handler_ = handler;
    if (handler == nullptr && pin.getDirection() == kDirectionIn) pin.handler_ = pin.getDefaultEventHandler();
    pins_.emplace(pinIndex, &pin);
}

void MpBase::setSubProcess(SubProcess subProcess) {
    if (currentSubProcess_ == userSubProcess_) currentSubProcess_ = subProcess;
    userSubProcess_ = subProcess;
}

void MpBase::setSleep(bool maySleep) {
    if (maySleep) {
        sleepMode_ = SleepMode::MaySleep;
        currentSubProcess_ = &MpBase::preSleepSubProcess;
    } else {
        sleepMode_ = SleepMode::NeverSleeps;
    }
}

void MpBase::onStreamingChange(bool isStreaming) {
    streamingPinCount_ += isStreaming ? 1 : -1;
    currentSubProcess_ =
        (streamingPinCount_ != 0 && sleepMode_ != SleepMode::MaySleep) ? userSubProcess_ : &MpBase::preSleepSubProcess;
}

void MpBase::declareOutputStreaming(std::int32_t pinIndex, bool& pinIsStreaming, bool isStreaming,
                                    std::int32_t position) {
    if (isStreaming != pinIsStreaming) {
        pinIsStreaming = isStreaming;
        onStreamingChange(isStreaming);
    }
    if (!pinIsStreaming) host().getBlockSize(&sleepCountdown_);
    host().setPinStreaming(position, pinIndex, pinIsStreaming ? 1 : 0);
}

std::int32_t MpBase::process(std::int32_t count, const HostEvent* events) noexcept {
    count = std::max(count, 0);
    std::int32_t position = 0;
    // A block without events stamps at its start, never at an earlier block's event time.
    blockPosition_ = 0;
    const HostEvent* event = events;
    // A broken host's list (absurdly long, or looping back on itself) is cut here, so
    // process always returns.
    std::int32_t eventsLeft = kMaxEventsPerProcess;
    while (event != nullptr) {
        // A late event is handled where the block has got to, so no span is negative
        // and nothing is stamped before samples already processed.
        const std::int32_t time = std::max(event->time, position);
        const std::int32_t span = time - position;
        // An event past the samples left is not handled: the rest of the block ends it,
        // as for an event at the block length.
        if (span > count) {
            if (count > 0) runSpan(position, count);
            return kOk;
        }
        if (span > 0) {
            runSpan(position, span);
            count -= span;
            if (count == 0) return kOk;
            position += span;
        }

        blockPosition_ = time;
        const HostEvent* groupEnd = event;
        std::int32_t groupSize = 0;
        bool setsPins = false;
        for (; groupEnd != nullptr && groupEnd->time <= time && groupSize < eventsLeft; groupEnd = groupEnd->next) {
            ++groupSize;
            if (MpPinBase* pin = pinFor(*groupEnd)) pin->preProcessEvent(groupEnd);
            if (groupEnd->type >= kEventPinSet && groupEnd->type <= kEventPinStreamingStop) setsPins = true;
        }
        // The later passes walk as many events as the first, whatever the links do.
        const HostEvent* e = event;
        for (std::int32_t i = 0; i < groupSize; ++i, e = e->next) {
            if (MpPinBase* pin = pinFor(*e)) {
                pin->processEvent(e);
            } else if (e->type == kEventGraphStart) {
                onGraphStart();
            }
        }
        if (setsPins) onSetPins();
        e = event;
        for (std::int32_t i = 0; i < groupSize; ++i, e = e->next) {
            if (MpPinBase* pin = pinFor(*e)) pin->postProcessEvent(e);
        }
        eventsLeft -= groupSize;
        event = eventsLeft > 0 ? groupEnd : nullptr;
    }
    // Into the module: its sub-process, or the sleep step around it, fills the block's rest.
    (this->*currentSubProcess_)(position, count);
    return kOk;
}

MpPinBase* MpBase::pinFor(const HostEvent& event) const {
    if (event.type < kEventPinSet || event.type > kEventPinOther) return nullptr;
    const auto found = pins_.find(event.pinIndex);
    return found != pins_.end() ? found->second : nullptr;
}

void MpBase::runSpan(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    eventsComplete_ = false;
    (this->*currentSubProcess_)(bufferOffset, sampleFrames);
    eventsComplete_ = true;
}

bool MpBase::maySleepNow() const {
    return (sleepMode_ == SleepMode::Automatic && streamingPinCount_ == 0) || sleepMode_ == SleepMode::MaySleep;
}

void MpBase::preSleepSubProcess(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    for (;;) {
        if (!maySleepNow()) {
            currentSubProcess_ = userSubProcess_;
            if (sampleFrames > 0) (this->*userSubProcess_)(bufferOffset, sampleFrames);
            return;
        }
        if (sleepCountdown_ <= 0) {
            if (eventsComplete_) {
                host().sleep();
                return;
            }
            // Never fall asleep in the middle of a block.
            sleepCountdown_ = sampleFrames;
        }
        if (sampleFrames == 0) return;
        const std::int32_t frames = std::min(sleepCountdown_, sampleFrames);
        sleepCountdown_ -= frames;
        sampleFrames -= frames;
        (this->*userSubProcess_)(bufferOffset, frames);
        bufferOffset += frames;
    }
}

void MpBase::idleSubProcess(std::int32_t, std::int32_t) {}

}  // namespace lum
