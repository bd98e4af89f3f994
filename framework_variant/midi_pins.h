// The variant's MIDI pins: an input that hands type 103 bytes to the module's
// onMidiData, and an output that sends bytes to the host.
#pragma once

#include <cstdint>

#include "framework/dsp_pins.h"

namespace lum {

class MidiPinBase : public MpPinBase {
public:
    void setBuffer(float*) override {}
    std::int32_t getDatatype() const override { return kDatatypeMidi; }
    MpBase::EventHandler getDefaultEventHandler() const override { return nullptr; }
    void sendFirstUpdate() override {}
};

class MidiInPin : public MidiPinBase {
public:
    std::int32_t getDirection() const override { return kDirectionIn; }
    // Without a handler of the module's own, the event's bytes go to onMidiData: the
    // record's 8 inline bytes when it holds no pointer.
    void processEvent(const HostEvent* event) override {
        if (handler_ != nullptr) {
            MpPinBase::processEvent(event);
            return;
        }
        const EventBytes bytes = eventBytes(*event);
        owner_->onMidiData(pinIndex_, bytes.data, bytes.size);
    }
};

class MidiOutPin : public MidiPinBase {
public:
    std::int32_t getDirection() const override { return kDirectionOut; }

    // Sends `size` bytes at `position` (negative: the block position); the host copies them.
    virtual void send(const void* data, std::int32_t size, std::int32_t position = -1) {
        owner_->host().setPin(positionOrBlock(position), pinIndex_, size, data);
    }
};

}  // namespace lum
