// Owns one reference on a lum interface and releases it when it goes.
#pragma once

#include <utility>

namespace lumhost {

template <class Interface>
class Ref {
public:
    Ref() = default;
    // Adopts a reference the caller already holds (as createInstance hands out).
    explicit Ref(Interface* object) : object_(object) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ~Ref() { reset(); }

    void reset() {
        if (object_ != nullptr) std::exchange(object_, nullptr)->release();
    }
    Interface* get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    Interface* object_ = nullptr;
};

}  // namespace lumhost
