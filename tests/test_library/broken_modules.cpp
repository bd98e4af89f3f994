// Modules that break the host contract on purpose, each in one way, so the validator
// can be shown to catch them.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "framework/audio_pins.h"
#include "framework/gui_pins.h"
#include "framework/module_registration.h"
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

using namespace lum;

// Audio in, audio out; the subclass decides how it misbehaves.
class BrokenAudioModule : public MpBase {
public:
    explicit BrokenAudioModule(IMpUnknown* host) : MpBase(host) {
        registerPin(0, in_);
        registerPin(1, out_);
    }
    void onSetPins() override {
        const bool streaming = in_.isStreaming();
        out_.setStreaming(streaming);
        setSleep(!streaming);
        setSubProcess(&BrokenAudioModule::copy);
    }

protected:
    virtual float sample(float in) { return in; }
    virtual std::int32_t lastWritten(std::int32_t end) { return end; }

    void copy(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        const float* in = in_.getBuffer();
        float* out = out_.getBuffer();
        const std::int32_t end = bufferOffset + sampleFrames;
        for (std::int32_t i = bufferOffset; i < lastWritten(end); ++i) out[i] = sample(in[i]);
    }

    AudioInPin in_;
    AudioOutPin out_;
};

// Writes one sample past every span it is given.
class LumBrokenOverrun final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;

private:
    std::int32_t lastWritten(std::int32_t end) override { return end + 1; }
};

// Its output wanders even while it says the output is constant.
class LumBrokenNoisyWhileQuiet final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;

private:
    float sample(float in) override { return in + static_cast<float>(++counter_ % 7); }
    std::uint32_t counter_ = 0;
};

// Shares state between instances, so two instances fed alike differ.
class LumBrokenShared final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;

private:
    float sample(float in) override {
        static std::uint32_t shared = 0;
        return in * static_cast<float>(++shared);
    }
};

// Allocates on every sample.
class LumBrokenAllocates final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    ~LumBrokenAllocates() override { delete last_; }

private:
    float sample(float in) override {
        delete last_;
        last_ = new float(in);  // kept, so the allocation cannot be optimised away
        return *last_;
    }
    float* last_ = nullptr;
};

// Streams always, so every block reaches process, and fails in process after a few spans.
class FailsAfterAFewSpans : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        out_.setStreaming(true);
        setSubProcess(&FailsAfterAFewSpans::copyThenFail);
    }

private:
    void copyThenFail(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        copy(bufferOffset, sampleFrames);
        if (++spans_ == 5) fail();
    }
    virtual void fail() = 0;
    std::int32_t spans_ = 0;
};

class LumBrokenCrashes final : public FailsAfterAFewSpans {
public:
    using FailsAfterAFewSpans::FailsAfterAFewSpans;

private:
    void fail() override {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
};

class LumBrokenHangs final : public FailsAfterAFewSpans {
public:
    using FailsAfterAFewSpans::FailsAfterAFewSpans;

private:
    void fail() override {
        for (volatile bool forever = true; forever;) {
        }
    }
};

#if defined(_WIN32)
// A lock as Windows code takes one: MinGW's std::mutex takes a free lock without calling
// the system, where a validator could not see it.
class SystemLock {
public:
    SystemLock() { InitializeCriticalSection(&section_); }
    SystemLock(const SystemLock&) = delete;
    SystemLock& operator=(const SystemLock&) = delete;
    ~SystemLock() { DeleteCriticalSection(&section_); }
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};
#else
using SystemLock = std::mutex;
#endif

// Takes a lock on every sample, as code shared with a user-interface thread might.
class LumBrokenLocks final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;

private:
    float sample(float in) override {
        const std::lock_guard<SystemLock> lock(lock_);
        return in;
    }
    SystemLock lock_;
};

// Declares its output's streaming state at the end of every span: at the block length
// after the last, one past the block's last position.
class LumBrokenStampsBlockEnd final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        BrokenAudioModule::onSetPins();
        setSubProcess(&LumBrokenStampsBlockEnd::copyAndStamp);
    }

private:
    void copyAndStamp(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        copy(bufferOffset, sampleFrames);
        host().setPinStreaming(bufferOffset + sampleFrames, 1, in_.isStreaming());
    }
};

// Sends a value with the wrong size, and one for a pin it never registered.
class LumBrokenSends final : public MpBase {
public:
    explicit LumBrokenSends(IMpUnknown* host) : MpBase(host) {
        registerPin(0, in_);
        registerPin(1, out_);
    }
    void onSetPins() override {
        const double wide = in_.getValue();
        host().setPin(blockPosition(), 1, sizeof wide, &wide);
        host().setPin(blockPosition(), 7, sizeof wide, &wide);
    }

private:
    MpControlPin<float, 0, kDatatypeFloat> in_;
    MpControlPin<float, 1, kDatatypeFloat> out_;
};

// Writes a GUI pin the host does not know.
class LumBrokenGui final : public MpGuiBase {
public:
    explicit LumBrokenGui(IMpUnknown* host) : MpGuiBase(host) { in_.initialize(*this, 0, &LumBrokenGui::onIn); }

private:
    void onIn() {
        const float value = in_.getValue();
        this->host().writePin(5, sizeof value, &value, 0);
    }
    MpGuiPin<float> in_;
};

// Writes a file whenever its pin changes, as a module saving its state might.
class LumBrokenWritesFile final : public MpGuiBase {
public:
    explicit LumBrokenWritesFile(IMpUnknown* host) : MpGuiBase(host) {
        in_.initialize(*this, 0, &LumBrokenWritesFile::onIn);
    }

private:
    void onIn() {
        if (std::FILE* file = std::fopen("/dev/null", "w")) {
            std::fputc('x', file);
            std::fclose(file);
        }
    }
    MpGuiPin<float> in_;
};

const std::int32_t kRegistered[] = {
    registerDspCreator(u"LumBrokenOverrun", &createModule<LumBrokenOverrun>),
    registerDspCreator(u"LumBrokenNoisyWhileQuiet", &createModule<LumBrokenNoisyWhileQuiet>),
    registerDspCreator(u"LumBrokenShared", &createModule<LumBrokenShared>),
    registerDspCreator(u"LumBrokenAllocates", &createModule<LumBrokenAllocates>),
    registerDspCreator(u"LumBrokenSends", &createModule<LumBrokenSends>),
    registerDspCreator(u"LumBrokenCrashes", &createModule<LumBrokenCrashes>),
    registerDspCreator(u"LumBrokenHangs", &createModule<LumBrokenHangs>),
    registerDspCreator(u"LumBrokenStampsBlockEnd", &createModule<LumBrokenStampsBlockEnd>),
    registerDspCreator(u"LumBrokenLocks", &createModule<LumBrokenLocks>),
    registerGuiCreator(u"LumBrokenGui", &createModule<LumBrokenGui>),
    registerGuiCreator(u"LumBrokenWritesFile", &createModule<LumBrokenWritesFile>),
};

}  // namespace
