// Modules that break the host contract on purpose, each in one way, so the validator
// can be shown to catch them.
#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

#include "framework/audio_pins.h"
#include "framework/gui_pins.h"
#include "framework/module_registration.h"
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

using namespace lum;

#if defined(_WIN32)
const char* const kNullDevice = "NUL";
#else
const char* const kNullDevice = "/dev/null";
#endif

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
    bool try_lock() { return TryEnterCriticalSection(&section_) != 0; }
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

// Writes to a file whenever its pin changes, as a module logging its state might; unbuffered,
// so that the writing allocates nothing.
class LumBrokenWritesFile final : public MpGuiBase {
public:
    explicit LumBrokenWritesFile(IMpUnknown* host) : MpGuiBase(host), file_(std::fopen(kNullDevice, "w")) {
        if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
        in_.initialize(*this, 0, &LumBrokenWritesFile::onIn);
    }
    ~LumBrokenWritesFile() override {
        if (file_ != nullptr) std::fclose(file_);
    }

private:
    void onIn() {
        if (file_ != nullptr) std::fputc('x', file_);
    }
    std::FILE* file_;
    MpGuiPin<float> in_;
};

// Made even without a host, with a stand-in that swallows every call.
class LumBrokenNullHost final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;

    static IMpUnknown* create(IMpUnknown* host) {
        static StandInHost standIn;
        return createModule<LumBrokenNullHost>(host != nullptr ? host : &standIn);
    }

private:
    class StandInHost final : public IMpDspHost {
    public:
        std::int32_t LUM_CALL queryInterface(const Guid*, void** out) override {
            *out = this;
            return kOk;
        }
        std::int32_t LUM_CALL addRef() override { return 1; }
        std::int32_t LUM_CALL release() override { return 1; }
        std::int32_t LUM_CALL setPin(std::int32_t, std::int32_t, std::int32_t, const void*) override { return kOk; }
        std::int32_t LUM_CALL setPinStreaming(std::int32_t, std::int32_t, std::int32_t) override { return kOk; }
        std::int32_t LUM_CALL sleep() override { return kOk; }
        std::int32_t LUM_CALL reservedSlot6() override { return kOk; }
        std::int32_t LUM_CALL getBlockSize(std::int32_t* size) override {
            *size = 64;
            return kOk;
        }
        std::int32_t LUM_CALL getSampleRate(float* rate) override {
            *rate = 44100.0f;
            return kOk;
        }
    };
};

// Reads a value from the event record itself, never through its data pointer.
class LumBrokenInlineOnly final : public MpBase {
public:
    explicit LumBrokenInlineOnly(IMpUnknown* host) : MpBase(host) {
        registerPin(0, in_, static_cast<EventHandler>(&LumBrokenInlineOnly::onIn));
        registerPin(1, out_);
    }

private:
    void onIn(const HostEvent* event) {
        float value = 0.0f;
        std::memcpy(&value, event->inlineData, sizeof value);
        out_.setValue(value);
    }
    MpControlPin<float, 0, kDatatypeFloat> in_;
    MpControlPin<float, 1, kDatatypeFloat> out_;
};

// Keeps the buffers it was given first.
class LumBrokenKeepsBuffers final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    std::int32_t LUM_CALL setBuffer(std::int32_t pinIndex, float* buffer) noexcept override {
        if (pinIndex == 0 || pinIndex == 1) {
            if (given_[pinIndex]) return kOk;
            given_[pinIndex] = true;
        }
        return BrokenAudioModule::setBuffer(pinIndex, buffer);
    }

private:
    bool given_[2] = {};
};

// Counts every event of a list, past the ones process handles, and doubles its output
// once a list ran over.
class LumBrokenPastEventLimit final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    std::int32_t LUM_CALL process(std::int32_t count, const HostEvent* events) noexcept override {
        std::int32_t listed = 0;
        for (const HostEvent* e = events; e != nullptr && listed <= kMaxEventsPerProcess; e = e->next) ++listed;
        if (listed > kMaxEventsPerProcess) gain_ = 2.0f;
        return BrokenAudioModule::process(count, events);
    }

private:
    float sample(float in) override { return in * gain_; }
    float gain_ = 1.0f;
};

// Works in one scratch buffer for every instance: alike when instances take turns, not
// when they process at once. A wait now and then between writing and reading widens the
// window, even on one core; a spin, as a yield would be a blocking call of its own.
class LumBrokenSharedScratch final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        BrokenAudioModule::onSetPins();
        setSubProcess(&LumBrokenSharedScratch::viaScratch);
    }

