// The DSP-side module object: host reference, pin table, block splitting at event times,
// the three event passes and the sleep handshake. Both framework flavours build their
// modules on this one class; they differ only in their pin classes and SDK information.
#pragma once

#include <cstdint>
#include <map>

#include "interfaces.h"
#include "reference_counting.h"

namespace lum {

class MpPinBase;

class MpBase : public MpModuleObject<MpBase, IMpPlugin, kIidMpPlugin, IMpDspHost, kIidMpDspHost> {
public:
    // A span of the block: fill the outputs from `bufferOffset` for `sampleFrames` samples.
    using SubProcess = void (MpBase::*)(std::int32_t bufferOffset, std::int32_t sampleFrames);
    // An input pin's own reaction to an event, run in the second event pass.
    using EventHandler = void (MpBase::*)(const HostEvent* event);

    // Takes a reference on the host's IMpDspHost; throws std::runtime_error when the
    // host object is null or does not offer it, so createInstance reports -1. [load time]
    explicit MpBase(IMpUnknown* host);
    MpBase(const MpBase&) = delete;
    MpBase& operator=(const MpBase&) = delete;

    std::int32_t LUM_CALL open() noexcept override;
    std::int32_t LUM_CALL setBuffer(std::int32_t pinIndex, float* buffer) noexcept override;
    std::int32_t LUM_CALL process(std::int32_t count, const HostEvent* events) noexcept override;
    std::int32_t LUM_CALL receiveMessage(std::int32_t id, std::int32_t size, void* data) noexcept override;

    // Releases the host reference once.
    virtual ~MpBase();
    // MIDI bytes of a type 103 event for a MIDI input; no effect unless a module listens.
    virtual void onMidiData(std::int32_t pinIndex, const void* bytes, std::int32_t size);
    // Once per event group that set a value or a streaming state, after every pin saw it.
    virtual void onSetPins();
    // Every output pin announces its state, in ascending pin order.
    virtual void onGraphStart();

    // Binds `pin` to this module under `pinIndex`; a taken index keeps its first pin.
    // Inputs without a handler get the pin's default one. [load time]
    void registerPin(std::int32_t pinIndex, MpPinBase& pin, EventHandler handler = nullptr);

    // The module's sub-process. During the sleep step it takes over when the step ends.
    void setSubProcess(SubProcess subProcess);
    template <class Module>
    void setSubProcess(void (Module::*subProcess)(std::int32_t, std::int32_t)) {
        setSubProcess(static_cast<SubProcess>(subProcess));
    }

    // true: may sleep once the countdown runs out; false: never sleeps.
    void setSleep(bool maySleep);

    // For the pins.
    std::int32_t blockPosition() const { return blockPosition_; }
    std::int32_t streamingPinCount() const { return streamingPinCount_; }

private:
    // The streaming bookkeeping, reached by the pins through MpPinBase.
    friend class MpPinBase;
    // Counts a pin's streaming change and picks the sub-process that the new count calls for.
    void onStreamingChange(bool isStreaming);
    // An audio output declares `isStreaming` at `position`: the host hears it every time;
    // a quiet output reloads the sleep countdown with the host's block size.
    void declareOutputStreaming(std::int32_t pinIndex, bool& pinIsStreaming, bool isStreaming, std::int32_t position);

    // Runs the module's sub-process for one more countdown after the outputs go quiet,
    // then asks the host to sleep at the start of a block's last span.
    void preSleepSubProcess(std::int32_t bufferOffset, std::int32_t sampleFrames);
    void idleSubProcess(std::int32_t bufferOffset, std::int32_t sampleFrames);
    void runSpan(std::int32_t bufferOffset, std::int32_t sampleFrames);
    // The registered pin a pin event is for, or null (other event types, unknown pins).
    MpPinBase* pinFor(const HostEvent& event) const;
    bool maySleepNow() const;

    std::map<std::int32_t, MpPinBase*> pins_;  // members of the module, not owned
    std::int32_t blockPosition_ = 0;           // time of the event group being handled
    std::int32_t sleepCountdown_ = 0;
    std::int32_t streamingPinCount_ = 0;
    // Automatic: sleeps once nothing streams; setSleep chooses one of the others.
    enum class SleepMode { Automatic, MaySleep, NeverSleeps };
    SleepMode sleepMode_ = SleepMode::Automatic;
    bool eventsComplete_ = true;  // false while a span that ends at an event runs
    SubProcess currentSubProcess_ = &MpBase::preSleepSubProcess;
    SubProcess userSubProcess_ = &MpBase::idleSubProcess;
};

}  // namespace lum
