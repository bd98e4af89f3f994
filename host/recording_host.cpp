#include "recording_host.h"

#include <algorithm>
#include <ostream>

namespace lumhost {
namespace {

constexpr std::size_t kReservedCalls = 1 << 16;

HostCall makeCall(HostCallKind kind, std::int32_t position, std::int32_t pinIndex, std::int32_t size, const void* bytes,
                  std::int32_t argument) {
    HostCall call{kind};
    call.position = position;
    call.pinIndex = pinIndex;
    call.size = size;
    call.argument = argument;
    if (size > 0 && bytes != nullptr) {
        std::memcpy(call.bytes.data(), bytes, std::min(static_cast<std::size_t>(size), HostCall::kKeptBytes));
    }
    return call;
}

const char* nameOf(HostCallKind kind) {
    switch (kind) {
        case HostCallKind::QueryInterface: return "queryInterface";
        case HostCallKind::AddRef: return "addRef";
        case HostCallKind::Release: return "release";
        case HostCallKind::SetPin: return "setPin";
        case HostCallKind::SetPinStreaming: return "setPinStreaming";
        case HostCallKind::Sleep: return "sleep";
        case HostCallKind::ReservedSlot6: return "reservedSlot6";
        case HostCallKind::GetBlockSize: return "getBlockSize";
        case HostCallKind::GetSampleRate: return "getSampleRate";
        case HostCallKind::WritePin: return "writePin";
    }
    return "?";
}

}  // namespace

bool HostCall::operator==(const HostCall& other) const {
    return kind == other.kind && position == other.position && pinIndex == other.pinIndex && size == other.size &&
           argument == other.argument && bytes == other.bytes;
}

HostCall setPinCall(std::int32_t position, std::int32_t pinIndex, std::int32_t size, const void* bytes) {
    return makeCall(HostCallKind::SetPin, position, pinIndex, size, bytes, 0);
}
HostCall setPinStreamingCall(std::int32_t position, std::int32_t pinIndex, bool isStreaming) {
    return makeCall(HostCallKind::SetPinStreaming, position, pinIndex, 0, nullptr, isStreaming ? 1 : 0);
}
HostCall sleepCall() { return makeCall(HostCallKind::Sleep, 0, 0, 0, nullptr, 0); }
HostCall getBlockSizeCall() { return makeCall(HostCallKind::GetBlockSize, 0, 0, 0, nullptr, 0); }
HostCall getSampleRateCall() { return makeCall(HostCallKind::GetSampleRate, 0, 0, 0, nullptr, 0); }
HostCall writePinCall(std::int32_t pinIndex, std::int32_t size, const void* bytes) {
    return makeCall(HostCallKind::WritePin, 0, pinIndex, size, bytes, 0);
}

std::ostream& operator<<(std::ostream& out, const HostCall& call) {
    out << nameOf(call.kind);
    switch (call.kind) {
        case HostCallKind::SetPin:
        case HostCallKind::WritePin: {
            if (call.kind == HostCallKind::SetPin)
                out << "(at " << call.position << ", ";
            else
                out << "(";
            out << "pin " << call.pinIndex << ", " << call.size << " bytes";
            if (call.size == 4) out << ": int " << call.value<std::int32_t>() << " / float " << call.value<float>();
            if (call.size == 1) out << ": byte " << static_cast<int>(call.bytes[0]);
            return out << ")";
        }
        case HostCallKind::SetPinStreaming:
            return out << "(at " << call.position << ", pin " << call.pinIndex << ", " << call.argument << ")";
        default: return out << "()";
    }
}

RecordingHost::RecordingHost(const Options& options) : options_(options) { calls_.reserve(kReservedCalls); }

std::vector<HostCall> RecordingHost::exchange() const {
    std::vector<HostCall> result;
    for (const HostCall& call : calls_) {
        if (call.kind != HostCallKind::QueryInterface && call.kind != HostCallKind::AddRef &&
            call.kind != HostCallKind::Release) {
            result.push_back(call);
        }
    }
    return result;
}

std::int32_t RecordingHost::sleepCount() const {
    return static_cast<std::int32_t>(
        std::count_if(calls_.begin(), calls_.end(), [](const HostCall& c) { return c.kind == HostCallKind::Sleep; }));
}

HostCall& RecordingHost::record(HostCallKind kind) {
    calls_.push_back(HostCall{kind});
    return calls_.back();
}

std::int32_t RecordingHost::answer(const lum::Guid* iid, void** out) {
    record(HostCallKind::QueryInterface);
    if (out == nullptr) return lum::kFailed;
    *out = nullptr;
    if (iid == nullptr) return lum::kNotFound;
    if (*iid == lum::kIidMpUnknown || (*iid == lum::kIidMpDspHost && options_.offerDspHost)) {
        *out = static_cast<lum::IMpDspHost*>(&dspFace_);
    } else if (*iid == lum::kIidMpGuiHost && options_.offerGuiHost) {
        *out = static_cast<lum::IMpGuiHost*>(&guiFace_);
    } else {
        return lum::kNotFound;
    }
    ++references_;
    return lum::kOk;
}

std::int32_t RecordingHost::DspFace::setPin(std::int32_t blockPosition, std::int32_t pinIndex, std::int32_t size,
                                            const void* data) {
    owner_.calls_.push_back(makeCall(HostCallKind::SetPin, blockPosition, pinIndex, size, data, 0));
    return lum::kOk;
}
std::int32_t RecordingHost::DspFace::setPinStreaming(std::int32_t blockPosition, std::int32_t pinIndex,
                                                     std::int32_t isStreaming) {
    owner_.calls_.push_back(makeCall(HostCallKind::SetPinStreaming, blockPosition, pinIndex, 0, nullptr, isStreaming));
    return lum::kOk;
}
std::int32_t RecordingHost::DspFace::sleep() {
    owner_.record(HostCallKind::Sleep);
    return lum::kOk;
}
std::int32_t RecordingHost::DspFace::reservedSlot6() {
    owner_.record(HostCallKind::ReservedSlot6);
    return lum::kOk;
}
std::int32_t RecordingHost::DspFace::getBlockSize(std::int32_t* blockSize) {
    owner_.record(HostCallKind::GetBlockSize);
    if (blockSize != nullptr) *blockSize = owner_.options_.blockSize;
    return lum::kOk;
}
std::int32_t RecordingHost::DspFace::getSampleRate(float* sampleRate) {
    owner_.record(HostCallKind::GetSampleRate);
    if (sampleRate != nullptr) *sampleRate = owner_.options_.sampleRate;
    return lum::kOk;
}

std::int32_t RecordingHost::GuiFace::writePin(std::int32_t pinIndex, std::int32_t size, const void* data,
                                              std::int32_t voice) {
    owner_.calls_.push_back(makeCall(HostCallKind::WritePin, 0, pinIndex, size, data, voice));
    if (owner_.writePinListener_) owner_.writePinListener_(pinIndex, size, data);
    return lum::kOk;
}

}  // namespace lumhost
