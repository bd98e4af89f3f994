#include "gui_base.h"

#include <stdexcept>

#include "gui_pins.h"
#include "reference_counting.h"

namespace lum {

MpGuiBase::MpGuiBase(IMpUnknown* host) {
    void* answer = nullptr;
    if (host != nullptr) host->queryInterface(&kIidMpGuiHost, &answer);
    if (answer == nullptr) throw std::runtime_error("host Interfaces not supported");
    host_ = static_cast<IMpGuiHost*>(answer);
}

MpGuiBase::~MpGuiBase() { pins_.clear(); }

std::int32_t MpGuiBase::queryInterface(const Guid* iid, void** out) noexcept {
    return answerQueryInterface(*static_cast<IMpUserInterface*>(this), kIidMpUserInterface, iid, out);
}

std::int32_t MpGuiBase::addRef() noexcept { return ++refCount_; }

std::int32_t MpGuiBase::release() noexcept { return releaseReference(this, refCount_); }

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
