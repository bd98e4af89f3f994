// What the variant probe library and its tests agree on.
#pragma once

#include <cstdint>

namespace variant_probe {

enum Pin : std::int32_t {
    kIn = 0,       // MpAudioPin<0>
    kOut = 1,      // MpAudioPin<1>, a copy of kIn while the tracing sub-process runs
    kCommand = 2,  // MpControlPin<int,0,8>: Command bits, acted on in onSetPins
    kMidiIn = 3,
    kMidiOut = 4,  // echoes every MIDI message that kMidiIn delivers
};

// Reports go to the host on indices no pin holds.
enum Report : std::int32_t {
    kSetPinsReport = 10,  // int: streamingPinCount * 10 + (kIn's streamingUpdated ? 1 : 0)
    kSpanReport = 11,     // int: bufferOffset * 1000 + sampleFrames
    kSampleReport = 12,   // float: kIn's getValue(-1), then getValue(2)
    kMidiReport = 13,     // the bytes pointer onMidiData received, then the size as int
};

enum Command : std::int32_t {
    kTraceSpans = 1,
    kOutStreaming = 2,
    kOutQuiet = 4,
    kOutQuietAt17 = 8,
    kMaySleep = 16,
    kNeverSleep = 32,
    kReportSamples = 64,
};

}  // namespace variant_probe
