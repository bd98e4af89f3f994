// GUI pins: one float, int32 or bool held for the host's user interface.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "gui_base.h"
#include "pin_values.h"

namespace lum {

class MpGuiPinBase {
public:
    MpGuiPinBase() = default;
    MpGuiPinBase(const MpGuiPinBase&) = delete;
    MpGuiPinBase& operator=(const MpGuiPinBase&) = delete;
    virtual ~MpGuiPinBase() = default;

    // Stores the host's bytes, as many as the pin holds (setPin has checked them).
    virtual void setValueRaw(std::int32_t voice, std::int32_t size, const void* data) = 0;
    // Runs the pin's handler on its module, if it has one.
    virtual void notify(std::int32_t voice) = 0;
    virtual std::int32_t getDatatype() const = 0;
};

class MpGuiPinSimpleBase : public MpGuiPinBase {
public:
    void notify(std::int32_t) override {
        if (handler_ != nullptr) (owner_->*handler_)();
    }
    virtual std::int32_t getSize() const = 0;
    virtual const void* getValuePointer() const = 0;

    std::int32_t getPinIndex() const { return pinIndex_; }

protected:
    // Binds the pin to `owner` under `pinIndex`. [load time]
    void bind(MpGuiBase& owner, std::int32_t pinIndex, MpGuiBase::PinHandler handler) {
        handler_ = handler;
        pinIndex_ = pinIndex;
        owner_ = &owner;
        owner.addPin(pinIndex, *this);
    }
    // Sends the pin's value to the host; the module's own handler does not run.
    void writeToHost() { owner_->host().writePin(pinIndex_, getSize(), getValuePointer(), 0); }

private:
    std::int32_t pinIndex_ = -1;
    MpGuiBase* owner_ = nullptr;
    MpGuiBase::PinHandler handler_ = nullptr;
};

template <class T>
class MpGuiPin final : public MpGuiPinSimpleBase {
public:
    using Value = PinStorage<T>;
    static_assert(std::is_same_v<T, float> || std::is_same_v<T, std::int32_t> || std::is_same_v<T, bool>,
                  "GUI pins hold float, int32 or bool");

    void setValueRaw(std::int32_t, std::int32_t size, const void* data) override {
        storeValueBytes(value_, size, data);
    }
    std::int32_t getDatatype() const override { return datatypeOf<T>(); }
    std::int32_t getSize() const override { return static_cast<std::int32_t>(sizeof value_); }
    const void* getValuePointer() const override { return &value_; }

    // Binds the pin and clears its value. [load time]
    template <class Module>
    void initialize(Module& owner, std::int32_t pinIndex, void (Module::*handler)() = nullptr) {
        value_ = Value{};
        bind(owner, pinIndex, static_cast<MpGuiBase::PinHandler>(handler));
    }

    Value getValue() const { return value_; }
    // Stores `value` and writes it to the host.
    void write(Value value) {
        value_ = value;
        writeToHost();
    }

private:
    Value value_{};
};

}  // namespace lum
