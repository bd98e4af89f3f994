// What the test library's modules and the tests agree on: pin indices, commands and how
// the probe reports what the framework made it do.
#pragma once

#include <cstdint>

namespace probe {

// LumTestProbe pins.
enum Pin : std::int32_t {
    kValue = 0,    // float in, with a handler
    kCommand = 1,  // int in: a Command bit set, acted on in onSetPins
    kFlag = 2,     // bool in
    kSignal = 3,   // audio in
    kOut = 4,      // audio out, a copy of kSignal
    kTrace = 5,    // int out: one Trace per observation
    kDouble = 6,   // float out: twice kValue, sent on change
};

enum Command : std::int32_t {
    kUseTracingSubProcess = 1,
    kOutStreaming = 2,
    kOutQuiet = 4,
    kMaySleep = 8,
    kNeverSleep = 16,
};

// A trace value: what * 1'000'000 + a * 1000 + b.
enum TraceKind : std::int32_t {
    kSpan = 1,      // a = bufferOffset, b = sampleFrames of a sub-process call
    kSetPins = 2,   // a = UpdatedBits, b = streamingPinCount
    kHandler = 3,   // a = 1 if kValue was flagged updated inside its handler
    kFlagByte = 4,  // a = the byte kFlag holds, after an event set it
};

enum UpdatedBits : std::int32_t {
    kValueUpdated = 1,
    kCommandUpdated = 2,
    kFlagUpdated = 4,
    kSignalStreamingUpdated = 8,
};

constexpr std::int32_t trace(TraceKind kind, std::int32_t a, std::int32_t b) { return kind * 1000000 + a * 1000 + b; }

}  // namespace probe

// LumTestControl: Sum = A + B, sent on change. LumTestGain: Out = In * Gain.
namespace control {
enum Pin : std::int32_t { kA = 0, kB = 1, kSum = 2 };
}
namespace gain {
enum Pin : std::int32_t { kIn = 0, kGain = 1, kOut = 2 };
}

// LumTestGuiScale: Out = 2 * In and back; Int and Bool echo their stored value on
// notify; Plain has no handler.
namespace gui {
enum Pin : std::int32_t { kIn = 0, kOut = 1, kInt = 2, kBool = 3, kPlain = 4 };
}
