// Modules that exist only to drive the framework through the real export.
#include <stdexcept>

#include "framework/audio_pins.h"
#include "framework/gui_pins.h"
#include "framework/module_registration.h"
#include "probe_protocol.h"

namespace {

using namespace lum;

// Reports sub-process spans, handler and onSetPins observations through its trace pin,
// and follows commands that exercise streaming, sleep and sub-process selection.
class LumTestProbe final : public MpBase {
public:
    explicit LumTestProbe(IMpUnknown* host) : MpBase(host) {
        registerPin(probe::kValue, value_, static_cast<EventHandler>(&LumTestProbe::onValueEvent));
        registerPin(probe::kCommand, command_);
        registerPin(probe::kFlag, flag_);
        registerPin(probe::kSignal, signal_);
        registerPin(probe::kOut, out_);
        registerPin(probe::kTrace, trace_);
        registerPin(probe::kDouble, double_);
    }

    void onSetPins() override {
        const std::int32_t updated = (value_.isUpdated() ? probe::kValueUpdated : 0) |
                                     (command_.isUpdated() ? probe::kCommandUpdated : 0) |
                                     (flag_.isUpdated() ? probe::kFlagUpdated : 0) |
                                     (signal_.isStreamingUpdated() ? probe::kSignalStreamingUpdated : 0);
        report(probe::kSetPins, updated, streamingPinCount());
        if (flag_.isUpdated()) report(probe::kFlagByte, flag_.getValue(), 0);
        double_.setValue(value_.getValue() * 2.0f);
        if (!command_.isUpdated()) return;
        const std::int32_t command = command_.getValue();
        if (command & probe::kUseTracingSubProcess) setSubProcess(&LumTestProbe::tracingSubProcess);
        if (command & probe::kOutStreaming) out_.setStreaming(true);
        if (command & probe::kOutQuiet) out_.setStreaming(false);
        if (command & probe::kMaySleep) setSleep(true);
        if (command & probe::kNeverSleep) setSleep(false);
    }

private:
    void onValueEvent(const HostEvent*) { report(probe::kHandler, value_.isUpdated() ? 1 : 0, 0); }

    void tracingSubProcess(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        report(probe::kSpan, bufferOffset, sampleFrames);
        const float* in = signal_.getBuffer();
        float* out = out_.getBuffer();
        if (in == nullptr || out == nullptr) return;
        for (std::int32_t i = bufferOffset; i < bufferOffset + sampleFrames; ++i) out[i] = in[i];
    }

    void report(probe::TraceKind kind, std::int32_t a, std::int32_t b) {
        // Sent unconditionally: each report is an observation, not a changed value.
        const std::int32_t value = probe::trace(kind, a, b);
        host().setPin(blockPosition(), probe::kTrace, sizeof value, &value);
    }

    MpControlPin<float, 0, kDatatypeFloat> value_;
    MpControlPin<std::int32_t, 0, kDatatypeInt> command_;
    MpControlPin<bool, 0, kDatatypeBool> flag_;
    AudioInPin signal_;
    AudioOutPin out_;
    MpControlPin<std::int32_t, 1, kDatatypeInt> trace_;
    MpControlPin<float, 1, kDatatypeFloat> double_;
};

// A control-rate module as the math library builds them: computes on events, sleeps.
class LumTestControl final : public MpBase {
public:
    explicit LumTestControl(IMpUnknown* host) : MpBase(host) {
        registerPin(control::kA, a_);
        registerPin(control::kB, b_);
        registerPin(control::kSum, sum_);
    }
    void onSetPins() override { sum_.setValue(a_.getValue() + b_.getValue()); }

private:
    MpControlPin<float, 0, kDatatypeFloat> a_;
    MpControlPin<float, 0, kDatatypeFloat> b_;
    MpControlPin<float, 1, kDatatypeFloat> sum_;
};

// An audio-rate module: streams while its input does, then runs out a countdown.
class LumTestGain final : public MpBase {
public:
    explicit LumTestGain(IMpUnknown* host) : MpBase(host) {
        registerPin(gain::kIn, in_);
        registerPin(gain::kGain, gain_);
        registerPin(gain::kOut, out_);
    }
    void onSetPins() override {
        const bool streaming = in_.isStreaming();
        out_.setStreaming(streaming);
        setSleep(!streaming);
        setSubProcess(&LumTestGain::applyGain);
    }

private:
    void applyGain(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* in = in_.getBuffer();
        float* out = out_.getBuffer();
        const float gain = gain_.getValue();
        for (std::int32_t i = bufferOffset; i < bufferOffset + sampleFrames; ++i) out[i] = in[i] * gain;
    }

    AudioInPin in_;
    MpControlPin<float, 0, kDatatypeFloat> gain_;
    AudioOutPin out_;
};

class LumTestGuiScale final : public MpGuiBase {
public:
    explicit LumTestGuiScale(IMpUnknown* host) : MpGuiBase(host) {
        in_.initialize(*this, gui::kIn, &LumTestGuiScale::onIn);
        out_.initialize(*this, gui::kOut, &LumTestGuiScale::onOut);
        int_.initialize(*this, gui::kInt, &LumTestGuiScale::echoInt);
        bool_.initialize(*this, gui::kBool, &LumTestGuiScale::echoBool);
        plain_.initialize(*this, gui::kPlain);
    }

private:
    void onIn() {
        const float doubled = in_.getValue() * 2.0f;
        if (doubled != out_.getValue()) out_.write(doubled);
    }
    void onOut() { in_.write(out_.getValue() / 2.0f); }
    void echoInt() { int_.write(int_.getValue()); }
    void echoBool() { bool_.write(bool_.getValue()); }

    MpGuiPin<float> in_;
    MpGuiPin<float> out_;
    MpGuiPin<std::int32_t> int_;
    MpGuiPin<bool> bool_;
    MpGuiPin<float> plain_;
};

IMpUnknown* createThrowing(IMpUnknown*) { throw std::runtime_error("refused on purpose"); }
IMpUnknown* createNothing(IMpUnknown*) { return nullptr; }

const std::int32_t kRegistered[] = {
    registerDspCreator(u"LumTestProbe", &createModule<LumTestProbe>),
    registerDspCreator(u"LumTestControl", &createModule<LumTestControl>),
    registerDspCreator(u"LumTestGain", &createModule<LumTestGain>),
    registerGuiCreator(u"LumTestGuiScale", &createModule<LumTestGuiScale>),
    registerDspCreator(u"LumTestThrows", &createThrowing),
    registerDspCreator(u"LumTestMakesNothing", &createNothing),
    registerDspCreator(u"LumTestBothSides", &createModule<LumTestControl>),
    registerGuiCreator(u"LumTestBothSides", &createModule<LumTestGuiScale>),
    // Registered twice on the DSP side: the gain module must win.
    registerDspCreator(u"LumTestReplaced", &createModule<LumTestControl>),
    registerDspCreator(u"LumTestReplaced", &createModule<LumTestGain>),
};

}  // namespace
