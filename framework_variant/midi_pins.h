// The variant's MIDI pins: an input that hands type 103 bytes to the module's
// onMidiData, and an output that sends bytes to the host.
#pragma once

#include <cstdint>

#include "framework/dsp_pins.h"

namespace lum {

class MidiInPin : public MpPinBase {
public:
    void setBuffer(float*) override {}
    std::int32_t getDatatype() const override { return kDatatypeMidi; }
    std::int32_t getDirection() const override { return kDirectionIn; }
    MpBase::EventHandler getDefaultEventHandler() const override {
        return static_cast<MpBase::EventHandler>(&MpBase::deliverMidi);
    }
    void sendFirstUpdate() override {}
};

class MidiOutPin : public MidiInPin {
public:
    std::int32_t getDirection() const override { return kDirectionOut; }
    MpBase::EventHandler getDefaultEventHandler() const override { return nullptr; }

    // Sends `size` bytes at `position` (negative: the block position); the host copies them.
    virtual void send(const void* data, std::int32_t size, std::int32_t position = -1) {
        owner_->host().setPin(positionOrBlock(position), pinIndex_, size, data);
    }
};

}  // namespace lum
