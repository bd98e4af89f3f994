// A host object that answers IMpDspHost and IMpGuiHost and records every call a module
// makes, with its arguments and value bytes, in order. Recording allocates nothing
// until the reserved capacity runs out, so it can watch allocation-free processing.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iosfwd>
#include <thread>
#include <utility>
#include <vector>

#include "framework/interfaces.h"

namespace lumhost {

enum class HostCallKind : std::int32_t {
    QueryInterface,
    AddRef,
    Release,
    SetPin,           // IMpDspHost slot 3
    SetPinStreaming,  // slot 4
    Sleep,            // slot 5
    ReservedSlot6,    // slot 6
    GetBlockSize,     // slot 7
    GetSampleRate,    // slot 8
    WritePin,         // IMpGuiHost slot 3
};

struct HostCall {
    static constexpr std::size_t kKeptBytes = 16;

    HostCallKind kind;
    std::int32_t position = 0;  // block position (DSP calls)
    std::int32_t pinIndex = 0;
    std::int32_t size = 0;                                // byte count as the module gave it
    std::int32_t argument = 0;                            // streaming flag (setPinStreaming) or voice (writePin)
    std::array<std::uint8_t, kKeptBytes> bytes{};         // the first kKeptBytes of the value
    std::thread::id thread = std::this_thread::get_id();  // the module's thread at the call

    // The value read as T; valid when size == sizeof(T).
    template <class T>
    T value() const {
        T result{};
        std::memcpy(&result, bytes.data(), sizeof(T));
        return result;
    }
    // Compares every recorded field but the thread, and the value's bytes bitwise.
    bool operator==(const HostCall& other) const;
    bool operator!=(const HostCall& other) const { return !(*this == other); }
};

// Expected calls, for tests and checks.
HostCall setPinCall(std::int32_t position, std::int32_t pinIndex, std::int32_t size, const void* bytes);
template <class T>
HostCall setPinCall(std::int32_t position, std::int32_t pinIndex, T value) {
    return setPinCall(position, pinIndex, sizeof(T), &value);
}
HostCall setPinStreamingCall(std::int32_t position, std::int32_t pinIndex, bool isStreaming);
HostCall sleepCall();
HostCall getBlockSizeCall();
HostCall getSampleRateCall();
HostCall writePinCall(std::int32_t pinIndex, std::int32_t size, const void* bytes);
template <class T>
HostCall writePinCall(std::int32_t pinIndex, T value) {
    return writePinCall(pinIndex, sizeof(T), &value);
}

std::ostream& operator<<(std::ostream& out, const HostCall& call);

class RecordingHost {
public:
    struct Options {
        bool offerDspHost = true;
        bool offerGuiHost = true;
        std::int32_t blockSize = 64;
        float sampleRate = 44100.0f;
    };

    RecordingHost() : RecordingHost(Options{}) {}
    explicit RecordingHost(const Options& options);
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    // The object handed to createInstance.
    lum::IMpUnknown* object() { return &dspFace_; }

    // Runs after each writePin is recorded, inside the module's call, with the module's
    // arguments: a host that answers a write by setting the pin again installs one.
    using WritePinListener = std::function<void(std::int32_t pinIndex, std::int32_t size, const void* data)>;
    void setWritePinListener(WritePinListener listener) { writePinListener_ = std::move(listener); }

    void setBlockSize(std::int32_t blockSize) { options_.blockSize = blockSize; }
    void setSampleRate(float sampleRate) { options_.sampleRate = sampleRate; }
    std::int32_t blockSize() const { return options_.blockSize; }
    float sampleRate() const { return options_.sampleRate; }

    // Every call, reference counting and interface queries included.
    const std::vector<HostCall>& allCalls() const { return calls_; }
    // The module's conversation: the IMpDspHost and IMpGuiHost operations only.
    std::vector<HostCall> exchange() const;
    void clear() { calls_.clear(); }

    // References the modules hold on this host (addRef minus release, queries included).
    std::int32_t referencesHeld() const { return references_; }
    // How many times the module asked to sleep since the last clear.
    std::int32_t sleepCount() const;

private:
    // What both faces do alike: interface queries, and references counted on the owner.
    template <class Interface>
    class Face : public Interface {
    public:
        explicit Face(RecordingHost& owner) : owner_(owner) {}
        std::int32_t LUM_CALL queryInterface(const lum::Guid* iid, void** out) override {
            return owner_.answer(iid, out);
        }
        std::int32_t LUM_CALL addRef() override {
            owner_.record(HostCallKind::AddRef);
            return ++owner_.references_;
        }
        std::int32_t LUM_CALL release() override {
            owner_.record(HostCallKind::Release);
            return --owner_.references_;
        }

    protected:
        RecordingHost& owner_;
    };

    class DspFace final : public Face<lum::IMpDspHost> {
    public:
        using Face::Face;
        std::int32_t LUM_CALL setPin(std::int32_t blockPosition, std::int32_t pinIndex, std::int32_t size,
                                     const void* data) override;
        std::int32_t LUM_CALL setPinStreaming(std::int32_t blockPosition, std::int32_t pinIndex,
                                              std::int32_t isStreaming) override;
        std::int32_t LUM_CALL sleep() override;
        std::int32_t LUM_CALL reservedSlot6() override;
        std::int32_t LUM_CALL getBlockSize(std::int32_t* blockSize) override;
        std::int32_t LUM_CALL getSampleRate(float* sampleRate) override;
    };

    class GuiFace final : public Face<lum::IMpGuiHost> {
    public:
        using Face::Face;
        std::int32_t LUM_CALL writePin(std::int32_t pinIndex, std::int32_t size, const void* data,
                                       std::int32_t voice) override;
    };

    std::int32_t answer(const lum::Guid* iid, void** out);
    HostCall& record(HostCallKind kind);

    Options options_;
    DspFace dspFace_{*this};
    GuiFace guiFace_{*this};
    std::vector<HostCall> calls_;
    std::int32_t references_ = 0;
    WritePinListener writePinListener_;
};

}  // namespace lumhost
