// What the fuzz targets share: reading the fuzzer's bytes as a session, and the shipped
// module libraries loaded through their export with their descriptions, as the host has them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "generated/module_libraries.h"
#include "host/library_loader.h"
#include "host/module_description.h"

namespace lumfuzz {

// The fuzzer's bytes, read from the front; past the end every read gives 0, so any
// input is a complete session.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return position_ >= size_; }
    std::uint8_t byte() { return done() ? 0 : data_[position_++]; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return value;
    }
    std::int32_t i32() {
        const std::uint32_t bits = u32();
        std::int32_t value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    float f32() {
        const std::uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Fills `size` bytes, zeros past the end.
    void bytes(void* out, std::size_t size) {
        auto* to = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < size; ++i) to[i] = byte();
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

struct Library {
    std::unique_ptr<lumhost::ModuleLibrary> library;
    lumhost::LibraryDescription description;
};

// In the build's order (KEL_MATH first, then the filter library); loaded once, before
// fuzzing starts, so their coverage counts from the first input.
inline const std::vector<Library>& libraries() {
    static const std::vector<Library> loaded = [] {
        std::vector<Library> result;
        for (const char* name : lumbuild::kShippedLibraries) {
            const std::string path = std::string(LUM_LIBRARY_DIR) + "/" + name + ".lum";
            Library& library = result.emplace_back();
            library.library = std::make_unique<lumhost::ModuleLibrary>(path);
            library.description = lumhost::readLibraryDescription(lumhost::descriptionPath(path));
        }
        return result;
    }();
    return loaded;
}

struct ModuleChoice {
    const lumhost::ModuleLibrary* library;
    const lumhost::ModuleDescription* module;
};

// Every module of one side across the libraries, in description order.
inline std::vector<ModuleChoice> modulesOfSide(lumhost::Side side) {
    std::vector<ModuleChoice> result;
    for (const Library& library : libraries()) {
        for (const lumhost::ModuleDescription& module : library.description.modules) {
            if (module.side == side) result.push_back({library.library.get(), &module});
        }
    }
    return result;
}

// A pin index for an event or a call: a described pin mostly, else any index.
inline std::int32_t choosePinIndex(Input& input, const lumhost::ModuleDescription& module) {
    const std::uint8_t which = input.byte();
    if (which < 0xC0 && !module.pins.empty()) return module.pins[which % module.pins.size()].index;
    if (which < 0xFF) return static_cast<std::int8_t>(which);
    return input.i32();
}

// The size a host states for a value: the pin's own mostly, else small, odd or any.
inline std::int32_t chooseSize(Input& input, const lumhost::PinDescription* pin) {
    switch (input.byte() % 8) {
        case 0:
        case 1: return pin != nullptr ? lumhost::valueSize(pin->datatype) : 4;
        case 2: return 0;
        case 3: return 1;
        case 4: return 4;
        case 5: return 8;
        case 6: return input.byte();
        default: return input.i32();
    }
}

// A pointed value of exactly as many bytes as the host says it passes (at most 256):
// `value` first, a pattern after it.
inline std::unique_ptr<std::uint8_t[]> makePayload(const std::uint8_t (&value)[8], std::int32_t size) {
    constexpr std::size_t kMaxPayload = 256;
    const std::size_t length = std::min(static_cast<std::size_t>(std::max(size, 0)), kMaxPayload);
    std::unique_ptr<std::uint8_t[]> payload(new std::uint8_t[length]);
    std::memcpy(payload.get(), value, std::min(length, sizeof value));
    for (std::size_t i = sizeof value; i < length; ++i) payload[i] = static_cast<std::uint8_t>(i);
    return payload;
}

// A broken rule: libFuzzer keeps the input that led here as a crash.
[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

inline void expect(bool ok, const char* what) {
    if (!ok) fail(what);
}

}  // namespace lumfuzz
