#include "gui_base.h"

#include "gui_pins.h"

namespace lum {

MpGuiBase::MpGuiBase(IMpUnknown* host) : MpModuleObject(host) {}

MpGuiBase::~MpGuiBase() = default;

std::int32_t MpGuiBase::open() noexcept { return kOk; }

std::int32_t MpGuiBase::setPin(std::int32_t pinIndex, std::int32_t voice, std::int32_t size,
                               const void* data) noexcept {
    const auto found = pins_.find(pinIndex);
    if (found == pins_.end()) return kFailed;
    if (size < 0 || (size > 0 && data == nullptr)) return kFailed;
    found->second->setValueRaw(voice, size, data);
    return kOk;
}

std::int32_t MpGuiBase::notifyPin(std::int32_t pinIndex, std::int32_t voice) noexcept {
    const auto found = pins_.find(pinIndex);
    if (found == pins_.end()) return kFailed;
    found->second->notify(voice);
    return kOk;
}

std::int32_t MpGuiBase::receiveMessage(std::int32_t, std::int32_t, void*) noexcept { return kOk; }

std::int32_t MpGuiBase::reservedSlot7() noexcept { return kOk; }

std::int32_t MpGuiBase::reservedSlot8(std::int32_t) noexcept { return kOk; }

void MpGuiBase::addPin(std::int32_t pinIndex, MpGuiPinBase& pin) { pins_.emplace(pinIndex, &pin); }

}  // namespace lum