private:
    void viaScratch(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        static float scratch[8192];
        const float* in = in_.getBuffer() + bufferOffset;
        for (std::int32_t i = 0; i < sampleFrames; ++i) scratch[i] = in[i];
        if (++spans_ % 8 == 0) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
            while (std::chrono::steady_clock::now() < until) {
            }
        }
        float* out = out_.getBuffer() + bufferOffset;
        for (std::int32_t i = 0; i < sampleFrames; ++i) out[i] = scratch[i];
    }
    std::uint32_t spans_ = 0;
};

// Announces its outputs from a thread of its own the first time the graph starts.
class LumBrokenCallsFromThread final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onGraphStart() override {
        if (announced_) {
            BrokenAudioModule::onGraphStart();
        } else {
            announced_ = true;
            std::thread([this] { BrokenAudioModule::onGraphStart(); }).join();
        }
    }

private:
    bool announced_ = false;
};

// Writes a NaN now and then, whatever its input; its output always streams, so only the
// NaN is wrong.
class LumBrokenNaN final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        out_.setStreaming(true);
        setSubProcess(&LumBrokenNaN::copy);
    }

private:
    float sample(float in) override { return ++counter_ % 61 == 0 ? std::numeric_limits<float>::quiet_NaN() : in; }
    std::uint32_t counter_ = 0;
};

// Scales a sample now and then into the subnormal numbers; its output always streams, so
// only the subnormal is wrong.
class LumBrokenSubnormal final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        out_.setStreaming(true);
        setSubProcess(&LumBrokenSubnormal::copy);
    }

private:
    float sample(float in) override { return ++counter_ % 61 == 0 ? in * 1e-39f : in; }
    std::uint32_t counter_ = 0;
};

// A leaky integrator without denormal care: once its input stops, its tail halves
// through the subnormal numbers down to zero.
class LumBrokenSubnormalTail final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        out_.setStreaming(true);
        setSleep(false);
        setSubProcess(&LumBrokenSubnormalTail::copy);
    }

private:
    float sample(float in) override { return level_ = level_ * 0.5f + in; }
    float level_ = 0.0f;
};

// Leaves the last sample of every span unwritten.
class LumBrokenLeavesUnwritten final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;

private:
    std::int32_t lastWritten(std::int32_t end) override { return end - 1; }
};

// Its gain steps with every span while the input streams, so two hosts that split the
// same input into other blocks hear different output; two instances in step agree.
class LumBrokenCountsSpans final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        BrokenAudioModule::onSetPins();
        setSubProcess(&LumBrokenCountsSpans::copyWithGain);
    }

private:
    void copyWithGain(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        gain_ = in_.isStreaming() ? 1.0f + static_cast<float>(++spans_ % 3) * 0.25f : 1.0f;
        copy(bufferOffset, sampleFrames);
    }
    float sample(float in) override { return in * gain_; }
    std::uint32_t spans_ = 0;
    float gain_ = 1.0f;
};

// Passes its input value on, every fifth time as a NaN.
class LumBrokenSendsNaN final : public MpBase {
public:
    explicit LumBrokenSendsNaN(IMpUnknown* host) : MpBase(host) {
        registerPin(0, in_);
        registerPin(1, out_);
    }
    void onSetPins() override {
        out_.setValue(++updates_ % 5 == 0 ? std::numeric_limits<float>::quiet_NaN() : in_.getValue());
    }

private:
    MpControlPin<float, 0, kDatatypeFloat> in_;
    MpControlPin<float, 1, kDatatypeFloat> out_;
    std::uint32_t updates_ = 0;
};

// Writes its input on to its output, every seventh time as a NaN.
class LumBrokenGuiNaN final : public MpGuiBase {
public:
    explicit LumBrokenGuiNaN(IMpUnknown* host) : MpGuiBase(host) {
        in_.initialize(*this, 0, &LumBrokenGuiNaN::onIn);
        out_.initialize(*this, 1);
    }

private:
    void onIn() { out_.write(++writes_ % 7 == 0 ? std::numeric_limits<float>::quiet_NaN() : in_.getValue()); }
    MpGuiPin<float> in_;
    MpGuiPin<float> out_;
    std::uint32_t writes_ = 0;
};

// Legal but wasteful: streams and stays awake with its inputs quiet for good.
class LumBrokenNeverSleeps final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        out_.setStreaming(true);
        setSleep(false);
        setSubProcess(&LumBrokenNeverSleeps::copy);
    }
};

