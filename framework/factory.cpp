#include "factory.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "reference_counting.h"
#include "sdk_information.h"

namespace lum {
std::int32_t MpFactory::queryInterface(const Guid* iid, void** out) noexcept {
    return answerQueryInterface(*static_cast<IMpFactory*>(this), kIidMpFactory, iid, out);
}

std::int32_t MpFactory::createInstance(const char16_t* uniqueId, std::int32_t subtype, IMpUnknown* host,
                                       void** out) noexcept {
    if (out == nullptr) return kFailed;
    *out = nullptr;
    if (uniqueId == nullptr) return kNotFound;
    const auto found = registry_.find(std::u16string(uniqueId));
    if (found == registry_.end()) return kNotFound;
    CreatorFunction create = nullptr;
    switch (subtype) {
        case kSubtypeDsp: create = found->second->dspCreator; break;
        case kSubtypeGui: create = found->second->guiCreator; break;
        default: return kNotFound;
    }
    if (create == nullptr) return kNotFound;
    IMpUnknown* object = nullptr;
    try {
        object = create(host);
    } catch (...) {
        return kFailed;
    }
    if (object == nullptr) return kFailed;
    *out = object;
    object->addRef();
    return kOk;
}

std::int32_t MpFactory::getSdkInformation(std::int32_t* sdkVersion, std::int32_t maxChars, char16_t* text) noexcept {
    if (sdkVersion != nullptr) *sdkVersion = kSdkInformation.sdkVersion;
    // No room for even the terminator, or nowhere to write: leave the caller's buffer alone.
    if (text == nullptr || maxChars <= 0) return kOk;
    const std::u16string_view compiler = kSdkInformation.compilerText;
    const std::size_t kept = std::min(compiler.size(), static_cast<std::size_t>(maxChars) - 1);
    compiler.copy(text, kept);
    text[kept] = 0;
    return kOk;
}

RegistryEntry& MpFactory::entry(const char16_t* uniqueId) {
    std::u16string key(uniqueId);
    auto found = registry_.find(key);
    if (found == registry_.end()) {
        auto created = std::make_unique<RegistryEntry>();
        created->uniqueId = key;
        found = registry_.emplace(std::move(key), std::move(created)).first;
    }
    return *found->second;
}

MpFactory& getFactory() {
    static MpFactory factory;
    return factory;
}

std::int32_t registerDspCreator(const char16_t* uniqueId, CreatorFunction create) {
    getFactory().entry(uniqueId).dspCreator = create;
    return kOk;
}

std::int32_t registerGuiCreator(const char16_t* uniqueId, CreatorFunction create) {
    getFactory().entry(uniqueId).guiCreator = create;
    return kOk;
}

}  // namespace lum
