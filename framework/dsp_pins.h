// DSP pins: the base every pin kind shares, and the control pins holding one float,
// int32 or bool value that changes at event times.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "dsp_base.h"
#include "pin_values.h"

namespace lum {

// The bytes an event carries: its pointed data, or else its inline record, never more
// than the record holds. A negative size is 0.
struct EventBytes {
    const void* data;
    std::int32_t size;
};
inline EventBytes eventBytes(const HostEvent& event) {
    const std::int32_t size = event.size > 0 ? event.size : 0;
    if (event.data != nullptr) return {event.data, size};
    return {event.inlineData, std::min(size, static_cast<std::int32_t>(sizeof event.inlineData))};
}

// A connection point of a DSP module; a data member of the module, registered with
// MpBase::registerPin before the host can reach it.
class MpPinBase {
public:
    MpPinBase() = default;
    MpPinBase(const MpPinBase&) = delete;
    MpPinBase& operator=(const MpPinBase&) = delete;
    virtual ~MpPinBase() = default;

    virtual void setBuffer(float* buffer) = 0;
    // Event pass 1: take the event's value or streaming state.
    virtual void preProcessEvent(const HostEvent*) {}
    // Event pass 2: run the pin's handler on the owning module.
    virtual void processEvent(const HostEvent* event) {
        if (handler_ != nullptr) (owner_->*handler_)(event);
    }
    // Event pass 3, after onSetPins: clear what pass 1 flagged.
    virtual void postProcessEvent(const HostEvent*) {}
    virtual std::int32_t getDatatype() const = 0;
    virtual std::int32_t getDirection() const = 0;
    virtual MpBase::EventHandler getDefaultEventHandler() const = 0;
    // Graph start: an output tells the host its current state.
    virtual void sendFirstUpdate() = 0;

    std::int32_t getPinIndex() const { return pinIndex_; }

protected:
    friend class MpBase;

    // `position`, or the event group's block position for a negative one: any negative
    // position, not only -1, so the host never hears a time before the block.
    std::int32_t positionOrBlock(std::int32_t position) const {
        return position < 0 ? owner_->blockPosition() : position;
    }
    // The owner's streaming bookkeeping, for the audio pins.
    void countStreamingChange(bool isStreaming) { owner_->onStreamingChange(isStreaming); }
    void declareOutputStreaming(bool& pinIsStreaming, bool isStreaming, std::int32_t position) {
        owner_->declareOutputStreaming(pinIndex_, pinIsStreaming, isStreaming, position);
    }

    std::int32_t pinIndex_ = -1;
    MpBase* owner_ = nullptr;
    MpBase::EventHandler handler_ = nullptr;
};

template <class T, std::int32_t Datatype>
class MpControlPinBase : public MpPinBase {
public:
    using Value = PinStorage<T>;
    static_assert(sizeof(Value) == (std::is_same_v<T, bool> ? 1 : 4), "control values are 4 bytes, bool 1");

    void setBuffer(float*) override {}
    void preProcessEvent(const HostEvent* event) override {
        if (event->type != kEventPinSet) return;
        const EventBytes bytes = eventBytes(*event);
        setValueRaw(bytes.size, bytes.data);
        updated_ = true;
    }
    void postProcessEvent(const HostEvent* event) override {
        if (event->type == kEventPinSet) updated_ = false;
    }
    std::int32_t getDatatype() const override { return Datatype; }
    MpBase::EventHandler getDefaultEventHandler() const override { return nullptr; }
    void sendFirstUpdate() override { sendValue(); }

    virtual void setValueRaw(std::int32_t size, const void* data) { storeValueBytes(value_, size, data); }
    virtual std::int32_t getSize() const { return static_cast<std::int32_t>(sizeof value_); }
    virtual const void* getValuePointer() const { return &value_; }

    Value getValue() const { return value_; }
    // True from the value event's first pass to its third, so in handlers and onSetPins.
    bool isUpdated() const { return updated_; }

    // Stores `value` and sends it if it differs by the type's own inequality (IEEE for
    // float: NaN always goes out, a change between +0 and -0 never does).
    void setValue(Value value) {
        if (value == value_) return;
        value_ = value;
        sendValue();
    }
    // Sends the current value to the host, stamped with the group's block position.
    void sendValue() { owner_->host().setPin(owner_->blockPosition(), pinIndex_, getSize(), getValuePointer()); }

private:
    Value value_{};
    bool updated_ = false;
};

template <class T, std::int32_t Direction, std::int32_t Datatype>
class MpControlPin : public MpControlPinBase<T, Datatype> {
public:
    std::int32_t getDirection() const override { return Direction; }
};

}  // namespace lum
