// The library's one factory and its registry of module creators.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "interfaces.h"

namespace lum {

// Builds one module object around the host's object and returns it with a reference
// count of 0. Reports failure by throwing, or by returning null.
using CreatorFunction = IMpUnknown* (*)(IMpUnknown* host);

struct RegistryEntry {
    std::u16string uniqueId;
    CreatorFunction dspCreator = nullptr;
    CreatorFunction guiCreator = nullptr;
};

// Not reference-counted: it lives from the first registration until the library unloads.
class MpFactory final : public IMpFactory {
public:
    MpFactory() = default;
    MpFactory(const MpFactory&) = delete;
    MpFactory& operator=(const MpFactory&) = delete;
    virtual ~MpFactory() = default;

    std::int32_t LUM_CALL queryInterface(const Guid* iid, void** out) noexcept override;
    // Not reference-counted: the factory lives as long as the library, and these are the
    // constants hosts have always been given.
    static constexpr std::int32_t kAddRefResult = 16;
    static constexpr std::int32_t kReleaseResult = 1;
    std::int32_t LUM_CALL addRef() noexcept override { return kAddRefResult; }
    std::int32_t LUM_CALL release() noexcept override { return kReleaseResult; }
    std::int32_t LUM_CALL createInstance(const char16_t* uniqueId, std::int32_t subtype, IMpUnknown* host,
                                         void** out) noexcept override;
    std::int32_t LUM_CALL getSdkInformation(std::int32_t* sdkVersion, std::int32_t maxChars,
                                            char16_t* text) noexcept override;

    // Finds the entry for `uniqueId`, inserting an empty one if absent. [load time]
    RegistryEntry& entry(const char16_t* uniqueId);

private:
    // u16string orders by unsigned code units, a prefix first; lookups match exactly.
    std::map<std::u16string, std::unique_ptr<RegistryEntry>> registry_;
};

// The library's factory, created on first use.
MpFactory& getFactory();

// Static-initialisation registration; a later registration on the same side replaces
// the earlier one. Both return 0. [load time]
std::int32_t registerDspCreator(const char16_t* uniqueId, CreatorFunction create);
std::int32_t registerGuiCreator(const char16_t* uniqueId, CreatorFunction create);

}  // namespace lum
