// The GUI-side module object: values held by the host's user interface go in through
// setPin, handlers run on notifyPin and write results back with IMpGuiHost::writePin.
#pragma once

#include <cstdint>
#include <map>

#include "interfaces.h"
#include "reference_counting.h"

namespace lum {

class MpGuiPinBase;

class MpGuiBase : public MpModuleObject<MpGuiBase, IMpUserInterface, kIidMpUserInterface, IMpGuiHost, kIidMpGuiHost> {
public:
    // A pin's reaction to notifyPin.
    using PinHandler = void (MpGuiBase::*)();

    // Throws std::runtime_error("host Interfaces not supported") when the host object is
    // null or does not offer IMpGuiHost, so createInstance reports -1. [load time]
    explicit MpGuiBase(IMpUnknown* host);
    MpGuiBase(const MpGuiBase&) = delete;
    MpGuiBase& operator=(const MpGuiBase&) = delete;

    std::int32_t LUM_CALL open() noexcept override;
    std::int32_t LUM_CALL setPin(std::int32_t pinIndex, std::int32_t voice, std::int32_t size,
                                 const void* data) noexcept override;
    std::int32_t LUM_CALL notifyPin(std::int32_t pinIndex, std::int32_t voice) noexcept override;
    std::int32_t LUM_CALL receiveMessage(std::int32_t id, std::int32_t size, void* data) noexcept override;
    std::int32_t LUM_CALL reservedSlot7() noexcept override;
    std::int32_t LUM_CALL reservedSlot8(std::int32_t argument) noexcept override;

    // The host reference is held for the module's life and not released: the host owns it.
    virtual ~MpGuiBase();

    // Called by MpGuiPin::initialize; a taken index keeps its first pin. [load time]
    void addPin(std::int32_t pinIndex, MpGuiPinBase& pin);

private:
    std::map<std::int32_t, MpGuiPinBase*> pins_;  // members of the module, not owned
};

}  // namespace lum
