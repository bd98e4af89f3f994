// A module on the filter library's framework variant that makes its pins observable.
#include <cstdint>

#include "framework/module_registration.h"
#include "framework_variant/audio_pin.h"
#include "framework_variant/midi_pins.h"
#include "variant_probe_protocol.h"

namespace {

using namespace lum;
using namespace variant_probe;

class LumVariantProbe final : public MpBase {
public:
    explicit LumVariantProbe(IMpUnknown* host) : MpBase(host) {
        registerPin(kIn, in_);
        registerPin(kOut, out_);
        registerPin(kCommand, command_);
        registerPin(kMidiIn, midiIn_);
        registerPin(kMidiOut, midiOut_);
    }

    void onSetPins() override {
        report(kSetPinsReport, streamingPinCount() * 10 + (in_.isStreamingUpdated() ? 1 : 0));
        if (!command_.isUpdated()) return;
        const std::int32_t command = command_.getValue();
        if (command & kTraceSpans) setSubProcess(&LumVariantProbe::copyAndTrace);
        if (command & kOutStreaming) out_.setStreaming(true);
        if (command & kOutQuiet) out_.setStreaming(false);
        if (command & kOutQuietAt17) out_.setStreaming(false, 17);
        if (command & kMaySleep) setSleep(true);
        if (command & kNeverSleep) setSleep(false);
        if (command & kReportSamples) {
            report(kSampleReport, in_.getValue(-1));
            report(kSampleReport, in_.getValue(2));
        }
    }

    void onMidiData(std::int32_t pinIndex, const void* bytes, std::int32_t size) override {
        if (pinIndex != kMidiIn) return;
        midiOut_.send(bytes, size);
        report(kMidiReport, bytes);
        report(kMidiReport, size);
    }

private:
    void copyAndTrace(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        report(kSpanReport, bufferOffset * 1000 + sampleFrames);
        for (std::int32_t i = bufferOffset; i < bufferOffset + sampleFrames; ++i)
            out_.getBuffer()[i] = in_.getBuffer()[i];
    }

    template <class T>
    void report(Report what, T value) {
        host().setPin(blockPosition(), what, sizeof value, &value);
    }

    MpAudioPin<kDirectionIn> in_;
    MpAudioPin<kDirectionOut> out_;
    MpControlPin<std::int32_t, kDirectionIn, kDatatypeInt> command_;
    MidiInPin midiIn_;
    MidiOutPin midiOut_;
};

[[maybe_unused]] const std::int32_t kRegistered =
    registerDspCreator(u"LumVariantProbe", &createModule<LumVariantProbe>);

}  // namespace
