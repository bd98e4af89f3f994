// The lum plug-in API as the host sees it: six reference-counted interfaces, their
// identifiers, the status codes and the event record. Slot orders and layouts here are
// a binary contract with the host; do not reorder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lum_call.h"

static_assert(sizeof(char16_t) == 2, "identifiers and texts are UTF-16");

namespace lum {

// Results of every interface operation.
enum Status : std::int32_t {
    kOk = 0,
    kFailed = -1,    // the operation ran and failed
    kNotFound = -2,  // interface, identifier, sub-type or creator not there
};

// A GUID in the Windows memory layout, compared as 16 raw bytes.
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16, "GUIDs are 16 bytes");

inline bool operator==(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof(Guid)) == 0; }

// Not the platform's IUnknown: 0xC0 ends the third field here.
inline constexpr Guid kIidMpUnknown = {0x00000000, 0x0000, 0xC000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IMpUnknown {
public:
    // Stores the object answering `iid` through `out` with a new reference and returns 0;
    // otherwise stores null and returns -2. A null `out` is not written: -1. [any thread]
    virtual std::int32_t LUM_CALL queryInterface(const Guid* iid, void** out) = 0;
    // Returns the new reference count. [any thread, one at a time per object]
    virtual std::int32_t LUM_CALL addRef() = 0;
    // Returns the new count; the object frees itself at 0. [any thread, one at a time]
    virtual std::int32_t LUM_CALL release() = 0;

protected:
    ~IMpUnknown() = default;
};

// Which side of a module createInstance makes.
enum Subtype : std::int32_t { kSubtypeDsp = 0, kSubtypeGui = 1 };

inline constexpr Guid kIidMpFactory = {0x9A7904B7, 0x7F7F, 0x4D61, {0xB5, 0x58, 0xC1, 0xA6, 0x69, 0x5B, 0xB6, 0x38}};

class IMpFactory : public IMpUnknown {
public:
    // Creates the module registered as `uniqueId` (zero-terminated UTF-16) on side
    // `subtype` (0 DSP, 1 GUI), handing `host` to it; `out` receives it with one reference.
    // -2: unknown identifier, sub-type or empty side; -1: creation threw (as for a null
    // `host`) or `out` is null.
    // [user-interface thread]
    virtual std::int32_t LUM_CALL createInstance(const char16_t* uniqueId, std::int32_t subtype, IMpUnknown* host,
                                                 void** out) = 0;
    // Stores the SDK version and writes the compiler text into `text`, cut to `maxChars`
    // wide characters including the terminator. Returns 0. [any thread]
    virtual std::int32_t LUM_CALL getSdkInformation(std::int32_t* sdkVersion, std::int32_t maxChars,
                                                    char16_t* text) = 0;

protected:
    ~IMpFactory() = default;
};

// Event types of HostEvent::type.
enum EventType : std::int32_t {
    kEventPinSet = 100,             // a pin's value changed
    kEventPinStreamingStart = 101,  // an audio input starts streaming
    kEventPinStreamingStop = 102,   // an audio input stops streaming
    kEventPinOther = 103,           // anything else for a pin (MIDI)
    kEventGraphStart = 104,         // every output announces its state
};

// One timed event; `process` receives a list of them in non-decreasing `time` order.
// The layout is shared with the host: 32 bytes on 32-bit targets, 40 on 64-bit ones,
// where the two pointers sit at 24 and 32.
struct HostEvent {
    std::int32_t time;  // sample position in the block, 0 = first sample
    std::int32_t type;  // EventType
    std::int32_t pinIndex;
    std::int32_t size;           // byte count of the value
    std::uint8_t inlineData[8];  // the value when `data` is null; MIDI may use all 8
    const void* data;            // the value held outside the record, or null
    const HostEvent* next;       // null at the end of the list
};
static_assert(sizeof(void*) != 4 ||
                  (sizeof(HostEvent) == 32 && offsetof(HostEvent, data) == 24 && offsetof(HostEvent, next) == 28),
              "HostEvent is the host's 32-byte record on 32-bit targets");
static_assert(sizeof(void*) != 8 ||
                  (sizeof(HostEvent) == 40 && offsetof(HostEvent, data) == 24 && offsetof(HostEvent, next) == 32),
              "HostEvent is the host's 40-byte record on 64-bit targets");
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "HostEvent's layout is fixed for 32- and 64-bit targets only");
static_assert(offsetof(HostEvent, inlineData) == 16, "the inline value sits at byte 16");

// process handles at most this many events of one list: the rest of a longer (or cyclic)
// list is dropped, and the block runs on as after the last handled group.
inline constexpr std::int32_t kMaxEventsPerProcess = 4096;

inline constexpr Guid kIidMpPlugin = {0x2B0DFC7E, 0xA539, 0x49CD, {0xB7, 0x2D, 0x32, 0xFF, 0x9D, 0xF0, 0xD9, 0xE4}};