#if defined(_WIN32)
// The Universal CRT's malloc and free (ucrt_heap.def).
extern "C" __declspec(dllimport) void* lumUcrtMalloc(std::size_t size);
extern "C" __declspec(dllimport) void lumUcrtFree(void* block);
void* cMalloc(std::size_t size) { return lumUcrtMalloc(size); }
void cFree(void* block) { lumUcrtFree(block); }
#else
void* cMalloc(std::size_t size) { return std::malloc(size); }
void cFree(void* block) { std::free(block); }
#endif

// Calls malloc and free on every sample: the C allocator, not operator new (under Windows
// the Universal CRT's, as a library built with Visual C++ calls it).
class LumBrokenMallocs final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;

private:
    float sample(float in) override {
        auto* kept = static_cast<volatile float*>(cMalloc(sizeof(float)));
        if (kept == nullptr) return in;
        *kept = in;
        const float out = *kept;
        cFree(const_cast<float*>(kept));
        return out;
    }
};

// Tries a lock on every sample: a lock that never waits still shares state with another thread.
class LumBrokenTriesLock final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;

private:
    float sample(float in) override {
        if (lock_.try_lock()) lock_.unlock();
        return in;
    }
    SystemLock lock_;
};

// Prints to a log every 64 samples, as debugging code left in might; unbuffered, so that
// the printing allocates nothing (and seldom: under wine each write is slow).
class LumBrokenPrints final : public BrokenAudioModule {
public:
    explicit LumBrokenPrints(IMpUnknown* host) : BrokenAudioModule(host), log_(std::fopen(kNullDevice, "w")) {
        if (log_ != nullptr) std::setvbuf(log_, nullptr, _IONBF, 0);
    }
    ~LumBrokenPrints() override {
        if (log_ != nullptr) std::fclose(log_);
    }

private:
    float sample(float in) override {
        if (log_ != nullptr && ++samples_ % 64 == 0) std::fprintf(log_, "sample %u\n", samples_);
        return in;
    }
    std::FILE* log_;
    unsigned samples_ = 0;
};

// Starts a thread for every block and waits for it.
class LumBrokenStartsThreads final : public BrokenAudioModule {
public:
    using BrokenAudioModule::BrokenAudioModule;
    void onSetPins() override {
        BrokenAudioModule::onSetPins();
        setSubProcess(&LumBrokenStartsThreads::copyInThread);
    }

private:
    void copyInThread(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, &nothing, nullptr) == 0) pthread_join(thread, nullptr);
        copy(bufferOffset, sampleFrames);
    }
    static void* nothing(void*) { return nullptr; }
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
    registerDspCreator(u"LumBrokenNullHost", &LumBrokenNullHost::create),
    registerDspCreator(u"LumBrokenInlineOnly", &createModule<LumBrokenInlineOnly>),
    registerDspCreator(u"LumBrokenKeepsBuffers", &createModule<LumBrokenKeepsBuffers>),
    registerDspCreator(u"LumBrokenPastEventLimit", &createModule<LumBrokenPastEventLimit>),
    registerDspCreator(u"LumBrokenSharedScratch", &createModule<LumBrokenSharedScratch>),
    registerDspCreator(u"LumBrokenCallsFromThread", &createModule<LumBrokenCallsFromThread>),
    registerDspCreator(u"LumBrokenNaN", &createModule<LumBrokenNaN>),
    registerDspCreator(u"LumBrokenSubnormalTail", &createModule<LumBrokenSubnormalTail>),
    registerDspCreator(u"LumBrokenSubnormal", &createModule<LumBrokenSubnormal>),
    registerDspCreator(u"LumBrokenLeavesUnwritten", &createModule<LumBrokenLeavesUnwritten>),
    registerDspCreator(u"LumBrokenCountsSpans", &createModule<LumBrokenCountsSpans>),
    registerDspCreator(u"LumBrokenSendsNaN", &createModule<LumBrokenSendsNaN>),
    registerGuiCreator(u"LumBrokenGuiNaN", &createModule<LumBrokenGuiNaN>),
    registerDspCreator(u"LumBrokenNeverSleeps", &createModule<LumBrokenNeverSleeps>),
    registerDspCreator(u"LumBrokenMallocs", &createModule<LumBrokenMallocs>),
    registerDspCreator(u"LumBrokenTriesLock", &createModule<LumBrokenTriesLock>),
    registerDspCreator(u"LumBrokenPrints", &createModule<LumBrokenPrints>),
    registerDspCreator(u"LumBrokenStartsThreads", &createModule<LumBrokenStartsThreads>),

};

}  // namespace
