// A library that breaks the rules a library keeps as a whole: its entry point hands out
// another factory each call, it cannot be unloaded (linked with -z nodelete; under Windows
// it pins itself as it loads), it exports more than MP_GetFactory, and its factory answers
// any identifier that starts with LumBrokenPrefix.
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "framework/audio_pins.h"
#include "framework/module_registration.h"
#include "framework/reference_counting.h"

namespace {

#if defined(_WIN32)
[[maybe_unused]] const bool pinned = [] {
    HMODULE self = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                              reinterpret_cast<LPCWSTR>(&pinned), &self) != 0;
}();
#endif

using namespace lum;

class Passthrough final : public MpBase {
public:
    explicit Passthrough(IMpUnknown* host) : MpBase(host) {
        registerPin(0, in_);
        registerPin(1, out_);
    }
    void onSetPins() override {
        out_.setStreaming(in_.isStreaming());
        setSubProcess(&Passthrough::copy);
    }

private:
    void copy(std::int32_t bufferOffset, std::int32_t sampleFrames) {
        for (std::int32_t i = bufferOffset; i < bufferOffset + sampleFrames; ++i)
            out_.getBuffer()[i] = in_.getBuffer()[i];
    }
    AudioInPin in_;
    AudioOutPin out_;
};

class BrokenFactory final : public IMpFactory {
public:
    std::int32_t LUM_CALL queryInterface(const Guid* iid, void** out) noexcept override {
        return answerQueryInterface(*this, kIidMpFactory, iid, out);
    }
    std::int32_t LUM_CALL addRef() noexcept override { return 1; }
    std::int32_t LUM_CALL release() noexcept override { return 1; }
    std::int32_t LUM_CALL createInstance(const char16_t* uniqueId, std::int32_t subtype, IMpUnknown* host,
                                         void** out) noexcept override {
        if (out == nullptr) return kFailed;
        *out = nullptr;
        if (uniqueId == nullptr || subtype != kSubtypeDsp || !known(uniqueId)) return kNotFound;
        try {
            IMpUnknown* made = createModule<Passthrough>(host);
            made->addRef();
            *out = made;
            return kOk;
        } catch (...) {
            return kFailed;
        }
    }
    std::int32_t LUM_CALL getSdkInformation(std::int32_t* sdkVersion, std::int32_t maxChars,
                                            char16_t* text) noexcept override {
        if (sdkVersion != nullptr) *sdkVersion = 0;
        if (text != nullptr && maxChars > 0) text[0] = 0;
        return kOk;
    }

private:
    static bool known(const std::u16string& id) {
        return id == u"LumBrokenLibrary" || id.rfind(u"LumBrokenPrefix", 0) == 0;
    }
};

std::int32_t factoryCalls = 0;

}  // namespace

// A debugging aid left exported.
LUM_EXPORT std::int32_t LUM_CALL lumBrokenFactoryCalls() { return factoryCalls; }

LUM_EXPORT std::int32_t LUM_CALL MP_GetFactory(void** out) {
    // Not leaked: a few factories taken in turn.
    static BrokenFactory factories[4];
    if (out == nullptr) return kFailed;
    return factories[factoryCalls++ % 4].queryInterface(&kIidMpUnknown, out);
}