// The DSP side of a module. Every operation runs on the host's processing thread, one
// call at a time per instance.
class IMpPlugin : public IMpUnknown {
public:
    // Called once before processing. Returns 0. [processing thread]
    virtual std::int32_t LUM_CALL open() = 0;
    // Routes the host's sample buffer for one audio pin; -1 for an unregistered pin.
    // The buffer stays the host's. [processing thread]
    virtual std::int32_t LUM_CALL setBuffer(std::int32_t pinIndex, float* buffer) = 0;
    // Processes `count` samples with the events of this block (or null); a negative count
    // is 0, and at most kMaxEventsPerProcess events of a list are handled. Returns 0.
    // [processing thread]
    virtual std::int32_t LUM_CALL process(std::int32_t count, const HostEvent* events) = 0;
    // Returns 0, no effect. [processing thread]
    virtual std::int32_t LUM_CALL receiveMessage(std::int32_t id, std::int32_t size, void* data) = 0;

protected:
    ~IMpPlugin() = default;
};

inline constexpr Guid kIidMpUserInterface = {
    0xCACB3203, 0x4A57, 0x4209, {0x9E, 0x00, 0x0C, 0x4B, 0x95, 0x04, 0x57, 0xF6}};

// The GUI side of a module. Every operation runs on the host's user-interface thread.
class IMpUserInterface : public IMpUnknown {
public:
    // Returns 0. [user-interface thread]
    virtual std::int32_t LUM_CALL open() = 0;
    // Stores a pin value without running its handler; -1 for an unregistered pin or
    // unusable data (negative size, null data). The bytes stay the host's.
    // [user-interface thread]
    virtual std::int32_t LUM_CALL setPin(std::int32_t pinIndex, std::int32_t voice, std::int32_t size,
                                         const void* data) = 0;
    // Runs the pin's handler, which may call IMpGuiHost::writePin; -1 for an
    // unregistered pin. [user-interface thread]
    virtual std::int32_t LUM_CALL notifyPin(std::int32_t pinIndex, std::int32_t voice) = 0;
    // Returns 0, no effect. [user-interface thread]
    virtual std::int32_t LUM_CALL receiveMessage(std::int32_t id, std::int32_t size, void* data) = 0;
    // Slots with no role in these libraries: return 0. [user-interface thread]
    virtual std::int32_t LUM_CALL reservedSlot7() = 0;
    virtual std::int32_t LUM_CALL reservedSlot8(std::int32_t argument) = 0;

protected:
    ~IMpUserInterface() = default;
};

inline constexpr Guid kIidMpDspHost = {0x4F1B532F, 0x3C46, 0x4927, {0xA4, 0x98, 0x61, 0x48, 0x67, 0x42, 0x5B, 0xE7}};

// What a DSP module may ask of the host; called only from inside IMpPlugin::process,
// open and setBuffer. Results are not read.
class IMpDspHost : public IMpUnknown {
public:
    // A control output's new value at `blockPosition`; the host copies the bytes.
    virtual std::int32_t LUM_CALL setPin(std::int32_t blockPosition, std::int32_t pinIndex, std::int32_t size,
                                         const void* data) = 0;
    // An audio output's streaming state (0 or 1) from `blockPosition` on.
    virtual std::int32_t LUM_CALL setPinStreaming(std::int32_t blockPosition, std::int32_t pinIndex,
                                                  std::int32_t isStreaming) = 0;
    // The module's outputs are constant: stop calling process until an event arrives.
    virtual std::int32_t LUM_CALL sleep() = 0;
    // Not called by these libraries.
    virtual std::int32_t LUM_CALL reservedSlot6() = 0;
    virtual std::int32_t LUM_CALL getBlockSize(std::int32_t* blockSize) = 0;
    virtual std::int32_t LUM_CALL getSampleRate(float* sampleRate) = 0;

protected:
    ~IMpDspHost() = default;
};

inline constexpr Guid kIidMpGuiHost = {0x174F9DDC, 0x1850, 0x40DB, {0xBA, 0xF0, 0xE0, 0xB4, 0x1D, 0x07, 0x96, 0x45}};

// What a GUI module may ask of the host; called only from inside IMpUserInterface.
class IMpGuiHost : public IMpUnknown {
public:
    // A GUI pin's new value; the host copies the bytes. `voice` is always 0.
    virtual std::int32_t LUM_CALL writePin(std::int32_t pinIndex, std::int32_t size, const void* data,
                                           std::int32_t voice) = 0;

protected:
    ~IMpGuiHost() = default;
};

// The library entry point: stores the library's factory through `out` and returns 0;
// -1 when `out` is null. [load time, then any thread]
using GetFactoryFunction = std::int32_t(LUM_CALL*)(void** out);

}  // namespace lum
